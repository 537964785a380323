#include <gtest/gtest.h>

#include "service/idcard/get_pid_command.h"
#include "tests/idcard/id_card_sim.h"

namespace idcardtest {
namespace {

class GetPidPhotoTest : public IdCardSimTest {
 protected:
  // The "photo" member of a successful read of a holder with this photo
  // setting.
  std::string PhotoOf(const std::string& photoLines) {
    UseHolder("name=x\n" + photoLines);
    const auto members = Utf8Members(GetPid());
    EXPECT_EQ(members.at(0).second, "0000");
    EXPECT_EQ(members.back().first, "photo");
    return members.back().second;
  }
};

TEST_F(GetPidPhotoTest, PhotoThatIsNotHandedOutIsAnEmptyValueNotAFailure) {
  WriteFile("face.bin", "abc");
  EXPECT_EQ(PhotoOf("photo=face.bin\nphotoempty=1\n"), "");
  EXPECT_EQ(PhotoOf("photo=missing.bin\n"), "");
  EXPECT_EQ(PhotoOf(""), "");
}

TEST_F(GetPidPhotoTest, LargestPhotoThatFitsTheBufferIsHandedOutWhole) {
  // 6141 bytes give 8188 Base64 characters; with the zero that is 8189.
  WriteFile("largest.bin", std::string(6141, '\0'));
  EXPECT_EQ(PhotoOf("photo=largest.bin\n"), std::string(8188, 'A'));
}

TEST_F(GetPidPhotoTest, PhotoTooLargeForTheBufferIsLeftOut) {
  // 6142 bytes give 8192 characters, which with the zero overrun 8192 bytes.
  WriteFile("large.bin", std::string(6142, '\0'));
  EXPECT_EQ(PhotoOf("photo=large.bin\n"), "");
  WriteFile("huge.bin", std::string(100000, '\x7f'));
  EXPECT_EQ(PhotoOf("photo=huge.bin\n"), "");
}

TEST_F(GetPidPhotoTest, PhotoFillingTheWholeBufferIsCutToItsLongestText) {
  // The buffer holds a zero-terminated text: 8191 characters at most.
  EXPECT_EQ(PhotoOf("photofull=1\n"), std::string(8191, 'Q'));
}

TEST_F(GetPidPhotoTest, PhotoReferenceIsReadAsAGbkPath) {
  // The reference travels through the record in GBK and back to the file.
  WriteFile("照片.bin", "abc");
  EXPECT_EQ(PhotoOf("photo=照片.bin\n"), "YWJj");
}

}  // namespace
}  // namespace idcardtest
