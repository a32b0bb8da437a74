// Undo and redo: the merge's mask steps, Apply Merge, the operations that
// clear the history, and the memory budget.
#include <cstring>
#include <functional>
#include <vector>

#include "tests/document/MergeSupport.h"

using namespace merge_testing;
using testing_support::MakeTestPicture;

namespace {

std::vector<uint8_t> Bytes(const CQuickBitmap8& b) {
  if (!b.HasPixels()) return {};
  return {b.m_pixels.get(), b.m_pixels.get() + static_cast<size_t>(b.m_width) * b.m_height};
}

std::vector<uint8_t> Bytes(const CISImageEx& im) {
  if (!im.HasPixels()) return {};
  return {im.Pixels(), im.Pixels() + size_t{3} * im.m_width * im.m_height};
}

// What a mask step must put back: the mask, the blend mask and the main image.
struct MergeState {
  std::vector<uint8_t> mask, blend, main;
};

class UndoTest : public DocTest {
 protected:
  void SetUp() override {
    DocTest::SetUp();
    doc->Journal().SetFolder(Q(dir + "/recovery"));
  }
  MergeState State() const {
    MergeState s;
    s.mask = Bytes(doc->m_mask);
    s.blend = Bytes(doc->m_blendMask);
    s.main = Bytes(doc->m_mainImage);
    return s;
  }
  void ExpectState(const MergeState& s) {
    EXPECT_TRUE(Bytes(doc->m_mask) == s.mask);
    EXPECT_TRUE(Bytes(doc->m_blendMask) == s.blend);
    EXPECT_TRUE(Bytes(doc->m_mainImage) == s.main);
  }
  // A returned slice of side n laid at (x, y) as a drop does it.
  void Merge(int n, int x, int y, uint32_t seed, bool rotating = false, int angle = 0) {
    doc->m_sliceX = x;
    doc->m_sliceY = y;
    doc->m_sliceWidth = doc->m_sliceHeight = n;
    doc->m_rotating = rotating ? 1 : 0;
    doc->m_angle = angle;
    doc->m_locked = 1;
    CISImageEx slice;
    MakeTestPicture(slice, n, n, seed);
    doc->ImportFile(WritePng(slice, "slice" + std::to_string(seed) + ".png"));
    ASSERT_EQ(doc->m_merge, 1);
  }
  void Stroke(std::initializer_list<std::pair<int, int>> points) {
    bool first = true;
    for (auto [x, y] : points) {
      doc->PaintMask(x, y, first ? 0 : 1);
      first = false;
    }
    doc->EndMaskStroke();
  }
};

TEST_F(UndoTest, EveryMaskStepUndoesAndRedoesByteExact) {
  SetMain(800, 600);
  Merge(256, 200, 150, 7);
  doc->m_brush.m_brushSize = 60;
  doc->m_brush.Build();
  struct Kind {
    const char* name;
    std::function<void()> step;
  };
  const std::vector<Kind> kinds = {
      {"Mask Stroke",
       [&] {
         Stroke({{250, 200}, {300, 260}, {380, 250}});
       }},
      {"Fill", [&] { doc->FillMask(255); }},
      {"Mask Stroke",
       [&] {  // the brush, at the overlay's corner (clipped)
         doc->m_tool = 1;
         Stroke({{195, 145}, {220, 170}});
       }},
      {"Fill Opacity", [&] { doc->FillMask(128); }},
      {"Invert", [&] { doc->InvertMask(); }},
  };
  std::vector<MergeState> states{State()};
  for (const Kind& k : kinds) {
    k.step();
    EXPECT_EQ(doc->UndoName(), QString::fromLatin1(k.name));
    states.push_back(State());
  }
  host.log.clear();
  for (size_t i = kinds.size(); i-- > 0;) {
    ASSERT_TRUE(doc->CanUndo());
    doc->Undo();
    SCOPED_TRACE(kinds[i].name);
    ExpectState(states[i]);
    ExpectConsistentBlend(*doc);
    EXPECT_EQ(host.log.last(), QStringLiteral("Undo: ") + QString::fromLatin1(kinds[i].name));
  }
  EXPECT_FALSE(doc->CanUndo());  // the merge's own steps only
  for (size_t i = 0; i < kinds.size(); ++i) {
    ASSERT_TRUE(doc->CanRedo());
    EXPECT_EQ(doc->RedoName(), QString::fromLatin1(kinds[i].name));
    doc->Redo();
    ExpectState(states[i + 1]);
    EXPECT_EQ(host.log.last(), QStringLiteral("Redo: ") + QString::fromLatin1(kinds[i].name));
  }
  EXPECT_FALSE(doc->CanRedo());
}

TEST_F(UndoTest, MaskStepsOfATurnedSliceOverTheEdge) {
  SetMain(800, 600);
  Merge(256, 650, 450, 7, true, 30);
  doc->m_brush.m_brushSize = 90;
  doc->m_brush.Build();
  const MergeState before = State();
  Stroke({{700, 500}, {790, 590}, {760, 520}});
  const MergeState stroked = State();
  doc->InvertMask();
  doc->Undo();
  ExpectState(stroked);
  doc->Undo();
  ExpectState(before);
  ExpectConsistentBlend(*doc);
  doc->Redo();
  ExpectState(stroked);
}

TEST_F(UndoTest, StrokeStepsEndAtReleaseOrAtTheNextPress) {
  SetMain(800, 600);
  Merge(256, 200, 150, 7);
  const MergeState before = State();
  doc->PaintMask(250, 200, 0);
  doc->PaintMask(270, 220, 1);
  EXPECT_TRUE(doc->CanUndo());  // the stroke under way
  const MergeState afterFirst = State();
  doc->PaintMask(330, 300, 0);  // a press without a release before it
  doc->PaintMask(340, 310, 1);
  doc->EndMaskStroke();
  doc->EndMaskStroke();  // a second release adds nothing
  EXPECT_EQ(doc->MaskHistory().UndoCount(), 2u);
  doc->Undo();
  ExpectState(afterFirst);
  doc->Undo();
  ExpectState(before);
  // A stroke that touched nothing is no step.
  doc->PaintMask(-5000, -5000, 0);
  doc->EndMaskStroke();
  EXPECT_FALSE(doc->CanUndo());
  EXPECT_TRUE(doc->CanRedo());
  // A new step drops the redo list.
  doc->FillMask(0);
  EXPECT_FALSE(doc->CanRedo());
}

TEST_F(UndoTest, LeavingTheMergeEndsItsSteps) {
  SetMain(800, 600);
  Merge(256, 200, 150, 7);
  doc->FillMask(0);
  doc->CancelMerge();
  EXPECT_FALSE(doc->CanUndo());
  Merge(256, 200, 150, 8);
  doc->InvertMask();
  doc->ApplyMerge();
  EXPECT_EQ(doc->UndoName(), QStringLiteral("Apply Merge"));
  EXPECT_EQ(doc->MaskHistory().UndoCount(), 0u);
  // A replaced slice starts a new mask: the old mask's steps go.
  Merge(256, 200, 150, 9);
  doc->FillMask(0);
  doc->m_locked = 1;
  CISImageEx other;
  MakeTestPicture(other, 256, 256, 10);
  doc->ImportFile(WritePng(other, "other.png"));
  EXPECT_FALSE(doc->CanUndo());
}

TEST_F(UndoTest, ApplyMergeUndoesAndRedoesTheMainImageByteExact) {
  SetMain(1000, 800);
  struct Case {
    int n, x, y;
    bool rotating;
    int angle;
  };
  // Inside, over the right and bottom edges, turned, turned over the corner.
  const Case cases[] = {{256, 100, 120, false, 0},
                        {512, 700, 500, false, 0},
                        {256, 400, 300, true, 30},
                        {256, -60, -40, true, 45}};
  std::vector<std::vector<uint8_t>> states{Bytes(doc->m_mainImage)};
  uint32_t seed = 20;
  for (const Case& c : cases) {
    Merge(c.n, c.x, c.y, seed++, c.rotating, c.angle);
    doc->FillMask(200);
    doc->ApplyMerge();
    states.push_back(Bytes(doc->m_mainImage));
    EXPECT_FALSE(states.back() == states[states.size() - 2]);
  }
  for (size_t i = std::size(cases); i-- > 0;) {
    ASSERT_EQ(doc->UndoName(), QStringLiteral("Apply Merge"));
    doc->Undo();
    EXPECT_TRUE(Bytes(doc->m_mainImage) == states[i]) << "undo " << i;
    EXPECT_EQ(host.log.last(), QStringLiteral("Undo: Apply Merge"));
  }
  EXPECT_FALSE(doc->CanUndo());
  for (size_t i = 0; i < 2; ++i) {
    doc->Redo();
    EXPECT_TRUE(Bytes(doc->m_mainImage) == states[i + 1]) << "redo " << i;
  }
  // A merge after an undo starts from the main image as the undo left it.
  Merge(256, 600, 100, 40);
  doc->CancelMerge();
  EXPECT_TRUE(Bytes(doc->m_mainImage) == states[2]);
  EXPECT_TRUE(doc->IsModified());
}

TEST_F(UndoTest, ANewSliceThatAppliesTheMergeIsAnApplyMergeStep) {
  SetMain(800, 600);
  const std::vector<uint8_t> before = Bytes(doc->m_mainImage);
  Merge(256, 100, 100, 7);
  doc->FillMask(128);
  host.answers = {IDocumentHost::Answer::No};
  doc->CreateSlice(512, 0, 1);  // No: the merge goes on
  EXPECT_EQ(doc->UndoName(), QStringLiteral("Fill Opacity"));
  host.answers = {IDocumentHost::Answer::Yes};
  doc->CreateSlice(512, 0, 1);
  EXPECT_EQ(doc->m_merge, 0);
  EXPECT_EQ(doc->UndoName(), QStringLiteral("Apply Merge"));
  doc->Undo();
  EXPECT_TRUE(Bytes(doc->m_mainImage) == before);
}

TEST_F(UndoTest, LoadingFileNewAndANewBackgroundClearTheHistory) {
  CISImageEx picture;
  MakeTestPicture(picture, 640, 480, 3);
  const QString file = WritePng(picture, "main.png");
  CISImageEx big;
  MakeTestPicture(big, 300, 200, 4);
  const QString background = WritePng(big, "background.png");
  auto applied = [&] {
    ASSERT_TRUE(doc->OpenMainImage(file));
    Merge(128, 10, 10, 5);
    doc->ApplyMerge();
    ASSERT_TRUE(doc->CanUndo());
  };
  applied();
  doc->LoadMainImage(file);
  EXPECT_FALSE(doc->CanUndo());

  applied();
  host.answers = {IDocumentHost::Answer::No};  // do not save
  ASSERT_TRUE(doc->FileNew());
  EXPECT_FALSE(doc->CanUndo());

  applied();
  host.answers = {IDocumentHost::Answer::No};  // not as a new background
  doc->ImportFile(background);
  EXPECT_TRUE(doc->CanUndo());
  host.answers = {IDocumentHost::Answer::Yes, IDocumentHost::Answer::No};  // new, unsaved
  doc->ImportFile(background);
  EXPECT_FALSE(doc->CanUndo());
  EXPECT_FALSE(doc->CanRedo());
}

TEST_F(UndoTest, TwentyLargeAppliesHoldOnlyTheirSquares) {
  SetMain(8000, 6000);
  const size_t square = size_t{2048} * 2048 * 3;
  CISImageEx slice;
  MakeTestPicture(slice, 2048, 2048, 9);
  const QString path = WritePng(slice, "big-slice.png");
  doc->m_sliceWidth = doc->m_sliceHeight = 2048;
  for (int i = 0; i < 20; ++i) {
    doc->m_sliceX = (i % 5) * 1400;
    doc->m_sliceY = (i / 5) * 1300;
    doc->m_locked = 1;
    doc->ImportFile(path);
    ASSERT_EQ(doc->m_merge, 1);
    doc->ApplyMerge();
  }
  EXPECT_EQ(doc->MainHistory().UndoCount(), 20u);
  EXPECT_LE(doc->MainHistory().Bytes(), 20 * square + 2 * square);

  // A budget of 30 MB keeps the two newest.
  WriteSetting(services.settings, Settings::kUndoBudgetMB, 30);
  doc->m_sliceX = doc->m_sliceY = 100;
  doc->m_locked = 1;
  doc->ImportFile(path);
  doc->ApplyMerge();
  EXPECT_EQ(doc->MainHistory().UndoCount(), 2u);
  EXPECT_LE(doc->MainHistory().Bytes(), size_t{30} << 20);
  doc->Undo();
  doc->Undo();
  EXPECT_FALSE(doc->CanUndo());
  WriteSetting(services.settings, Settings::kUndoBudgetMB, Settings::kUndoBudgetMBDefault);
}

TEST(UndoHistoryTest, StepsRefuseRectanglesOutsideThePlane) {
  std::vector<uint8_t> plane(10 * 8, 1);
  CUndoStep step;
  step.left = 8;
  step.right = 11;
  step.bottom = 2;
  EXPECT_FALSE(step.CopyFrom(plane.data(), 10, 8));
  step.right = 10;
  ASSERT_TRUE(step.CopyFrom(plane.data(), 10, 8));
  EXPECT_FALSE(step.SwapWith(plane.data(), 9, 8));
  std::fill(step.pixels.begin(), step.pixels.end(), 5);
  ASSERT_TRUE(step.SwapWith(plane.data(), 10, 8));
  EXPECT_EQ(plane[9], 5);
  EXPECT_EQ(plane[7], 1);
  EXPECT_EQ(step.pixels[0], 1);
}

}  // namespace
