// The test winscard.dll itself: what it answers to the PC/SC calls, as pcscd
// answers for the Linux simulated reader.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: winscard.h needs its types.
#include <winscard.h>

#include <cstring>

#include "sim_folder.h"

namespace {

constexpr DWORD kBothProtocols = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;

class SimWinscard : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim_.Ready()) << sim_.Error(); }
  void TearDown() override {
    if (context_ != 0) SCardReleaseContext(context_);
  }
  LONG Establish() {
    return SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_);
  }
  LONG Connect(DWORD shareMode, DWORD protocols, SCARDHANDLE& card, DWORD& protocol) {
    return SCardConnectA(context_, sim_.Reader().PcscName().c_str(), shareMode, protocols, &card,
                         &protocol);
  }
  LONG Transmit(SCARDHANDLE card, const SCARD_IO_REQUEST* pci) {
    const BYTE command[] = {0x80, 0x11, 0x00, 0xF0, 0x00};
    BYTE reply[258] = {};
    DWORD length = sizeof reply;
    return SCardTransmit(card, pci, command, sizeof command, nullptr, reply, &length);
  }

  simreader::SimFolder sim_{{"Quorvell K370A Reader", "Kestrel CL10 Reader"}};
  SCARDCONTEXT context_ = 0;
};

TEST_F(SimWinscard, ListsEveryReaderInOneMultiString) {
  ASSERT_EQ(Establish(), SCARD_S_SUCCESS);
  const char expected[] = "Quorvell K370A Reader 00 00\0Kestrel CL10 Reader 01 00\0";
  char* list = nullptr;
  DWORD length = SCARD_AUTOALLOCATE;
  ASSERT_EQ(SCardListReadersA(context_, nullptr, reinterpret_cast<LPSTR>(&list), &length),
            SCARD_S_SUCCESS);
  EXPECT_EQ(std::string(list, length), std::string(expected, sizeof expected));
  EXPECT_EQ(SCardFreeMemory(context_, list), SCARD_S_SUCCESS);
  char small[8];
  length = sizeof small;
  EXPECT_EQ(SCardListReadersA(context_, nullptr, small, &length), SCARD_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, sizeof expected);
}

TEST_F(SimWinscard, ConnectAndTransmitFollowTheReaderState) {
  ASSERT_EQ(Establish(), SCARD_S_SUCCESS);
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  EXPECT_EQ(Connect(SCARD_SHARE_EXCLUSIVE, kBothProtocols, card, protocol), SCARD_E_NO_SMARTCARD);
  sim_.Reader().Unplug();
  EXPECT_EQ(Connect(SCARD_SHARE_EXCLUSIVE, kBothProtocols, card, protocol),
            SCARD_E_READER_UNAVAILABLE);
  sim_.Reader().Plug();
  sim_.Reader().InsertCard(simreader::DemoCard());
  sim_.Reader().OfferOnlyT0(true);

  ASSERT_EQ(Connect(SCARD_SHARE_EXCLUSIVE, kBothProtocols, card, protocol), SCARD_S_SUCCESS);
  EXPECT_EQ(protocol, static_cast<DWORD>(SCARD_PROTOCOL_T0));
  SCARDHANDLE second = 0;
  EXPECT_EQ(Connect(SCARD_SHARE_SHARED, kBothProtocols, second, protocol),
            SCARD_E_SHARING_VIOLATION);
  EXPECT_EQ(Transmit(card, SCARD_PCI_T1), SCARD_E_PROTO_MISMATCH);
  EXPECT_EQ(Transmit(card, SCARD_PCI_T0), SCARD_S_SUCCESS);
  sim_.Reader().FailTransmit(true);
  EXPECT_EQ(Transmit(card, SCARD_PCI_T0), SCARD_E_NOT_TRANSACTED);
  sim_.Reader().FailTransmit(false);
  sim_.Reader().RemoveCard();
  EXPECT_EQ(Transmit(card, SCARD_PCI_T0), SCARD_W_REMOVED_CARD);
  EXPECT_EQ(SCardDisconnect(card, SCARD_LEAVE_CARD), SCARD_S_SUCCESS);
  EXPECT_EQ(Transmit(card, SCARD_PCI_T0), SCARD_E_INVALID_HANDLE);
}

TEST(SimWinscardFolder, WithoutAFolderThereIsNoService) {
  SetEnvironmentVariableA("SIMREADER_DIR", "C:\\no such folder");
  SCARDCONTEXT context = 0;
  EXPECT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context),
            SCARD_E_NO_SERVICE);
  SetEnvironmentVariableA("SIMREADER_DIR", nullptr);
}

}  // namespace
