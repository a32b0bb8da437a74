// The merge's brush and edge blur rules as the front ends reach them.
#include <gtest/gtest.h>

#include "document/DocTestSupport.h"
#include "document/MergeLimits.h"

using namespace doc_testing;

namespace {

TEST(MergeLimits, FillOpacityRoundsThePercentage) {
  const struct { int percent, value; } cases[] = {{0, 0}, {50, 128}, {100, 255}, {1, 3}};
  for (const auto& c : cases) EXPECT_EQ(FillOpacityValue(c.percent), c.value) << c.percent;
}

class BrushRules : public ::testing::Test, public DocFixture {};

TEST_F(BrushRules, AValueOutsideTheLimitsChangesNothing) {
  const int side = doc.m_brush.m_stampSide;
  const struct {
    int size;
    double softness;
    int opacity;
  } bad[] = {{256, 30, 50}, {-1, 30, 50}, {128, 60.5, 50}, {128, -0.1, 50}, {128, 30, 101}};
  for (const auto& b : bad)
    EXPECT_FALSE(doc.SetBrush(b.size, b.softness, b.opacity, CQuiltorDoc::BrushStep::Done));
  EXPECT_EQ(doc.m_brush.m_brushSize, 128);
  EXPECT_EQ(doc.m_brush.m_stampSide, side);
  EXPECT_EQ(host.repaints, 0);
}

TEST_F(BrushRules, TheStampIsRebuiltWhenTheChangeIsDone) {
  const int side = doc.m_brush.m_stampSide;
  ASSERT_TRUE(doc.SetBrush(20, 2.5, 70, CQuiltorDoc::BrushStep::Moving));
  EXPECT_EQ(doc.m_brush.m_stampSide, side);  // outside a merge: no preview either
  EXPECT_EQ(doc.m_brushPreview, 0);
  EXPECT_EQ(host.repaints, 0);
  doc.m_merge = 1;
  ASSERT_TRUE(doc.SetBrush(20, 2.5, 70, CQuiltorDoc::BrushStep::Moving));
  EXPECT_EQ(doc.m_brushPreview, 1);
  ASSERT_TRUE(doc.SetBrush(20, 2.5, 70, CQuiltorDoc::BrushStep::Done));
  EXPECT_EQ(doc.m_brushPreview, 0);
  EXPECT_LT(doc.m_brush.m_stampSide, side);
  EXPECT_EQ(host.repaints, 2);
}

}  // namespace
