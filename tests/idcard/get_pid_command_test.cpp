#include "service/idcard/get_pid_command.h"

#include <gtest/gtest.h>

#include "tests/idcard/id_card_sim.h"

namespace idcardtest {
namespace {

using duvane::GetPidCommand;
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

    const auto body = GetPidCommand(RecordTone);

    EXPECT_EQ(Utf8Members(body),
              (Members{{"ResultCode", "0100"}, {"ResultMsg", "寻找身份证阅读器失败"}}));
    EXPECT_TRUE(Tones().empty());
    EXPECT_EQ(CallLog(), std::vector<std::string>{"Zet_FindUSBReader"});
  }
}

TEST_F(GetPidCommandTest, PortThatDoesNotOpenAnswers0102AfterTheTone) {
  UseHolder("port=7\nportfail=1\nname=x\n");

  const auto body = GetPidCommand(RecordTone);

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

    const auto body = GetPidCommand(RecordTone);

    EXPECT_EQ(Utf8Members(body),
              (Members{{"ResultCode", "0102"}, {"ResultMsg", "读取身份证失败_" + status}}));
    EXPECT_EQ(Tones(), std::vector<Tone>{kReadTone});
  }
}

// A library that throws or faults while reading costs the request, not the
// service: the next reading works.
TEST_F(GetPidCommandTest, ReadingThatRaisesOrFaultsAnswers0103) {
  for (const char* failure : {"readraises=1", "readfaults=1"}) {
    SCOPED_TRACE(failure);
    ClearTones();
    UseHolder(std::string("name=x\n") + failure + "\n");

    const auto body = GetPidCommand(RecordTone);

    EXPECT_EQ(Utf8Members(body),
              (Members{{"ResultCode", "0103"}, {"ResultMsg", "读取身份证异常"}}));
    EXPECT_EQ(Tones(), std::vector<Tone>{kReadTone});
    UseHolder("name=x\n");
    EXPECT_EQ(Utf8Members(GetPidCommand(RecordTone)).at(0).second, "0000");
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

  const auto body = GetPidCommand(RecordTone);

  // The name loses its blanks; the address keeps its trailing ones.
  EXPECT_EQ(body.ToUtf8Json(),
            "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"Name\":\"王小明\",\"Sex\":\"男\","
            "\"Nation\":\"汉\",\"Address\":\"云岭省青川市松涛路8号  \","
            "\"IDCardNo\":\"99010219900307002X\",\"photo\":\"iVBORw==\"}");
  EXPECT_EQ(Tones(), std::vector<Tone>{kReadTone});
}

TEST_F(GetPidCommandTest, DemoHolderIsReadWithItsPhoto) {
  setenv("ZETIDCARD_SIM", ZETIDCARD_DEMO_DIR "/holder.txt", 1);

  const auto members = Utf8Members(GetPidCommand(RecordTone));

  ASSERT_EQ(members.size(), 8u);
  EXPECT_EQ(members[0].second, "0000");
  EXPECT_EQ(members[2], (std::pair<std::string, std::string>{"Name", "林晓澜"}));
  EXPECT_EQ(members[7].first, "photo");
  EXPECT_EQ(members[7].second.rfind("iVBORw0KGgo", 0), 0u) << "a PNG file in Base64";
}

TEST_F(GetPidCommandTest, CallsTheLibraryInOrderWithItsModesAndThePort) {
  UseHolder("port=2345\nname=x\n");

  GetPidCommand(RecordTone);

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
  UseHolder("port=11\nname=甲\n", "first.txt");
  const auto first = Utf8Members(GetPidCommand(RecordTone));
  // The card changes between the requests; the second sees the new one.
  UseHolder("port=12\nname=乙\n", "second.txt");
  const auto second = Utf8Members(GetPidCommand(RecordTone));

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

  const auto members = Utf8Members(GetPidCommand(RecordTone));

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

  const auto members = Utf8Members(GetPidCommand(RecordTone));

  EXPECT_EQ(members[2].second, name.substr(0, 16 * std::string("张").size()));
}

}  // namespace
}  // namespace idcardtest
