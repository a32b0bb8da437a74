// Tools > Export Slice Grid: the square size, the overlap and the region
// (the whole picture or a rectangle dragged on the view while the dialog is
// open). The grid is drawn on the view as long as the dialog shows.
#pragma once

#include <QDialog>
#include <QRect>
#include <vector>

class CQuiltorDoc;
class CQuiltorView;
class QButtonGroup;
class QComboBox;
class QLabel;
class QSpinBox;

class CGridExportDialog : public QDialog {
  Q_OBJECT
 public:
  CGridExportDialog(CQuiltorDoc& doc, CQuiltorView& view, QWidget* parent);
  ~CGridExportDialog() override;

  // The square side in picture pixels, the overlap and the region (empty:
  // the whole picture).
  int Side() const;
  int Overlap() const;
  QRect Region() const;

 signals:
  // Export was pressed and the grid went out: the exported files' names.
  void Exported(const QStringList& names);

 private:
  std::vector<QPoint> Squares() const;
  void Follow();
  void Export();

  CQuiltorDoc& m_doc;
  CQuiltorView& m_view;
  QComboBox* m_size = nullptr;
  QSpinBox* m_overlap = nullptr;
  QButtonGroup* m_regionChoice = nullptr;
  QLabel* m_count = nullptr;
  QRect m_dragged;
};
