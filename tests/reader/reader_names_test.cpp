#include "reader_names.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using Names = std::vector<std::string>;

TEST(VelmoraReaderNames, SplitStopsAtTheEmptyName) {
  const char list[] = "A\0B 01\0\0C\0";
  EXPECT_EQ(SplitReaderNames(list, sizeof list), (Names{"A", "B 01"}));
  EXPECT_TRUE(SplitReaderNames("\0", 2).empty());
  EXPECT_TRUE(SplitReaderNames(nullptr, 10).empty());
}

TEST(VelmoraReaderNames, SplitNeverReadsPastTheGivenLength) {
  const char list[] = {'A', '\0', 'B', 'C'};  // no terminating zeros
  EXPECT_EQ(SplitReaderNames(list, sizeof list), (Names{"A", "BC"}));
  EXPECT_EQ(SplitReaderNames(list, 1), (Names{"A"}));
}

TEST(VelmoraReaderNames, OneServedModelBesideAnotherMakeIsTheOnlyMatch) {
  const ReaderMatch match =
      MatchServedReaders({"Quorvell K370A Reader 0", "Other Make Reader 00 00"});
  EXPECT_EQ(match.count, 1);
  EXPECT_EQ(match.lastName, "Quorvell K370A Reader 0");
}

TEST(VelmoraReaderNames, EveryMatchCountsAndTheLastOneIsKept) {
  const ReaderMatch two =
      MatchServedReaders({"Quorvell K360A Reader 00 00", "Quorvell K360A Reader 01 00"});
  EXPECT_EQ(two.count, 2);
  EXPECT_EQ(two.lastName, "Quorvell K360A Reader 01 00");
  // One name holding both model strings is tested against each of them.
  EXPECT_EQ(MatchServedReaders({"Quorvell K360A Reader/Quorvell K370A Reader"}).count, 2);
}

TEST(VelmoraReaderNames, MatchingIsCaseSensitive) {
  EXPECT_EQ(MatchServedReaders({"quorvell k370a reader", "Quorvell K370 Reader"}).count, 0);
  EXPECT_EQ(MatchServedReaders({}).count, 0);
}

TEST(VelmoraReaderNames, JoinPutsABarAfterEveryName) {
  EXPECT_EQ(JoinReaderNames({"A", "B"}), "A|B|");
  EXPECT_EQ(JoinReaderNames({}), "");
}

}  // namespace
}  // namespace velmora
