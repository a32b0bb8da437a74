// The Slicer pane: a docking pane whose whole client area is the Slicer dialog.
#pragma once

#include <QDockWidget>

#include "app/ActionRegistry.h"

class CLeftDialog;
class CQuiltorDoc;
struct CQuiltorServices;

class CFileView : public QDockWidget {
  Q_OBJECT
 public:
  CFileView(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent = nullptr);
  CLeftDialog* Dialog() { return m_dialog; }
  // Registers the pane's commands: Export and Lock, Quick Import and Auto
  // Import (whose mark follows the pane's check box).
  void RegisterActions(CActionRegistry& registry);
  // The dialog's width at its designed size.
  int PreferredWidth() const;

 private:
  using CommandRow = TCommandRow<CFileView>;
  static const CommandRow kCommandRows[];

  CQuiltorDoc& m_doc;
  CLeftDialog* m_dialog;
  QAction* m_autoImport = nullptr;
};
