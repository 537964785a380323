#include "fake_pcsc.h"

#include <sanitizer/asan_interface.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace fake_pcsc {
namespace {

constexpr DWORD kReceiveCapacity = 256;
constexpr uint8_t kResponsePending = 0x61;

constexpr std::array<LONG, 6> kConnectFailures{
    SCARD_E_NO_SMARTCARD,       SCARD_W_REMOVED_CARD,      SCARD_E_SHARING_VIOLATION,
    SCARD_E_READER_UNAVAILABLE, SCARD_W_UNRESPONSIVE_CARD, 1 /* not an error code at all */};
constexpr std::array<LONG, 6> kTransmitFailures{SCARD_W_REMOVED_CARD,   SCARD_E_COMM_DATA_LOST,
                                                SCARD_E_NOT_TRANSACTED, SCARD_E_INSUFFICIENT_BUFFER,
                                                SCARD_W_RESET_CARD,     SCARD_F_COMM_ERROR};
// Handles whose low 32 bits are 0, INT32_MIN, -1, or that need all 64 bits.
constexpr std::array<SCARDHANDLE, 4> kOddHandles{0, static_cast<SCARDHANDLE>(0x80000000u),
                                                 static_cast<SCARDHANDLE>(0xFFFFFFFFu),
                                                 static_cast<SCARDHANDLE>(0x7FFFFFFF00000005ll)};

struct Card {
  SCARDCONTEXT context = 0;
  DWORD protocol = 0;
};

struct Listing {
  LONG code = SCARD_S_SUCCESS;
  std::string multiString;
  ReaderList expected;
};

struct State {
  Script script;
  std::vector<Transmission> log;
  std::set<SCARDCONTEXT> contexts;
  std::map<SCARDHANDLE, Card> cards;
  SCARDCONTEXT nextContext = 0x1000;
  SCARDHANDLE nextCard = 0x2000;
  std::optional<uint8_t> pendingLength;  // Le of the GET RESPONSE owed after a 61 xx
  std::optional<bool> plannedContextFails;
  std::optional<Listing> plannedListing;
};

State& Fake() {
  static State state;
  return state;
}

bool Addressable(const void* bytes, size_t count) {
  return count == 0 || (bytes != nullptr &&
                        __asan_region_is_poisoned(const_cast<void*>(bytes), count) == nullptr);
}

Listing FixedListing(std::vector<std::string> names) {
  Listing listing;
  for (const std::string& name : names) listing.multiString += name + '\0';
  listing.multiString += '\0';
  listing.expected.names = std::move(names);
  return listing;
}

// A list made of the fuzzer's bytes: names that may start with a model
// string, empty names, and lists that lack their closing zeros.
Listing FuzzedListing(Script& script) {
  static const std::array<std::string, 3> kPrefixes{"Quorvell K360A Reader",
                                                    "Quorvell K370A Reader", ""};
  Listing listing;
  bool ended = false;
  const int count = script.Byte() % 4;
  for (int i = 0; i < count; ++i) {
    std::string name = kPrefixes[script.Byte() % kPrefixes.size()];
    std::string tail(script.Byte() % 16, '\0');
    script.Fill(reinterpret_cast<uint8_t*>(tail.data()), tail.size());
    for (char& c : tail) c = c == '\0' ? 'x' : c;
    name += tail;
    if (name.empty()) ended = true;
    if (!ended) listing.expected.names.push_back(name);
    listing.multiString += name + '\0';
  }
  const int ending = script.Byte() % 3;  // 0 closed, 1 without the list's zero, 2 nor the name's
  if (ending == 0) listing.multiString += '\0';
  if (ending == 2 && !listing.multiString.empty()) listing.multiString.pop_back();
  return listing;
}

Listing DrawListing(Script& script) {
  switch (script.Byte() % 8) {
    case 0:
      return FixedListing({"Quorvell K370A Reader 0"});
    case 1:
      return FixedListing({"Quorvell K360A Reader"});
    case 2:
      return FixedListing({"Other Make Reader 00", "Quorvell K370A Reader 01"});
    case 3:
      return FixedListing({"Quorvell K360A Reader 0", "Quorvell K370A Reader 1"});
    case 4:
      return FixedListing({"Quorvell K360A Reader Quorvell K370A Reader"});
    case 5: {
      Listing failed;
      failed.code = SCARD_E_NO_READERS_AVAILABLE;
      failed.expected.failed = true;
      return failed;
    }
    case 6:
      return FuzzedListing(script);
    default:
      return FixedListing({});
  }
}

bool DrawContextFails(Script& script) { return script.Byte() % 16 == 15; }

}  // namespace

