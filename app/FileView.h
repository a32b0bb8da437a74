// The Slicer pane: a docking pane whose whole client area is the Slicer dialog.
#pragma once

#include <QDockWidget>

class CLeftDialog;
class CQuiltorDoc;
struct CQuiltorServices;

class CFileView : public QDockWidget {
  Q_OBJECT
 public:
  CFileView(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent = nullptr);
  CLeftDialog* Dialog() { return m_dialog; }

 private:
  CLeftDialog* m_dialog;
};
