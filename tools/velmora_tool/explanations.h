// One-line meanings of the results the library hands back: card and reader
// status words, PC/SC errors from opening the reader, and the card-number
// read's own codes.
#pragma once

#include <cstdint>
#include <string>

namespace velmora_tool {

// A status word as SW1 * 256 + SW2; covers the library's own values (the
// VELMORA_SW_ names of velmora.h) and the ISO 7816-4 ones.
std::string ExplainStatusWord(uint16_t statusWord);

// The PC/SC error that ReadCard_Init returned (0x8010xxxx, read as negative).
std::string ExplainPcscError(int32_t code);

// A result of Card_ReadCardNo other than 0.
std::string ExplainCardNumberResult(int32_t result);

// "9000", "8010000C": upper-case hexadecimal with a fixed count of digits.
std::string Hex4(uint16_t value);
std::string Hex8(uint32_t value);

}  // namespace velmora_tool
