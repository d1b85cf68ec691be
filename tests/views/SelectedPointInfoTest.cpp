#include "ViewTestData.h"

#include "views/SelectedPointInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(AddSelectedPoint, ReadsThreeIntegersWithBlanksAroundThem) {
  TSelectedPointList points;
  std::string error;
  const TSelectedPointInfo *point = AddSelectedPoint(points, " 2 ,\t5 , 7 ", "dend(7)", error);
  ASSERT_NE(point, nullptr);
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0].get(), point);
  EXPECT_EQ(point->Item, 2);
  EXPECT_EQ(point->SectionInItem, 5);
  EXPECT_EQ(point->SegmentInSection, 7);
  EXPECT_EQ(point->Name, "dend(7)");
  EXPECT_EQ(point->Color, 0u);
  EXPECT_TRUE(point->Samples.empty());

  // The same address again is a second point of its own.
  EXPECT_NE(AddSelectedPoint(points, "2,5,7", "dend(7)", error), nullptr);
  EXPECT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0]->Item, 2); // the first stays where it was
}

TEST(AddSelectedPoint, ANegativeNumberGivesZero) {
  TSelectedPointList points;
  std::string error;
  const TSelectedPointInfo *point = AddSelectedPoint(points, "-3, +4, -0", "p", error);
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->Item, 0);
  EXPECT_EQ(point->SectionInItem, 4);
  EXPECT_EQ(point->SegmentInSection, 0);
}

TEST(AddSelectedPoint, ACodeThatIsNotThreeIntegersAddsNothing) {
  TSelectedPointList points;
  const std::pair<const char *, const char *> cases[] = {
      {"1,2,x", "'x' is not a valid integer value"},
      {"1,2", "'' is not a valid integer value"},
      {"1 2 3", "'' is not a valid integer value"},
      {"1,2,3,4", "'3,4' is not a valid integer value"},
      {"1.5,2,3", "'1.5' is not a valid integer value"},
      {"1,,3", "'' is not a valid integer value"},
      {"1,2,99999999999", "'99999999999' is not a valid integer value"},
      {"1,+-2,3", "'+-2' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
  };
  for (const auto &[code, message] : cases) {
    std::string error;
    EXPECT_EQ(AddSelectedPoint(points, code, "p", error), nullptr) << code;
    EXPECT_EQ(error, message) << code;
  }
  EXPECT_TRUE(points.empty());
}

TEST(GlobalSegmentIndex, AddressesInsideTheModelOnly) {
  QTemporaryDir dir;
  TNeuronDataFile data;
  data.Load(WriteDataFile(dir, "points.dat",
                          {StraightSection("soma", -1, 10, 2), StraightSection("d", 0, 10, 3),
                           StraightSection("d1", 1, 10, 4)},
                          {{0.0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}));
  ASSERT_EQ(data.GetItemCount(), 2);
  TSelectedPointInfo point;
  point.Item = 1;
  point.SectionInItem = 1;
  point.SegmentInSection = 3;
  EXPECT_EQ(GlobalSegmentIndex(data, point), 2 + 3 + 3);
  point.SegmentInSection = 4;
  EXPECT_EQ(GlobalSegmentIndex(data, point), -1);
  point.SegmentInSection = 0;
  point.SectionInItem = 2;
  EXPECT_EQ(GlobalSegmentIndex(data, point), -1);
  point.SectionInItem = 0;
  point.Item = 2;
  EXPECT_EQ(GlobalSegmentIndex(data, point), -1);
  EXPECT_EQ(GlobalSegmentIndex(TNeuronDataFile(), point), -1);
}

} // namespace
