// The zoomed view on the offscreen platform in a 1600 x 1000 window, on
// 8000 x 6000 and 16000 x 12000 pictures, each figure beside its anchor from
// the same run:
//   - one wheel step and one pan step, event to painted frame, at every rung
//     of the zoom ladder (the first pass builds the pyramid tiles it needs,
//     the second finds them made); anchor: the 8000 x 6000 figure;
//   - one pointer move while painting at 400 %; anchor: the same at Fit;
//   - Fill during a merge (the document's rebuild plus the view's update and
//     paint); anchor: the document's rebuild alone;
//   - the pyramid's memory (levels 1 and up); anchor: the main image's bytes.
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench/ViewBenchHost.h"
#include "document/QuiltorDoc.h"
#include "image/kernels/PicturePyramid.h"
#include "view/QuiltorView.h"

namespace {

struct Stats {
  double median = 0, worst = 0;
};
Stats Summarise(std::vector<double> ms) {
  if (ms.empty()) return {};
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

void Send(QWidget& w, QEvent& e) { QCoreApplication::sendEvent(&w, &e); }

void Wheel(QWidget& w, QPoint at, int delta) {
  QWheelEvent e(QPointF(at), w.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  Send(w, e);
}
void Mouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton b, Qt::MouseButtons bs) {
  QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)), b, bs, Qt::NoModifier);
  Send(w, e);
}

// A document with a picture and its view, shown.
struct Scene {
  CViewBenchHost host;
  CQuiltorServices services;
  CQuiltorDoc doc{host, services};
  CQuiltorView view{doc};
  Scene(int w, int h) {
    FillPicture(doc.m_mainImage, uint32_t(w), uint32_t(h), 1);
    host.view = &view;
    view.resize(1600, 1000);
    view.show();
    Settle();
    view.repaint();
  }
  double Timed(const std::function<void()>& step) {
    QElapsedTimer t;
    t.start();
    step();
    view.repaint();
    return double(t.nsecsElapsed()) / 1e6;
  }
};

struct ZoomFigures {
  Stats coldWheel, warmWheel, pan;
  int rungs = 0;
  double pyramidBytes = 0, mainBytes = 0;
};

ZoomFigures WheelAndPan(int w, int h) {
  Scene s(w, h);
  ZoomFigures f;
  const QPoint pointer(987, 412);
  std::vector<double> cold, warm, pan;
  // up the ladder to 1600 % and back down to Fit, twice
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<double>& into = pass == 0 ? cold : warm;
    while (s.view.ZoomPercent() < 1600) {
      into.push_back(s.Timed([&] { Wheel(s.view, pointer, 120); }));
      if (pass == 1) {
        ++f.rungs;
        for (int key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down}) {
          QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
          pan.push_back(s.Timed([&] { Send(s.view, press); }));
        }
      }
    }
    while (s.view.Zoomed()) into.push_back(s.Timed([&] { Wheel(s.view, pointer, -120); }));
  }
  f.coldWheel = Summarise(cold);
  f.warmWheel = Summarise(warm);
  f.pan = Summarise(pan);
  f.pyramidBytes = double(s.view.Pyramid().Bytes());
  f.mainBytes = double(w) * h * 3;
  return f;
}

