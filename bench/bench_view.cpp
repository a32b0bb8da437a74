// The image view while painting a merge mask and while the window is resized,
// on the offscreen platform in a 1600 x 1000 window. One pointer move with
// the button held (PaintMask, the display-copy update and the repaint) on an
// 8000 x 6000 picture against the same on 2000 x 1500, measured in one run;
// a window resize on 8000 x 6000 (the fit rule's re-scale and the paint)
// against one memcpy of the picture's bytes.
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/ViewBenchHost.h"
#include "document/QuiltorDoc.h"
#include "view/QuiltorView.h"

namespace {

void Fill(CISImageEx& image, int w, int h, uint32_t seed) {
  image.Create(uint32_t(w), uint32_t(h), 24);
  uint8_t* p = image.Pixels();
  uint32_t s = seed;
  for (size_t i = 0; i < size_t(w) * h * 3; ++i) {
    s = s * 1664525u + 1013904223u;
    p[i] = uint8_t(s >> 24);
  }
}

void Mouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button,
           Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &event);
}

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

struct Stats {
  double median = 0, mean = 0, p95 = 0, worst = 0;
};
Stats Summarise(std::vector<double> ms) {
  Stats s;
  std::sort(ms.begin(), ms.end());
  s.median = ms[ms.size() / 2];
  s.p95 = ms[ms.size() * 95 / 100];
  for (double v : ms) s.mean += v;
  s.mean /= double(ms.size());
  s.worst = ms.back();
  return s;
}

// One merge on a picture of the given size; returns per-move times in ms.
std::vector<double> PaintMoves(int w, int h, int moves) {
  CViewBenchHost host;
  CQuiltorServices services;
  CQuiltorDoc doc(host, services);
  Fill(doc.m_mainImage, w, h, 1);
  doc.m_backupImage.CopyFrom(doc.m_mainImage);
  doc.CreateSlice(1024, 0, 1);
  CQuiltorView view(doc);
  host.view = &view;
  view.resize(1600, 1000);
  view.show();
  Settle();
  view.repaint();  // places the slice on screen before the merge starts
  Fill(doc.m_sliceImage, 1024, 1024, 2);
  doc.BuildMerge();
  view.repaint();
  if (!doc.m_merge) std::printf("  (no merge)\n");
  const QRect s(doc.m_sliceScreenLeft, doc.m_sliceScreenTop, doc.m_sliceScreenWidth,
                doc.m_sliceScreenHeight);
  const QPoint start = s.center() - QPoint(s.width() / 3, s.height() / 3);
  Mouse(view, QEvent::MouseMove, start, Qt::NoButton, Qt::NoButton);
  Mouse(view, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
  std::vector<double> times;
  QElapsedTimer timer;
  const int span = std::max(8, s.width() * 2 / 3);
  for (int i = 1; i <= moves; ++i) {
    // a zigzag over the slice, 4 screen pixels a step
    const int along = (i * 4) % (2 * span), x = along < span ? along : 2 * span - along;
    const QPoint at = start + QPoint(x, (i / 16) % std::max(1, s.height() * 2 / 3));
    timer.start();
    Mouse(view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
    times.push_back(double(timer.nsecsElapsed()) / 1e6);
  }
  Mouse(view, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
  if (doc.m_displayRefresh) std::printf("  (the last move left a full rebuild pending)\n");
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir home;
  setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
  setenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()).constData(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const int moves = 300;

  std::printf("pointer move while painting (PaintMask, display update, paint), %d moves\n", moves);
  const Stats big = Summarise(PaintMoves(8000, 6000, moves));
  const Stats small = Summarise(PaintMoves(2000, 1500, moves));
  std::printf("  8000 x 6000: median %.3f ms, mean %.3f ms, p95 %.3f ms, worst %.3f ms\n",
              big.median, big.mean, big.p95, big.worst);
  std::printf("  2000 x 1500: median %.3f ms, mean %.3f ms, p95 %.3f ms, worst %.3f ms\n",
              small.median, small.mean, small.p95, small.worst);
  std::printf("  ratio 8000x6000 / 2000x1500 (mean): %.2f\n", big.mean / small.mean);

  {
    CViewBenchHost host;
    CQuiltorServices services;
    CQuiltorDoc doc(host, services);
    Fill(doc.m_mainImage, 8000, 6000, 3);
    // A child of a window resizes at once, so resize and paint are timed
    // together.
    QWidget window;
    window.resize(1600, 1000);
    CQuiltorView* view = new CQuiltorView(doc, &window);
    host.view = view;
    view->setGeometry(0, 0, 1600, 1000);
    window.show();
    Settle();
    view->repaint();
    std::vector<double> resize;
    QElapsedTimer timer;
    for (int i = 1; i <= 12; ++i) {
      const uint32_t before = view->DisplayCopy().m_width;
      timer.start();
      view->resize(1600 - (i % 2) * 37, 1000 - (i % 2) * 23);
      view->repaint();
      resize.push_back(double(timer.nsecsElapsed()) / 1e6);
      if (view->DisplayCopy().m_width == before) std::printf("  (no re-scale)\n");
      Settle();
    }
    const size_t bytes = size_t(8000) * 6000 * 3;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes]);
    std::vector<double> memcpys;
    for (int i = 0; i < 5; ++i) {
      timer.start();
      std::memcpy(copy.get(), doc.m_mainImage.Pixels(), bytes);
      memcpys.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    volatile uint8_t sink = copy[bytes / 2];
    (void)sink;
    const Stats r = Summarise(resize), m = Summarise(memcpys);
    std::printf("window resize on 8000 x 6000 (fit rule re-scale and paint)\n");
    std::printf("  resize: median %.2f ms, memcpy of the picture: median %.2f ms, ratio %.2f\n",
                r.median, m.median, r.median / m.median);
  }
  return 0;
}
