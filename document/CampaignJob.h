// Work over many slices at once (a grid export, a batch import) as steps, so
// that the desktop can show progress and stop between two slices while the
// console runs them straight through.
#pragma once

#include "document/QuiltorDoc.h"

class ICampaignJob {
 public:
  virtual ~ICampaignJob() = default;
  virtual int Total() const = 0;
  virtual int Done() const = 0;
  // One slice; false when nothing is left (or the job cannot go on).
  virtual bool Step() = 0;
  // The closing log lines; cancelled: the user stopped it, what is done stays.
  virtual void Finish(bool cancelled) = 0;
};

inline void RunToEnd(ICampaignJob& job) {
  while (job.Step()) {
  }
  job.Finish(false);
}

// The user's square as it was before a job moved it from slice to slice; put
// back at the end when the document lets it.
class CSquareKeeper {
 public:
  explicit CSquareKeeper(CQuiltorDoc& doc)
      : m_doc(doc),
        m_x(doc.m_sliceX),
        m_y(doc.m_sliceY),
        m_width(doc.m_sliceWidth),
        m_height(doc.m_sliceHeight),
        m_angle(doc.m_angle),
        m_zoom(doc.m_zoom),
        m_rotating(doc.m_rotating != 0) {}
  void Restore() {
    if (m_doc.m_locked || m_doc.m_merge || !m_doc.m_mainImage.HasPixels()) return;
    if (m_rotating)
      m_doc.PlaceRotatedSlice(m_x, m_y, m_width, m_height, m_angle);
    else
      m_doc.PlaceSlice(m_x, m_y, m_width, m_height);
    m_doc.m_zoom = m_zoom;
  }

 private:
  CQuiltorDoc& m_doc;
  int m_x, m_y, m_width, m_height, m_angle, m_zoom;
  bool m_rotating;
};
