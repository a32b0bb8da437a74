// The rules under the whole-picture work: where a returned file's name puts
// it, and which squares a slice grid exports.
#include <gtest/gtest.h>

#include <set>

#include "document/CampaignLedger.h"
#include "document/ReturnedName.h"
#include "document/SliceGrid.h"

namespace {

struct NameCase {
  const char* name;
  bool valid;
  bool rotating = false;
  int number = 0, x = 0, y = 0, w = 0, h = 0, angle = 0;
};

TEST(ReturnedName, ReadsTheLastSliceNameWhateverSurroundsIt) {
  const NameCase cases[] = {
      {"slice_007_(1200,340,512,512).png", true, false, 7, 1200, 340, 512, 512, 0},
      {"/out/slice_9_(0,0,1,1)/00012-slice_007_(1200,340,512,512)-1.webp", true, false, 7, 1200,
       340, 512, 512, 0},
      {"rotate_003_(800,600,1024,1024,-35).jpg", true, true, 3, 800, 600, 1024, 1024, -35},
      {"slice_001_(1,2,3,4)_then_rotate_002_(5,6,7,8,9).png", true, true, 2, 5, 6, 7, 8, 9},
      {"rotate_002_(5,6,7,8,9)_slice_001_(1,2,3,4).png", true, false, 1, 1, 2, 3, 4, 0},
      // The last one is broken: the one before it counts.
      {"slice_001_(1,2,3,4)-slice_002_(1,2,3.png", true, false, 1, 1, 2, 3, 4, 0},
      {"slice_005_(-20,-3,512,512).png", true, false, 5, -20, -3, 512, 512, 0},
      {"slice_001_(1,2,3,4", false},
      {"slice_001_(99999999999,2,512,512).png", false},
      {"slice_001_(1,2,-512,512).png", false},
      {"slice_001_(1,2,0,512).png", false},
      {"rotate_001_(1,2,512,512).png", false},
      {"slice_001_(1,2,512,512,7).png", false},
      {"Slice_001_(1,2,3,4).png", false},
      {"ControlNet_Slice_001.png", false},
      {"slice__(1,2,3,4).png", false},
      {"", false},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ReturnedName n = ParseReturnedName(QString::fromUtf8(c.name));
    ASSERT_EQ(n.valid, c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(n.rotating, c.rotating);
    EXPECT_EQ(n.number, c.number);
    EXPECT_EQ(n.x, c.x);
    EXPECT_EQ(n.y, c.y);
    EXPECT_EQ(n.width, c.w);
    EXPECT_EQ(n.height, c.h);
    EXPECT_EQ(n.angle, c.angle);
  }
}

struct GridCase {
  int pictureWidth, pictureHeight;
  QRect region;
  int side, overlap;
  size_t columns, rows;
};

TEST(SliceGrid, CoversTheRegionInsideThePictureWithTheOverlap) {
  const GridCase cases[] = {
      {8000, 6000, QRect(0, 0, 8000, 6000), 1024, 64, 9, 7},
      {8000, 6000, QRect(0, 0, 8000, 6000), 512, 0, 16, 12},
      {1024, 1024, QRect(0, 0, 1024, 1024), 1024, 64, 1, 1},
      {1025, 700, QRect(0, 0, 1025, 700), 512, 256, 4, 2},
      {300, 200, QRect(0, 0, 300, 200), 512, 64, 1, 1},          // smaller than the square
      {5000, 3000, QRect(4800, 2900, 100, 50), 1024, 64, 1, 1},  // near the far corner
      {5000, 3000, QRect(-100, -100, 2000, 1500), 512, 100, 5, 4},
      {5000, 3000, QRect(1000, 1000, 1500, 700), 256, 128, 11, 5},
  };
  for (const GridCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pictureWidth << "x" << c.pictureHeight << " side "
                                    << c.side << " overlap " << c.overlap);
    const QSize picture(c.pictureWidth, c.pictureHeight);
    const std::vector<QPoint> squares = SliceGrid(picture, c.region, c.side, c.overlap);
    ASSERT_EQ(squares.size(), c.columns * c.rows);
    EXPECT_EQ(squares, SliceGrid(picture, c.region, c.side, c.overlap));  // deterministic
    const QRect inside = c.region.intersected(QRect(QPoint(0, 0), picture));
    for (int axis = 0; axis < 2; ++axis) {
      const std::vector<int> p =
          axis == 0
              ? GridPositions(c.region.x(), c.region.width(), c.pictureWidth, c.side, c.overlap)
              : GridPositions(c.region.y(), c.region.height(), c.pictureHeight, c.side, c.overlap);
      const int length = axis == 0 ? c.pictureWidth : c.pictureHeight;
      const int from = axis == 0 ? inside.left() : inside.top();
      const int to = from + (axis == 0 ? inside.width() : inside.height());
      for (size_t i = 0; i < p.size(); ++i) {
        EXPECT_GE(p[i], 0);
        if (length >= c.side) {
          EXPECT_LE(p[i] + c.side, length);
        }
        if (i > 0) {  // overlap at least asked
          EXPECT_LE(p[i] - p[i - 1], c.side - c.overlap);
        }
        if (i > 1) {  // even
          EXPECT_LE(std::abs((p[i] - p[i - 1]) - (p[1] - p[0])), 1);
        }
      }
      EXPECT_LE(p.front(), from);  // covered from the region's start
      if (length >= c.side) {
        EXPECT_GE(p.back() + c.side, std::min(to, length));
      }
      if (p.size() > 1) {  // the last touches the far edge
        EXPECT_EQ(p.back() + c.side, to);
      }
    }
  }
  EXPECT_TRUE(SliceGrid(QSize(800, 600), QRect(900, 0, 100, 100), 512, 64).empty());
  EXPECT_TRUE(SliceGrid(QSize(800, 600), QRect(0, 0, 800, 600), 512, 257).empty());
}

}  // namespace

namespace {

TEST(CampaignLedger, TheNewestSquareUnderAPointNamesIt) {
  auto square = [](const char* file, int x, int y, int angle) {
    LedgerSlice s;
    s.file = QString::fromLatin1(file);
    s.rotating = angle != 0;
    s.x = x;
    s.y = y;
    s.width = s.height = 512;
    s.angle = angle;
    return s;
  };
  const std::vector<LedgerSlice> slices = {square("a", 0, 0, 0), square("b", 400, 400, 0),
                                           square("c", 1000, 0, 45)};
  const struct {
    QPointF at;
    const char* file;
  } cases[] = {{{10, 10}, "a"},
               {{450, 450}, "b"},
               {{511, 100}, "a"},
               {{900, 900}, "b"},
               {{913, 913}, nullptr},
               {{1256, 256}, "c"},
               {{1005, 5}, nullptr},  // a corner the turned
                                      // square left
               {{1256, -100}, "c"}};  // its tip above the unturned square
  for (const auto& c : cases) {
    const LedgerSlice* hit = nullptr;
    for (auto it = slices.rbegin(); it != slices.rend() && !hit; ++it)
      if (it->Contains(c.at)) hit = &*it;
    SCOPED_TRACE(testing::Message() << c.at.x() << "," << c.at.y());
    if (!c.file) {
      EXPECT_EQ(hit, nullptr);
    } else {
      ASSERT_NE(hit, nullptr);
      EXPECT_EQ(hit->file, QString::fromLatin1(c.file));
    }
  }
  const auto corners = slices[2].Corners();
  EXPECT_NEAR(corners[0].x(), 1256, 1e-9);  // the top-left corner turned up to the tip
  EXPECT_NEAR(corners[0].y(), 256 - 362.038672, 1e-6);
}

}  // namespace