void Script::Reset(const uint8_t* data, size_t size) {
  data_ = data;
  size_ = size;
  at_ = 0;
}

uint8_t Script::Byte() { return Empty() ? 0 : data_[at_++]; }

uint32_t Script::Word() {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= static_cast<uint32_t>(Byte()) << (8 * i);
  return word;
}

void Script::Fill(uint8_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = Byte();
}

Script& Input() { return Fake().script; }

void BeginInput(const uint8_t* data, size_t size) {
  State& state = Fake();
  state.script.Reset(data, size);
  state.log.clear();
  state.contexts.clear();
  state.cards.clear();
  state.pendingLength.reset();
  state.plannedContextFails.reset();
  state.plannedListing.reset();
}

const std::vector<Transmission>& Log() { return Fake().log; }
void ClearLog() { Fake().log.clear(); }

ReaderList PlanListing() {
  State& state = Fake();
  state.plannedContextFails = DrawContextFails(state.script);
  if (*state.plannedContextFails) return ReaderList{true, {}};
  state.plannedListing = DrawListing(state.script);
  return state.plannedListing->expected;
}

size_t LiveContexts() { return Fake().contexts.size(); }
size_t LiveCards() { return Fake().cards.size(); }

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "card fuzzer: %s\n", what);
  std::abort();
}

}  // namespace fake_pcsc

using namespace fake_pcsc;

extern "C" {

const SCARD_IO_REQUEST g_rgSCardT0Pci{SCARD_PROTOCOL_T0, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardT1Pci{SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardRawPci{SCARD_PROTOCOL_RAW, sizeof(SCARD_IO_REQUEST)};

LONG SCardEstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2,
                           LPSCARDCONTEXT context) {
  Require(scope == SCARD_SCOPE_SYSTEM && reserved1 == nullptr && reserved2 == nullptr,
          "context asked for with other arguments");
  State& state = Fake();
  const bool fails =
      state.plannedContextFails ? *state.plannedContextFails : DrawContextFails(state.script);
  state.plannedContextFails.reset();
  if (fails) return SCARD_E_NO_SERVICE;
  *context = state.nextContext++;
  state.contexts.insert(*context);
  return SCARD_S_SUCCESS;
}

LONG SCardReleaseContext(SCARDCONTEXT context) {
  State& state = Fake();
  Require(state.contexts.erase(context) == 1, "released a context that is not held");
  // Like pcsc-lite, a released context takes its card connections along.
  std::erase_if(state.cards,
                [context](const auto& card) { return card.second.context == context; });
  return SCARD_S_SUCCESS;
}

LONG SCardListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, LPDWORD length) {
  State& state = Fake();
  Require(state.contexts.count(context) == 1, "listed readers on a context that is not held");
  Require(
      groups == nullptr && readers != nullptr && length != nullptr && *length == SCARD_AUTOALLOCATE,
      "reader list asked for without SCARD_AUTOALLOCATE");
  Listing listing = state.plannedListing ? *state.plannedListing : DrawListing(state.script);
  state.plannedListing.reset();
  if (listing.code != SCARD_S_SUCCESS) return listing.code;
  // Exactly the list's bytes, so a read past its end is caught.
  char* copy = static_cast<char*>(std::malloc(listing.multiString.size()));
  if (copy == nullptr) return SCARD_E_NO_MEMORY;
  std::memcpy(copy, listing.multiString.data(), listing.multiString.size());
  *reinterpret_cast<char**>(readers) = copy;
  *length = static_cast<DWORD>(listing.multiString.size());
  return SCARD_S_SUCCESS;
}

LONG SCardFreeMemory(SCARDCONTEXT /*context*/, LPCVOID memory) {
  std::free(const_cast<void*>(memory));
  return SCARD_S_SUCCESS;
}

LONG SCardConnect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode, DWORD protocols,
                  LPSCARDHANDLE card, LPDWORD activeProtocol) {
  State& state = Fake();
  Require(state.contexts.count(context) == 1, "connected on a context that is not held");
  Require(state.cards.empty(), "a second card connection while one is open");
  Require(reader != nullptr && std::strlen(reader) > 0, "connected to a reader without a name");
  Require(
      shareMode == SCARD_SHARE_EXCLUSIVE && protocols == (SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1),
      "connected in another share mode or with other protocols");
  const uint8_t choice = state.script.Byte();
  if (choice % 8 >= 4) return kConnectFailures[(choice / 8) % kConnectFailures.size()];
  static constexpr std::array<DWORD, 4> kProtocols{SCARD_PROTOCOL_T1, SCARD_PROTOCOL_T0,
                                                   SCARD_PROTOCOL_RAW, SCARD_PROTOCOL_T1};
  const DWORD protocol = kProtocols[choice % 4];
  const SCARDHANDLE handle =
      choice % 4 == 3 ? kOddHandles[state.script.Byte() % kOddHandles.size()] : state.nextCard++;
  state.cards[handle] = Card{context, protocol};
  state.pendingLength.reset();
  *card = handle;
  *activeProtocol = protocol;
  return SCARD_S_SUCCESS;
}

