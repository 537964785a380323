#include "exchange.h"

#include <winscard.h>

#include <mutex>
#include <string>

#include "answer_record.h"
#include "pcsc_values.h"
#include "session.h"
#include "session_state.h"
#include "trace.h"
#include "velmora.h"
#include "velmora/ticks.h"

namespace velmora {
namespace {

constexpr uint8_t kResponsePending = 0x61;
constexpr uint32_t kRetryPauseMs = 20;
constexpr int kAttempts = 2;

struct Transmission {
  LONG code = SCARD_S_SUCCESS;
  uint8_t received = 0;  // modulo 256, as the record's length fields hold it
};

Transmission Transmit(const uint8_t* bytes, uint8_t length, uint8_t* response) {
  const SessionState& session = Session();
  const SCARD_IO_REQUEST* pci =
      session.activeProtocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
  DWORD received = kReceiveCapacity;
  Transmission result;
  result.code = SCardTransmit(session.cardHandle, pci, bytes, length, nullptr,
                              response + kReplyOffset, &received);
  result.received = static_cast<uint8_t>(received & 0xFF);
  return result;
}

void TraceSent(const uint8_t* bytes, uint8_t length) {
  WriteTrace("发送数据:" + BytesToHex(bytes, length));
}

void TraceReply(const uint8_t* response, uint8_t received, uint32_t started) {
  const auto elapsed = static_cast<int32_t>(platform::GetTickCount() - started);
  WriteTrace("返回数据:" + BytesToHex(response + kReplyOffset, received) + "  " +
             std::to_string(elapsed) + "毫秒");
}

// Closes and opens the session; true when it is connected afterwards.
bool Reopen() {
  CloseSession();
  const int32_t opened = OpenSession();
  WriteTrace("自动初始化读卡器：" + Hex8(static_cast<uint32_t>(opened)));
  return opened >= 1;
}

void AfterFailedTransmission(LONG code) {
  WriteTrace("SCardTransmit失败：" + Hex8(PcscCodeBits(code)));
  CloseSession();
  platform::Sleep(kRetryPauseMs);
  WriteTrace("试图再次初始化读卡器");
}

uint8_t StatusByte1(const uint8_t* response, uint8_t received) {
  return response[kReplyOffset + received - 2];
}

// Fills the record's length and status fields from the last reply.
uint16_t StoreResult(uint8_t* response, uint8_t received, uint8_t* receivedLength) {
  if (received < 2) {
    response[0] = 0;
    StoreStatus(response, VELMORA_SW_EMPTY_REPLY);
    return VELMORA_SW_EMPTY_REPLY;
  }
  const uint8_t sw1 = StatusByte1(response, received);
  const uint8_t sw2 = response[kReplyOffset + received - 1];
  const auto status = static_cast<uint16_t>(sw1 << 8 | sw2);
  response[0] = static_cast<uint8_t>(received - 2);
  StoreStatus(response, status);
  if (receivedLength != nullptr) *receivedLength = received;
  return status;
}

// When the card has more data waiting (61 xx), asks for it once with GET
// RESPONSE; its reply replaces the first. False when that transmission fails.
bool FetchPendingReply(uint8_t* response, Transmission& reply, uint32_t& started) {
  if (reply.received < 2 || StatusByte1(response, reply.received) != kResponsePending) return true;
  TraceReply(response, reply.received, started);
  started = platform::GetTickCount();
  const uint8_t getResponse[5] = {0x00, 0xC0, 0x00, 0x00,
                                  response[kReplyOffset + reply.received - 1]};
  TraceSent(getResponse, sizeof getResponse);
  reply = Transmit(getResponse, sizeof getResponse, response);
  if (reply.code == SCARD_S_SUCCESS) return true;
  WriteTrace("get_response失败：" + Hex8(PcscCodeBits(reply.code)));
  return false;
}

}  // namespace

uint16_t ExchangeApdu(const uint8_t* command, int32_t commandLength, uint8_t* response,
                      uint8_t* receivedLength) {
  std::lock_guard lock(ReaderLock());
  const auto length = static_cast<uint8_t>(commandLength & 0xFF);
  for (int attempt = 1;; ++attempt) {
    if (Session().connected == 0) {
      if (attempt > kAttempts) {
        WriteTrace("读卡器初始化次数到(6200)");
        return VELMORA_SW_NO_READER;
      }
      if (!Reopen()) continue;
    }
    uint32_t started = platform::GetTickCount();
    TraceSent(command, length);
    Transmission reply = Transmit(command, length, response);
    if (reply.code != SCARD_S_SUCCESS) {
      AfterFailedTransmission(reply.code);
      continue;
    }
    if (!FetchPendingReply(response, reply, started)) return VELMORA_SW_GET_RESPONSE_FAILED;
    const uint16_t status = StoreResult(response, reply.received, receivedLength);
    TraceReply(response, reply.received, started);
    return status;
  }
}

}  // namespace velmora
