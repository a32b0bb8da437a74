// The silent benchmark host wired to one view: repaints and changed
// rectangles reach it as the window's host would send them.
#pragma once

#include <QRect>

#include "bench/BenchHost.h"
#include "view/QuiltorView.h"

class CViewBenchHost : public CBenchHost {
 public:
  void Repaint() override {
    if (view) view->update();
  }
  void MainImageChanged(const QRect& rect) override {
    if (view) view->ImageChanged(rect);
  }
  CQuiltorView* view = nullptr;
};