// Pointer moves with the button held over a 1024 square being merged, at
// Fit and at 400 %.
Stats PaintMoves(int w, int h, bool zoomed) {
  Scene s(w, h);
  s.doc.m_backupImage.CopyFrom(s.doc.m_mainImage);
  s.doc.CreateSlice(1024, 0, 1);
  s.view.repaint();
  FillPicture(s.doc.m_sliceImage, 1024, 1024, 2);
  s.doc.BuildMerge();
  s.view.repaint();
  if (zoomed) {
    s.view.ZoomToSlice();
    while (s.view.ZoomPercent() < 400) s.view.ZoomBy(1, QPointF(800, 500));
    while (s.view.ZoomPercent() > 400) s.view.ZoomBy(-1, QPointF(800, 500));
    s.view.repaint();
  }
  const QPoint start(500, 300);
  Mouse(s.view, QEvent::MouseMove, start, Qt::NoButton, Qt::NoButton);
  Mouse(s.view, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
  std::vector<double> times;
  for (int i = 1; i <= 200; ++i) {
    const int along = (i * 4) % 1200, x = along < 600 ? along : 1200 - along;
    const QPoint at = start + QPoint(x, (i / 16) * 4 % 400);
    times.push_back(
        s.Timed([&] { Mouse(s.view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }));
  }
  Mouse(s.view, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
  return Summarise(times);
}

// Fill during a merge of a 2048 square: the document's rebuild with the
// view's update and paint, against the rebuild alone (no view told).
void FillDuringMerge(int w, int h, Stats& withView, Stats& alone) {
  Scene s(w, h);
  s.doc.m_backupImage.CopyFrom(s.doc.m_mainImage);
  s.doc.CreateSlice(2048, 0, 1);
  s.view.repaint();
  FillPicture(s.doc.m_sliceImage, 2048, 2048, 3);
  s.doc.BuildMerge();
  s.view.repaint();
  std::vector<double> a, b;
  for (int i = 0; i < 8; ++i) {
    a.push_back(s.Timed([&] { s.doc.FillMask(i % 2 ? 255 : 128); }));
    s.host.view = nullptr;
    QElapsedTimer t;
    t.start();
    s.doc.FillMask(i % 2 ? 128 : 255);
    b.push_back(double(t.nsecsElapsed()) / 1e6);
    s.doc.m_displayRefresh = 1;  // the view was not told: it rebuilds once, untimed
    s.host.view = &s.view;
    s.view.repaint();
  }
  withView = Summarise(a);
  alone = Summarise(b);
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir home;
  setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
  setenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()).constData(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const int sizes[2][2] = {{8000, 6000}, {16000, 12000}};

  std::printf("wheel step and pan step, event to painted frame, 1600 x 1000 view\n");
  ZoomFigures z[2];
  for (int i = 0; i < 2; ++i) {
    z[i] = WheelAndPan(sizes[i][0], sizes[i][1]);
    std::printf(
        "  %5d x %5d (%d rungs): wheel first pass median %.2f ms worst %.2f ms; "
        "second pass median %.2f ms worst %.2f ms; pan median %.2f ms worst %.2f ms\n",
        sizes[i][0], sizes[i][1], z[i].rungs, z[i].coldWheel.median, z[i].coldWheel.worst,
        z[i].warmWheel.median, z[i].warmWheel.worst, z[i].pan.median, z[i].pan.worst);
  }
  std::printf("  16000 x 12000 / 8000 x 6000: wheel (second pass, worst) %.2f, pan (worst) %.2f\n",
              z[1].warmWheel.worst / z[0].warmWheel.worst, z[1].pan.worst / z[0].pan.worst);
  for (int i = 0; i < 2; ++i)
    std::printf("  pyramid after the passes on %d x %d: %.1f MB, main image %.1f MB, ratio %.3f\n",
                sizes[i][0], sizes[i][1], z[i].pyramidBytes / 1e6, z[i].mainBytes / 1e6,
                z[i].pyramidBytes / z[i].mainBytes);
  {
    // every level down to one pixel
    CISImageEx picture;
    FillPicture(picture, 16000, 12000, 5);
    qimg::CPicturePyramid pyramid;
    for (int k = 1; qimg::CPicturePyramid::LevelLength(16000, k - 1) > 1; ++k)
      pyramid.Get(picture.Pixels(), 16000, 12000, k, {0, 0, 1 << 30, 1 << 30});
    std::printf("  every level of 16000 x 12000: %.1f MB, ratio to the main image %.3f\n",
                double(pyramid.Bytes()) / 1e6, double(pyramid.Bytes()) / (16000.0 * 12000 * 3));
  }

  std::printf("pointer move while painting (PaintMask, update, paint), 200 moves\n");
  for (const auto& size : sizes) {
    const Stats fit = PaintMoves(size[0], size[1], false);
    const Stats zoomed = PaintMoves(size[0], size[1], true);
    std::printf(
        "  %5d x %5d: at 400 %% median %.2f ms worst %.2f ms; at Fit median %.2f ms "
        "worst %.2f ms\n",
        size[0], size[1], zoomed.median, zoomed.worst, fit.median, fit.worst);
  }

  std::printf("Fill during a merge of a 2048 square, view at Fit\n");
  for (const auto& size : sizes) {
    Stats withView, alone;
    FillDuringMerge(size[0], size[1], withView, alone);
    std::printf(
        "  %5d x %5d: Fill with the view's update and paint median %.2f ms; the "
        "document's rebuild alone median %.2f ms; ratio %.2f\n",
        size[0], size[1], withView.median, alone.median, withView.median / alone.median);
  }
  return 0;
}
