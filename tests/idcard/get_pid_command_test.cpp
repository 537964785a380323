#include "service/idcard/get_pid_command.h"

#include <gtest/gtest.h>

#include "service/request_handler.h"
#include "tests/idcard/id_card_sim.h"

namespace idcardtest {
namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

const Tone kReadTone{4000, 200};

class GetPidCommandTest : public IdCardSimTest {};

TEST_F(GetPidCommandTest, NoReaderAnswers0100WithoutToneOrFurtherCalls) {
  // Without a holder file the stand-in has no reader; with one it can be
  // told to have none.
  for (bool withHolderFile : {false, true}) {
    SCOPED_TRACE(withHolderFile ? "noreader=1" : "simulation off");
    if (withHolderFile) UseHolder("noreader=1\nname=x\n");
    std::filesystem::remove(folder_ / "calls.log");

    const auto body = GetPid();

    EXPECT_EQ(Utf8Members(body),
              (Members{{"ResultCode", "0100"}, {"ResultMsg", "寻找身份证阅读器失败"}}));
    EXPECT_TRUE(Tones().empty());
    EXPECT_EQ(CallLog(), std::vector<std::string>{"Zet_FindUSBReader"});
  }
}

TEST_F(GetPidCommandTest, PortThatDoesNotOpenAnswers0102AfterTheTone) {
  UseHolder("port=7\nportfail=1\nname=x\n");

  const auto body = GetPid();

  EXPECT_EQ(Utf8Members(body),
            (Members{{"ResultCode", "0102"}, {"ResultMsg", "打开身份证阅读器端口失败"}}));
  EXPECT_EQ(Tones(), std::vector<Tone>{kReadTone});
  EXPECT_EQ(CallLog().back(), "Zet_OpenPort 7");
}

TEST_F(GetPidCommandTest, FailedReadAnswers0102WithTheStatusInSignedDecimal) {
  for (const std::string status : {"-17", "65", "-2147483648"}) {
    SCOPED_TRACE(status);
    ClearTones();
    UseHolder("name=x\nreadstatus=" + status + "\n");

    const auto body = GetPid();

    EXPECT_EQ(Utf8Members(body),
              (Members{{"ResultCode", "0102"}, {"ResultMsg", "读取身份证失败_" + status}}));
    EXPECT_EQ(Tones(), std::vector<Tone>{kReadTone});
  }
}

// A library that faults, raises, hangs or runs out of stack costs that one
// request, never the service, and the system log names the step and what
// ended it. A card read answers "0103" after the tone; a failed reader
// look-up is the request's own failure (no reply, no tone). Whatever the
// failure left behind in the library's process (its own lock, a heap that
// faults inside the allocator) goes with that process: the next read works.
TEST_F(GetPidCommandTest, LibraryThatFailsCostsOneRequestAndIsLogged) {
  using namespace std::chrono_literals;
  const std::string killed = "its process was killed by signal ";
  const struct {
    const char* switches;
    const char* step;
    std::string ending;
    std::chrono::milliseconds bound = duvane::kIdCardCallBound;
  } cases[] = {
      {"findfaults", "Zet_FindUSBReader", killed},
      {"findraises", "Zet_FindUSBReader",
       "raised an exception: simulated exception in the find step"},
      {"openfaults", "Zet_OpenPort", killed},
      {"openraises", "Zet_OpenPort", "raised an exception: simulated exception in the open step"},
      {"readfaults", "Zet_ReadMsg", killed},
      {"readraises", "Zet_ReadMsg", "raised an exception: simulated exception in the read step"},
      {"photofaults", "Zet_PhotoToStrBase64", killed},
      {"photoraises", "Zet_PhotoToStrBase64",
       "raised an exception: simulated exception in the photo step"},
      {"readlockfaults", "Zet_ReadMsg", killed},
      {"readoverflows", "Zet_ReadMsg", killed},
      // Hangs until killed; the bound is short for the test.
      {"readhangs", "Zet_ReadMsg", "did not return within 2000 ms; its process was killed", 2s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.switches);
    duvane::IdCardLibrary library(duvane::IdCardSettings{.callBound = c.bound});
    UseHolder(std::string("name=x\n") + c.switches + "=1\n");
    ClearTones();
    SystemLogEntries().clear();

    std::string failure;
    if (std::string_view(c.step) == "Zet_FindUSBReader") {
      try {
        duvane::GetPidCommand(library, RecordTone);
        ADD_FAILURE() << "the look-up did not fail";
      } catch (const duvane::ServiceError& e) {
        failure = e.what();
      }
      EXPECT_TRUE(Tones().empty());
    } else {
      EXPECT_EQ(Utf8Members(duvane::GetPidCommand(library, RecordTone)),
                (Members{{"ResultCode", "0103"}, {"ResultMsg", "读取身份证异常"}}));
      EXPECT_EQ(Tones(), std::vector<Tone>{kReadTone});
    }

    const std::string logged = "identity-card library, " + std::string(c.step) + ": " + c.ending;
    ASSERT_EQ(SystemLogEntries().size(), 1u);
    EXPECT_EQ(SystemLogEntries()[0].first, "DuvaneS");
    EXPECT_EQ(SystemLogEntries()[0].second.substr(0, logged.size()), logged);
    if (!failure.empty()) {
      EXPECT_EQ(failure, SystemLogEntries()[0].second);
    }
    UseHolder("name=x\n");
    EXPECT_EQ(Utf8Members(duvane::GetPidCommand(library, RecordTone)).at(0).second, "0000");
  }
}

TEST_F(GetPidCommandTest, SuccessGivesEveryMemberInOrderAsOneJsonLine) {
  WriteFile("face.bin", "\x89PNG");
  UseHolder(
      "name=  王小明   \n"
      "sex=男\n"
      "nation=汉\n"
      "address=云岭省青川市松涛路8号  \n"
      "idnumber=99010219900307002X\n"
      "photo=face.bin\n");

  const auto body = GetPid();

  // The name loses its blanks; the address keeps its trailing ones.
  EXPECT_EQ(body.ToUtf8Json(),
            "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"Name\":\"王小明\",\"Sex\":\"男\","
            "\"Nation\":\"汉\",\"Address\":\"云岭省青川市松涛路8号  \","
            "\"IDCardNo\":\"99010219900307002X\",\"photo\":\"iVBORw==\"}");
  EXPECT_EQ(Tones(), std::vector<Tone>{kReadTone});
}

TEST_F(GetPidCommandTest, DemoHolderIsReadWithItsPhoto) {
  for (const char* file : {"holder.txt", "photo.png"}) {
    std::filesystem::copy_file(std::filesystem::path(ZETIDCARD_DEMO_DIR) / file, folder_ / file);
  }

  const auto members = Utf8Members(GetPid());

  ASSERT_EQ(members.size(), 8u);
  EXPECT_EQ(members[0].second, "0000");
  EXPECT_EQ(members[2], (std::pair<std::string, std::string>{"Name", "林晓澜"}));
  EXPECT_EQ(members[7].first, "photo");
  EXPECT_EQ(members[7].second.rfind("iVBORw0KGgo", 0), 0u) << "a PNG file in Base64";
}

TEST_F(GetPidCommandTest, CallsTheLibraryInOrderWithItsModesAndThePort) {
  UseHolder("port=2345\nname=x\n");

  GetPid();

  EXPECT_EQ(CallLog(), (std::vector<std::string>{
                           "Zet_FindUSBReader",
                           "Zet_SetPhotoPath 1 \"\"",
                           "Zet_SetPhotoType 1",
                           "Zet_SetPhotoName 3",
                           "Zet_OpenPort 2345",
                           "Zet_StartFindIDCard 2345 buffer 0",
                           "Zet_SelectIDCard 2345 buffer 0",
                           "Zet_ReadMsg 2345 0 buffer",
                           "Zet_PhotoToStrBase64 buffer 0 record+292",
                       }));
}

TEST_F(GetPidCommandTest, EveryRequestLooksTheReaderUpAgainAndSoundsTheTone) {
  UseHolder("port=11\nname=甲\n");
  const auto first = Utf8Members(GetPid());
  // The card changes between the requests; the second sees the new one.
  UseHolder("port=12\nname=乙\n");
  const auto second = Utf8Members(GetPid());

  EXPECT_EQ(first[2].second, "甲");
  EXPECT_EQ(second[2].second, "乙");
  EXPECT_EQ(Tones(), (std::vector<Tone>{kReadTone, kReadTone}));
  std::vector<std::string> lookUpsAndOpens;
  for (const auto& line : CallLog()) {
    if (line.starts_with("Zet_FindUSBReader") || line.starts_with("Zet_OpenPort")) {
      lookUpsAndOpens.push_back(line);
    }
  }
  EXPECT_EQ(lookUpsAndOpens, (std::vector<std::string>{"Zet_FindUSBReader", "Zet_OpenPort 11",
                                                       "Zet_FindUSBReader", "Zet_OpenPort 12"}));
}

TEST_F(GetPidCommandTest, TextsThatFillTheirRoomStopAtTheNextText) {
  // Every text longer than its room: the stand-in fills the record from the
  // first to the 547th byte without a single zero byte.
  UseHolder("name=" + std::string(40, 'N') + "\nsex=" + std::string(9, 'S') +
            "\nnation=" + std::string(50, 'E') + "\naddress=" + std::string(80, 'A') +
            "\nidnumber=" + std::string(150, '9') + "\nphoto=" + std::string(300, 'p') + "\n");

  const auto members = Utf8Members(GetPid());

  EXPECT_EQ(members, (Members{{"ResultCode", "0000"},
                              {"ResultMsg", "成功"},
                              {"Name", std::string(32, 'N')},
                              {"Sex", std::string(6, 'S')},
                              {"Nation", std::string(38, 'E')},
                              {"Address", std::string(72, 'A')},
                              {"IDCardNo", std::string(144, '9')},
                              {"photo", ""}}));
}

TEST_F(GetPidCommandTest, ChineseTextFillingItsRoomKeepsWholeCharacters) {
  // 17 characters of two GBK bytes each: 16 fit the name's 32 bytes.
  std::string name;
  for (int i = 0; i < 17; ++i) name += "张";
  UseHolder("name=" + name + "\n");

  const auto members = Utf8Members(GetPid());

  EXPECT_EQ(members[2].second, name.substr(0, 16 * std::string("张").size()));
}

}  // namespace
}  // namespace idcardtest
