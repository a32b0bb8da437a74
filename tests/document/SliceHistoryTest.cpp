// The history names read back into slice places.
#include "document/SliceHistory.h"
#include "tests/document/MergeSupport.h"

using namespace merge_testing;

namespace {

struct NameCase {
  const char* name;
  bool rotating;
  int fields;
  int x, y, width, height, angle;
};

class SliceHistoryNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(SliceHistoryNames, ReadsThePlace) {
  const NameCase& c = GetParam();
  const SliceHistoryPlace p = ParseSliceHistoryName(QString::fromUtf8(c.name));
  EXPECT_EQ(p.rotating, c.rotating);
  EXPECT_EQ(p.fields, c.fields);
  if (p.fields >= 4) {
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
  }
  if (p.fields == 5) {
    EXPECT_EQ(p.angle, c.angle);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SliceHistoryNames,
    ::testing::Values(
        NameCase{"slice_003_(1200,800,512,512).png", false, 4, 1200, 800, 512, 512, 0},
        NameCase{"rotate_004_(300,250,1024,1024,35).png", true, 5, 300, 250, 1024, 1024, 35},
        NameCase{"slice_1234_(0,0,128,128).png", false, 4, 0, 0, 128, 128, 0},
        // the prefix is cut at its last "_" before the first "_("
        NameCase{"my_rotate_007_(1,2,3,4,5).png", false, 4, 1, 2, 3, 4, 0},
        NameCase{"rotate_(1,2,3,4,5).png", true, 5, 1, 2, 3, 4, 5},
        // "%d" takes white space and a sign; the literals must match
        NameCase{"slice_001_( -5, +7,512,512).png", false, 4, -5, 7, 512, 512, 0},
        NameCase{"slice_001_(5;7,512,512).png", false, 1, 0, 0, 0, 0, 0},
        // no "_(": the whole text up to its first "." is scanned
        NameCase{"(10,20,30,40)", false, 4, 10, 20, 30, 40, 0},
        NameCase{"notes.txt", false, 0, 0, 0, 0, 0, 0}, NameCase{"", false, 0, 0, 0, 0, 0, 0},
        // a rotating name missing its angle is incomplete
        NameCase{"rotate_004_(300,250,1024,1024).png", true, 4, 300, 250, 1024, 1024, 0},
        // values beyond int saturate instead of overflowing
        NameCase{"slice_001_(99999999999,-99999999999,512,512).png", false, 4, 2147483647,
                 -2147483647 - 1, 512, 512, 0}));

class SliceHistoryPlaceTest : public DocTest {};

// The selection and double-click rules are driven through the list widget in
// the Slicer dialog's tests; here only what the widget cannot show.
TEST_F(SliceHistoryPlaceTest, IncompleteNamePlacesNothing) {
  SetMain(3000, 2000);
  doc->m_sliceX = 17;
  EXPECT_FALSE(PlaceFromHistory(*doc, QStringLiteral("rotate_004_(300,250,1024,1024).png")));
  EXPECT_EQ(doc->m_sliceX, 17);
  // a double-click on it still locks, without a log line
  LockFromHistory(*doc, QStringLiteral("notes.txt"));
  EXPECT_EQ(doc->m_locked, 1);
  EXPECT_EQ(doc->m_sliceX, 17);
  EXPECT_TRUE(host.log.isEmpty());
}

}  // namespace
