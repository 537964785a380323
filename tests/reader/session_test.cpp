// Opening, closing and listing readers against simulated readers.
#include <winscard.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "sim_fixture.h"

namespace {

using Strings = std::vector<std::string>;

// Every PC/SC context of the client library is a socket to pcscd, so a
// context left behind shows as one more open socket.
int OpenSockets() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code failure;
    const auto target = std::filesystem::read_symlink(entry.path(), failure);
    if (!failure && target.string().rfind("socket:", 0) == 0) ++count;
  }
  return count;
}

// The reader names as pcscd lists them, read without the library.
Strings ListedReaders() {
  SCARDCONTEXT context = 0;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
    return {};
  }
  char list[1024] = {};
  DWORD length = sizeof list;
  Strings names;
  if (SCardListReaders(context, nullptr, list, &length) == SCARD_S_SUCCESS) {
    for (const char* name = list; *name != '\0'; name += std::strlen(name) + 1) {
      names.emplace_back(name);
    }
  }
  SCardReleaseContext(context);
  return names;
}

// Whether another client can take the reader for itself, with the code.
LONG ConnectExclusively(const std::string& reader) {
  SCARDCONTEXT context = 0;
  LONG code = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
  if (code != SCARD_S_SUCCESS) return code;
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  code = SCardConnect(context, reader.c_str(), SCARD_SHARE_EXCLUSIVE,
                      SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
  if (code == SCARD_S_SUCCESS) SCardDisconnect(card, SCARD_LEAVE_CARD);
  SCardReleaseContext(context);
  return code;
}

class VelmoraSession : public VelmoraSimTest {};

// No reader, or two of a served model (with cards): the open fails.
TEST_F(VelmoraSession, NotExactlyOneServedReaderGivesMinusOneAndLeavesNoContext) {
  for (const Strings& attached :
       {Strings{}, Strings{"Quorvell K360A Reader", "Quorvell K360A Reader"}}) {
    ASSERT_NO_FATAL_FAILURE(Start(attached));
    for (size_t i = 0; i < attached.size(); ++i) {
      ASSERT_NO_FATAL_FAILURE(InsertCard(simreader::DemoCard(), i));
    }
    const int before = OpenSockets();
    EXPECT_EQ(Lib().ReadCard_Init(0, 0), -1) << attached.size() << " readers";
    EXPECT_EQ(OpenSockets(), before);
    TearDown();
  }
}

TEST_F(VelmoraSession, TheServedReaderIsChosenBesideAnotherMake) {
  ASSERT_NO_FATAL_FAILURE(Start({"Kestrel CL10 Reader", "Quorvell K370A Reader"}));
  ASSERT_NO_FATAL_FAILURE(InsertCard(simreader::DemoCard(), 0));
  ASSERT_NO_FATAL_FAILURE(InsertCard(simreader::DemoCard(), 1));
  EXPECT_GE(Lib().ReadCard_Init(0, 0), 1);
  Reader(0).ClearLog();
  Reader(1).ClearLog();
  EXPECT_EQ(Lib().SetFindType(0), 0x9000);
  EXPECT_TRUE(Sent(0).empty());
  EXPECT_EQ(Sent(1), Strings{"801100F000"});
}

TEST_F(VelmoraSession, NoCardGivesTheConnectErrorAndALaterCallConnectsByItself) {
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(Lib().ReadCard_Init(0, 0), static_cast<int32_t>(0x8010000CU));
  ASSERT_NO_FATAL_FAILURE(InsertCard());
  EXPECT_EQ(Lib().SetFindType(0), 0x9000);
  EXPECT_EQ(Sent(), Strings{"801100F000"});
}

// A failed connect keeps the fresh context; closing drops it.
TEST_F(VelmoraSession, AFailedConnectKeepsTheContextUntilExit) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const int before = OpenSockets();
  EXPECT_LT(Lib().ReadCard_Init(0, 0), 0);
  EXPECT_EQ(OpenSockets(), before + 1);
  EXPECT_EQ(Lib().ReadCard_Exit(0), 0);
  EXPECT_EQ(OpenSockets(), before);
}

// Listing keeps its context when it found readers, and only then.
TEST_F(VelmoraSession, ListingKeepsAContextOnlyWhenItFoundReaders) {
  ASSERT_NO_FATAL_FAILURE(Start({"Kestrel CL10 Reader"}));
  const int before = OpenSockets();
  char buffer[128] = {};
  EXPECT_EQ(Lib().EnumerateReaders(buffer), 1);
  EXPECT_EQ(OpenSockets(), before + 1);
  EXPECT_EQ(Lib().EnumerateReaders(buffer), 1);  // the old context goes first
  EXPECT_EQ(OpenSockets(), before + 1);
  // No served model among them: the open fails and nothing stays open.
  EXPECT_EQ(Lib().ReadCard_Init(0, 0), -1);
  EXPECT_EQ(OpenSockets(), before);
}

TEST_F(VelmoraSession, TheReaderIsHeldExclusivelyUntilExit) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Strings readers = ListedReaders();
  ASSERT_EQ(readers.size(), 1u);
  EXPECT_EQ(ConnectExclusively(readers[0]), SCARD_E_SHARING_VIOLATION);
  EXPECT_EQ(Lib().ReadCard_Exit(0), 0);
  EXPECT_EQ(ConnectExclusively(readers[0]), SCARD_S_SUCCESS);
  EXPECT_EQ(Lib().ReadCard_Exit(0), 0);
}

// Every name followed by a bar, no terminating zero; nothing at all when no
// reader is attached.
TEST_F(VelmoraSession, EnumerateWritesEveryNameWithABarAndNothingMore) {
  for (const Strings& attached : {Strings{"A", "B"}, Strings{}}) {
    ASSERT_NO_FATAL_FAILURE(Start(attached));
    const Strings readers = ListedReaders();
    ASSERT_EQ(readers.size(), attached.size());
    std::string expected;
    for (const std::string& name : readers) expected += name + "|";
    char buffer[128];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(Lib().EnumerateReaders(buffer), static_cast<int32_t>(attached.size()));
    EXPECT_EQ(std::string(buffer, sizeof buffer),
              expected + std::string(sizeof buffer - expected.size(), '#'));
    TearDown();
  }
}

TEST_F(VelmoraSession, EnumerateDropsTheOpenConnection) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  const Strings readers = ListedReaders();
  ASSERT_EQ(readers.size(), 1u);
  char buffer[128] = {};
  EXPECT_EQ(Lib().EnumerateReaders(buffer), 1);
  EXPECT_EQ(ConnectExclusively(readers[0]), SCARD_S_SUCCESS);
  // The next card call connects again by itself.
  EXPECT_EQ(Lib().SetFindType(0), 0x9000);
}

// Listing readers drops the connection; done from another thread while card
// calls run, it must land between whole exchanges, which re-open by themselves.
TEST_F(VelmoraSession, ListingFromAnotherThreadNeverBreaksAnExchange) {
  ASSERT_NO_FATAL_FAILURE(StartConnected());
  constexpr int kRounds = 40;
  int failures = 0;
  std::thread lister([this] {
    char names[256];
    for (int i = 0; i < kRounds; ++i) Lib().EnumerateReaders(names);
  });
  for (int i = 0; i < kRounds; ++i) {
    if (Lib().SetFindType(0) != 0x9000) ++failures;
  }
  lister.join();
  EXPECT_EQ(failures, 0);
}

}  // namespace
