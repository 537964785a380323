// A PC/SC layer for the card fuzzer, linked in place of pcsc-lite. Every
// answer it gives (contexts, reader lists, connects, card replies, failures)
// is read from the fuzzer's input, front to back. It also checks how the
// library uses it: live handles only, the negotiated protocol, a 256-byte
// receive buffer, and GET RESPONSE exactly where a 61 xx reply asks for it.
#pragma once

#include <winscard.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fake_pcsc {

// The fuzzer's choices, read one byte at a time; zeros once they run out.
class Script {
 public:
  void Reset(const uint8_t* data, size_t size);
  bool Empty() const { return at_ == size_; }
  uint8_t Byte();
  uint32_t Word();  // four bytes, least significant first
  void Fill(uint8_t* out, size_t count);

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t at_ = 0;
};

struct Transmission {
  std::vector<uint8_t> command;
  LONG code = SCARD_S_SUCCESS;
  std::vector<uint8_t> reply;  // empty when the transmission failed
  bool getResponse = false;    // the library's own GET RESPONSE after a 61 xx
};

// A reader list as the fake hands it out: the names the library should find
// (up to the first empty one) and whether listing failed.
struct ReaderList {
  bool failed = false;
  std::vector<std::string> names;
};

Script& Input();

// Starts a fresh input: no handles, an empty log.
void BeginInput(const uint8_t* data, size_t size);

// The transmissions since the last call of ClearLog.
const std::vector<Transmission>& Log();
void ClearLog();

// Draws the next context and listing decisions now, so a caller can size a
// buffer for the list; the next SCardEstablishContext and SCardListReaders
// use them.
ReaderList PlanListing();

size_t LiveContexts();
size_t LiveCards();

// Aborts with the message when `holds` is false.
void Require(bool holds, const char* what);

}  // namespace fake_pcsc
