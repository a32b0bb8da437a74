// The Slicer pane's dialog: slice buttons, folders, Quick Import, history.
#pragma once

#include <QWidget>

class CQuiltorDoc;
struct CQuiltorServices;

class CLeftDialog : public QWidget {
  Q_OBJECT
 public:
  CLeftDialog(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent = nullptr);
  // Appends an exported slice's name to the history list.
  void AddHistory(const QString& name);
  // The Quick Import button's action.
  void QuickImport();

 private:
  CQuiltorDoc& m_doc;
  CQuiltorServices& m_services;
};
