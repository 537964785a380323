// The service's run-time binding of the reader library.
//
// The library is loaded by file name when the service starts and unloaded
// when it stops; the service links nothing of it. Of the 23 names looked up
// the service calls four; the rest must be present for the start-time open,
// which is the service's check that it got the library it was built for.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dynamic_library.h"
#include "service/daily_log.h"
#include "velmora.h"

namespace duvane {

// The names in the order in which they are looked up and checked.
inline constexpr std::array<std::string_view, 23> kReaderEntryPointNames = {
    "EnumerateReaders", "ReadCard_Init",   "ReadCard_Exit",   "SetFindType",    "Card_Beep",
    "Card_GetHardID",   "Card_Init",       "Card_Request",    "Card_Anticoll",  "Card_Select",
    "Card_LoadKey",     "Card_Read",       "Card_Write",      "Card_Increment", "Card_Decrement",
    "Card_BlockCopy",   "Card_Transfer",   "Card_CreditLoad", "Card_DebitLoad", "Card_ReadCardNo",
    "CPUCard_Reset",    "CPUCard_RunApdu", "GetPIDSN"};

class ReaderLibrary {
 public:
  // `fileName` is loaded as the platform's library loader finds it: the
  // service passes the bare name "libVelmora.so".
  explicit ReaderLibrary(std::string fileName) : fileName_(std::move(fileName)) {}
  ReaderLibrary(const ReaderLibrary&) = delete;
  ReaderLibrary& operator=(const ReaderLibrary&) = delete;

  // Start step: load, look up every name, and open the reader when all are
  // there. Reports only through the log.
  void Bind(const DailyLog& log);
  // Stop step: close the reader when it was opened, then unload. Afterwards
  // the binding is back to not loaded, so nothing can call into the unloaded
  // code.
  void Unbind();

  // Opens the reader when it is not open and ReadCard_Init was found.
  // Returns whether the reader counts as open afterwards.
  bool OpenReaderIfClosed(const DailyLog& log);

  platform::ModuleHandle LibraryHandle() const { return libraryHandle_; }
  // 0 while the reader is not open. A negative result of ReadCard_Init is
  // kept as it is and counts as open: the library reconnects by itself.
  uint32_t ReaderHandle() const { return readerHandle_; }
  // ReaderHandle in the width the library's functions take it.
  int32_t ReaderHandleArgument() const { return static_cast<int32_t>(readerHandle_); }

  // The address found for a name of the table; null when it was not found.
  void* EntryPoint(std::string_view name) const;

  // The four that the service calls; null when not found.
  ReadCard_Init_fn ReadCardInit() const;
  ReadCard_Exit_fn ReadCardExit() const;
  Card_Init_fn CardInit() const;
  Card_ReadCardNo_fn CardReadCardNo() const;

 private:
  void LookUpEntryPoints();
  bool AllEntryPointsFound() const;
  void OpenReader(const DailyLog& log);

  std::string fileName_;
  platform::ModuleHandle libraryHandle_ = nullptr;
  std::array<void*, kReaderEntryPointNames.size()> entryPoints_{};
  uint32_t readerHandle_ = 0;
};

}  // namespace duvane
