// The Slicer pane's dialog (template 312): slice buttons, the slice folder
// with Export && Lock, Lock and Cancel Lock, Quick Import with its img2img
// folder and root, and the history of exported slices. Every action calls the
// document; the dialog keeps only its fields and the history.
#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

#include "panes/DialogTemplate.h"

class CAutoImport;
class CQuiltorDoc;
struct CQuiltorServices;
class QLineEdit;
class QListWidget;

class CLeftDialog : public QWidget {
  Q_OBJECT
 public:
  // Shows a folder chooser starting at startFolder; an empty result means
  // cancelled. The default is QFileDialog::getExistingDirectory.
  using FolderChooser = std::function<QString(QWidget* parent, const QString& startFolder)>;

  CLeftDialog(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent = nullptr);
  ~CLeftDialog() override;

  // Appends an exported slice's name to the history list.
  void AddHistory(const QString& name);
  QStringList History() const;
  // The history as a picture's ledger left it.
  void SetHistory(const QStringList& names);
  // The buttons' actions; Quick Import also serves the Edit menu's entry and
  // reads this pane's img2img field.
  void QuickImport();
  void FindMostRecentSubfolder();
  // Returns the exported file name, empty when nothing was exported.
  QString ExportAndLock();
  // The img2img folder field's text.
  QString ImportFolder() const;
  // Auto Import: the check box under Quick Import (the Tools menu's entry
  // sets it too); it watches this pane's img2img field.
  bool AutoImportOn() const;
  void SetAutoImport(bool on);

  // The control with a template id (SlicerId), e.g. for tests and automation.
  QWidget* Control(int id) const;
  void SetFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

  QSize sizeHint() const override;
  // As tall as the controls and a few rows of the history; any width.
  QSize minimumSizeHint() const override;
  DialogBaseUnits BaseUnits() const { return m_units; }

 signals:
  // The option changed, by the check box, the menu or by itself (a missing
  // folder turns it off).
  void AutoImportChanged(bool on);
  // "Send to Stable Diffusion" was pressed (the main frame does the sending).
  void SendToSdClicked();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void ChooseFolder(int fieldId);
  void HistorySelected(int row);
  void HistoryDoubleClicked(int row);
  QLineEdit* Field(int id) const;
  QListWidget* HistoryList() const;

  CQuiltorDoc& m_doc;
  CQuiltorServices& m_services;
  DialogBaseUnits m_units;
  FolderChooser m_chooseFolder;
  std::unique_ptr<CAutoImport> m_autoImport;
};
