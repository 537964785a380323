#include "explanations.h"

#include <cstdio>

#include "velmora.h"

namespace velmora_tool {
namespace {

struct Meaning {
  uint32_t code;
  const char* text;
};

// Where the library's own value and ISO 7816-4 share a number, both readings
// are given: the tool cannot tell which side produced it.
constexpr Meaning kStatusWords[] = {
    {VELMORA_SW_SUCCESS, "success"},
    {VELMORA_SW_NO_READER,
     "no reader connection: the library could not open the reader (no card, or "
     "unplugged)"},
    {VELMORA_SW_GET_RESPONSE_FAILED, "the card asked for GET RESPONSE and it could not be sent"},
    {0x6281, "part of the returned data may be corrupted"},
    {0x6282, "end of data reached before the expected length"},
    {VELMORA_SW_EMPTY_REPLY, "empty or one-byte reply: no status word came back"},
    {0x6581, "memory failure on the card"},
    {VELMORA_SW_SHORT_ANSWER,
     "wrong length, or the reader answered with fewer data bytes than expected"},
    {0x6881, "logical channel not supported"},
    {0x6882, "secure messaging not supported"},
    {0x6981, "command incompatible with the file structure"},
    {0x6982, "security status not satisfied: wrong key, or not authenticated"},
    {0x6983, "authentication method blocked"},
    {0x6984, "referenced data not usable"},
    {0x6985, "conditions of use not satisfied"},
    {0x6986, "command not allowed"},
    {VELMORA_SW_MISSING_BUFFER, "wrong data in the command"},
    {0x6A81, "function not supported (wrong find type?)"},
    {0x6A82, "not found: no card in the field, or no such file"},
    {0x6A83, "no such block or record"},
    {0x6A84, "not enough memory, or not a value block"},
    {0x6A86, "wrong parameters P1 P2, or unknown function code"},
    {0x6A88, "referenced data not found"},
    {0x6B00, "wrong parameters P1 P2"},
    {0x6D00, "instruction not supported"},
    {0x6E00, "class not supported"},
    {VELMORA_SW_NO_STATUS_WORD, "no precise diagnosis (or the status bytes 00 00)"},
};

constexpr Meaning kPcscErrors[] = {
    {0x80100009, "the reader is not known to PC/SC"},
    {0x8010000B, "the reader is in use by another program (is the service DuvaneS running?)"},
    {0x8010000C, "no card on the reader"},
    {0x8010000F, "the card speaks neither T=0 nor T=1"},
    {0x80100017, "the reader is unavailable (unplugged?)"},
    {0x8010001D, "the PC/SC service pcscd is not running"},
    {0x8010002E, "no reader is attached"},
    {0x80100066, "the card does not answer"},
    {0x80100067, "the card is not powered"},
    {0x80100068, "the card was reset"},
    {0x80100069, "no card on the reader (the card was removed)"},
};

constexpr Meaning kCardNumberResults[] = {
    {static_cast<uint32_t>(VELMORA_CARDNO_INIT_FAILED), "no card answered (Card_Init failed)"},
    {static_cast<uint32_t>(VELMORA_CARDNO_KEY_FAILED), "the reader refused the access key"},
    {static_cast<uint32_t>(VELMORA_CARDNO_NUMBER_FAILED),
     "block 1 could not be read (wrong access key?)"},
    {static_cast<uint32_t>(VELMORA_CARDNO_CHECK_FAILED),
     "block 2 could not be read (wrong access key?)"},
    {static_cast<uint32_t>(VELMORA_CARDNO_MISMATCH),
     "check value mismatch: block 2 is not the MD5 check value of the "
     "card number"},
};

template <size_t N>
const char* Find(const Meaning (&table)[N], uint32_t code) {
  for (const Meaning& meaning : table) {
    if (meaning.code == code) return meaning.text;
  }
  return nullptr;
}

}  // namespace

std::string ExplainStatusWord(uint16_t statusWord) {
  if (const char* text = Find(kStatusWords, statusWord)) return text;
  const unsigned sw1 = statusWord >> 8;
  const unsigned sw2 = statusWord & 0xFF;
  if (sw1 == 0x61) return std::to_string(sw2) + " more answer bytes are waiting";
  if (sw1 == 0x63 && (sw2 & 0xF0) == 0xC0) {
    return "verification failed, " + std::to_string(sw2 & 0x0F) + " tries left";
  }
  if (sw1 == 0x6C) return "wrong expected length: " + std::to_string(sw2) + " bytes are available";
  if (sw1 == 0x62 || sw1 == 0x63) return "warning from the card";
  return "error from the reader or the card";
}

std::string ExplainPcscError(int32_t code) {
  if (const char* text = Find(kPcscErrors, static_cast<uint32_t>(code))) return text;
  return "the reader could not be opened (PC/SC error)";
}

std::string ExplainCardNumberResult(int32_t result) {
  if (const char* text = Find(kCardNumberResults, static_cast<uint32_t>(result))) return text;
  return "unknown result";
}

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return text;
}

std::string Hex8(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

}  // namespace velmora_tool