LONG SCardDisconnect(SCARDHANDLE card, DWORD /*disposition*/) {
  Require(Fake().cards.erase(card) == 1, "disconnected a card that is not connected");
  return SCARD_S_SUCCESS;
}

LONG SCardTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST* sendPci, LPCBYTE send,
                   DWORD sendLength, SCARD_IO_REQUEST* receivePci, LPBYTE receive,
                   LPDWORD receiveLength) {
  State& state = Fake();
  const auto connection = state.cards.find(card);
  Require(connection != state.cards.end(), "transmitted on a card that is not connected");
  const SCARD_IO_REQUEST* expectedPci =
      connection->second.protocol == SCARD_PROTOCOL_T0 ? &g_rgSCardT0Pci : &g_rgSCardT1Pci;
  Require(sendPci == expectedPci && receivePci == nullptr, "transmitted with the wrong PCI");
  Require(sendLength <= 255 && Addressable(send, sendLength), "command outside its buffer");
  Require(receiveLength != nullptr && *receiveLength == kReceiveCapacity &&
              Addressable(receive, kReceiveCapacity),
          "receive buffer is not 256 bytes");

  Transmission transmission;
  transmission.command.assign(send, send + sendLength);
  if (state.pendingLength) {
    const std::vector<uint8_t> expected{0x00, 0xC0, 0x00, 0x00, *state.pendingLength};
    Require(transmission.command == expected, "61 xx not followed by GET RESPONSE xx");
    transmission.getResponse = true;
    state.pendingLength.reset();
  }

  const uint8_t choice = state.script.Byte();
  if (choice == 0xFF) {
    transmission.code = kTransmitFailures[state.script.Byte() % kTransmitFailures.size()];
    *receiveLength = state.script.Byte();  // what a failed call leaves there means nothing
    state.log.push_back(std::move(transmission));
    return state.log.back().code;
  }
  // The status word comes before the data in the input, so that a mutation
  // of the length does not move it.
  const uint8_t sw1 = state.script.Byte();
  const uint8_t sw2 = state.script.Byte();
  const size_t length = choice == 0xFE ? 240 + state.script.Byte() % 17 : choice;
  transmission.reply.resize(length);
  if (length >= 2) {
    state.script.Fill(transmission.reply.data(), length - 2);
    transmission.reply[length - 2] = sw1;
  }
  if (length >= 1) transmission.reply[length - 1] = sw2;
  if (length > 0) std::memcpy(receive, transmission.reply.data(), length);
  *receiveLength = static_cast<DWORD>(length);
  const size_t counted = length % 256;  // the library keeps lengths in 8 bits
  if (!transmission.getResponse && counted >= 2 &&
      transmission.reply[counted - 2] == kResponsePending) {
    state.pendingLength = transmission.reply[counted - 1];
  }
  state.log.push_back(std::move(transmission));
  return SCARD_S_SUCCESS;
}

}  // extern "C"
