#include "service/idcard/holder_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace duvane {
namespace {

// Exactly 547 bytes on the heap, so the address sanitizer catches a read of
// the 548th.
std::unique_ptr<unsigned char[]> RecordOf(unsigned char fill) {
  auto record = std::make_unique<unsigned char[]>(kHolderRecordSize);
  std::memset(record.get(), fill, kHolderRecordSize);
  return record;
}

HolderTexts Read(const unsigned char* record) {
  return ReadHolderTexts(
      std::span<const unsigned char, kHolderRecordSize>(record, kHolderRecordSize));
}

TEST(GetPidHolderRecordTest, RecordWithoutZeroBytesIsReadWithinEachRoom) {
  const auto record = RecordOf('A');
  const HolderTexts texts = Read(record.get());
  EXPECT_EQ(texts.name, std::string(32, 'A'));
  EXPECT_EQ(texts.sex, std::string(6, 'A'));
  EXPECT_EQ(texts.nation, std::string(38, 'A'));
  EXPECT_EQ(texts.address, std::string(72, 'A'));
  EXPECT_EQ(texts.idCardNo, std::string(144, 'A'));
}

TEST(GetPidHolderRecordTest, TextsEndAtTheirFirstZeroByte) {
  const auto record = RecordOf(0);
  std::memcpy(record.get() + 76, "Lane 5  \0tail", 13);
  std::memcpy(record.get() + 148,
              "123\0"
              "456",
              7);
  const HolderTexts texts = Read(record.get());
  EXPECT_EQ(texts.address, "Lane 5  ");
  EXPECT_EQ(texts.idCardNo, "123");
  EXPECT_EQ(texts.sex, "");
}

TEST(GetPidHolderRecordTest, NameLosesBlanksAndControlCharactersAtBothEndsOnly) {
  const auto record = RecordOf(0);
  std::memcpy(record.get(), "\t\x01 Li  Lei \x1f ", 14);
  EXPECT_EQ(Read(record.get()).name, "Li  Lei");

  std::memset(record.get(), ' ', 32);
  EXPECT_EQ(Read(record.get()).name, "");
}

TEST(GetPidHolderRecordTest, NameKeepsGbkBytesAboveTheBlank) {
  // GBK lead and trail bytes are all above 0x20, so trimming never splits one.
  const auto record = RecordOf(0);
  std::memcpy(record.get(), "\xd5\xc5\xc8\xfd  ", 6);
  EXPECT_EQ(Read(record.get()).name, "\xd5\xc5\xc8\xfd");
}

}  // namespace
}  // namespace duvane
