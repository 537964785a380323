#include "service/reader_library.h"

#include <algorithm>

#include "service/ansi_text.h"

namespace duvane {
namespace {

template <typename Function>
Function As(void* address) {
  return reinterpret_cast<Function>(address);
}

}  // namespace

void ReaderLibrary::Bind(const DailyLog& log) {
  const platform::LoadedLibrary loaded = platform::LoadDynamicLibrary(fileName_);
  libraryHandle_ = loaded.handle;
  if (libraryHandle_ == nullptr) {
    log.WriteLog(Ansi("加载动态库失败"));
    return;
  }
  LookUpEntryPoints();
  if (!AllEntryPointsFound()) {
    // Stays loaded with what was found: the lazy open only needs ReadCard_Init.
    log.WriteLog(Ansi("动态库函数不完整"));
    return;
  }
  OpenReader(log);
}

void ReaderLibrary::Unbind() {
  const ReadCard_Exit_fn exit = ReadCardExit();
  if (readerHandle_ != 0 && exit != nullptr) exit(ReaderHandleArgument());
  if (libraryHandle_ != nullptr) platform::UnloadDynamicLibrary(libraryHandle_);
  libraryHandle_ = nullptr;
  entryPoints_.fill(nullptr);
  readerHandle_ = 0;
}

bool ReaderLibrary::OpenReaderIfClosed(const DailyLog& log) {
  if (readerHandle_ == 0 && ReadCardInit() != nullptr) OpenReader(log);
  return readerHandle_ != 0;
}

void* ReaderLibrary::EntryPoint(std::string_view name) const {
  const auto found = std::find(kReaderEntryPointNames.begin(), kReaderEntryPointNames.end(), name);
  if (found == kReaderEntryPointNames.end()) return nullptr;
  return entryPoints_[static_cast<size_t>(found - kReaderEntryPointNames.begin())];
}

ReadCard_Init_fn ReaderLibrary::ReadCardInit() const {
  return As<ReadCard_Init_fn>(EntryPoint("ReadCard_Init"));
}

ReadCard_Exit_fn ReaderLibrary::ReadCardExit() const {
  return As<ReadCard_Exit_fn>(EntryPoint("ReadCard_Exit"));
}

Card_Init_fn ReaderLibrary::CardInit() const { return As<Card_Init_fn>(EntryPoint("Card_Init")); }

Card_ReadCardNo_fn ReaderLibrary::CardReadCardNo() const {
  return As<Card_ReadCardNo_fn>(EntryPoint("Card_ReadCardNo"));
}

void ReaderLibrary::LookUpEntryPoints() {
  // Every name is looked up, also after a missing one.
  for (size_t i = 0; i < kReaderEntryPointNames.size(); ++i) {
    const std::string name(kReaderEntryPointNames[i]);
    entryPoints_[i] = platform::FindSymbol(libraryHandle_, name.c_str());
  }
}

bool ReaderLibrary::AllEntryPointsFound() const {
  return std::none_of(entryPoints_.begin(), entryPoints_.end(),
                      [](void* address) { return address == nullptr; });
}

void ReaderLibrary::OpenReader(const DailyLog& log) {
  readerHandle_ = static_cast<uint32_t>(ReadCardInit()(0, 0));
  log.WriteLog(Ansi(readerHandle_ != 0 ? "打开370读卡器成功！" : "打开370读卡器失败！"));
}

}  // namespace duvane
