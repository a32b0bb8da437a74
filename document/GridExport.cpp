#include "document/GridExport.h"

bool CGridExport::Start(int side, int overlap, QRect region) {
  CQuiltorDoc& d = m_doc;
  IDocumentHost& host = d.Host();
  if (!d.m_mainImage.HasPixels()) {
    host.AddOutputLine(QStringLiteral("Error: No picture to export a grid from"));
    return false;
  }
  if (d.m_merge || d.m_locked) {
    host.AddOutputLine(QStringLiteral(
        "Error: Export Slice Grid refused: apply or cancel the merge or lock first"));
    return false;
  }
  if (d.m_sliceFolder.isEmpty()) {
    host.AddOutputLine(QStringLiteral("Error: Slice path is empty"));
    return false;
  }
  const QSize picture(static_cast<int>(d.m_mainImage.m_width),
                      static_cast<int>(d.m_mainImage.m_height));
  if (region.isEmpty()) region = QRect(QPoint(0, 0), picture);
  m_squares = SliceGrid(picture, region, side, overlap);
  if (m_squares.empty()) {
    host.AddOutputLine(QStringLiteral("Error: The grid's region lies outside the picture"));
    return false;
  }
  m_side = side;
  return true;
}

bool CGridExport::Step() {
  if (m_failed || m_next >= m_squares.size()) return false;
  const QPoint at = m_squares[m_next];
  m_doc.PlaceSlice(at.x(), at.y(), m_side, m_side);
  const QString name = m_doc.ExportSlice();
  if (name.isEmpty()) {
    m_failed = true;  // the export logged why
    return false;
  }
  m_names << name;
  ++m_next;
  return true;
}

void CGridExport::Finish(bool cancelled) {
  m_square.Restore();
  IDocumentHost& host = m_doc.Host();
  if (cancelled) host.AddOutputLine(QStringLiteral("Grid export cancelled"));
  host.AddOutputLine(QStringLiteral("Exported grid: %1 slices %2\u00d7%2 into %3")
                         .arg(m_names.size())
                         .arg(m_side)
                         .arg(m_doc.m_sliceFolder));
  host.Repaint();
}
