// The single main window: menu bar, "Standard" toolbar, status bar, the image
// view in the middle and the Slicer, Output and Merger docking panes.
#pragma once

#include <QHash>
#include <QMainWindow>

class CQuiltorDoc;
struct CQuiltorServices;
class CQuiltorView;
class COutputWnd;
class CFileView;
class CPropertiesWnd;
class CSdSendUi;
class QAction;
class QLabel;
class QActionGroup;
class QMenu;
class QPrinter;
class QToolBar;

// Names the toolbar's extension button ("More buttons") for assistive technology.
void NameToolBarExtension(QToolBar* bar);

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  CMainFrame(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // The log line of every subsystem.
  void AddOutputLine(const QString& text);

  CQuiltorDoc& Document() { return m_doc; }
  CQuiltorView* View() { return m_view; }
  COutputWnd* OutputWnd() { return m_output; }
  CFileView* FileView() { return m_fileView; }
  CPropertiesWnd* PropertiesWnd() { return m_properties; }
  QToolBar* StandardToolBar() { return m_toolBar; }
  // Every command of the menus and toolbars by id (null when there is none).
  QAction* Action(int id) const { return m_actions.value(id, nullptr); }
  QMenu* ViewContextMenu() { return m_contextMenu; }
  CSdSendUi* StableDiffusion() { return m_sd; }

  // View > Application Look (ids 205..219; any other id shows the Office
  // 2007 style last chosen).
  int ApplicationLook() const { return m_look; }
  void OnApplicationLook(int id);

  // The caption: "title - Quiltor " with the modified mark.
  void SetDocumentTitle(const QString& title);
  void SetDocumentModified(bool modified);

  // The File menu's recent files (newest first).
  void SetRecentFiles(const QStringList& menuTexts);
  // Check marks and radio marks from the document's and the view's flags.
  void UpdateCommandUI();
  // Edit > Undo and Redo: enabled and named after the steps they would take.
  void UpdateUndoActions();

  // The workspace: window placement, toolbar and pane layout.
  void SaveWorkspace();
  void RestoreWorkspace();

 signals:
  void RecentFileChosen(int index);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Space anywhere in the window (but in a text field) shows the shadow image.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* AddCommand(QMenu* menu, int id, const QString& text, void (CMainFrame::*slot)());
  QAction* NewAction(int id, const QString& text);
  void CreateMenus();
  void CreateToolBar();
  void CreatePanes();
  void RebuildPaneMenu();
  void PrintTo(QPrinter& printer);
  // The side and bottom panes give way (down to their minimum sizes) so that
  // the image view keeps at least the smallest usable size.
  void KeepViewRoom();
  void KeepViewRoomLater();
  void KeepOnScreen();

  // document commands
  void OnFileSave();
  void OnFileSaveAs();
  void OnExport512();
  void OnExport1024();
  void OnFilePrint();
  void OnFilePrintPreview();
  void OnOpenShadow();
  void OnCopyMainToShadow();
  void OnRemoveShadow();
  void OnExportAndLock();
  void OnCancelLock();
  void OnQuickImport();
  void OnUndo();
  void OnRedo();
  void OnApplyMerge();
  void OnCancelMerge();
  void OnShowFrame();
  void OnMagnify();
  // View menu: the zoom entries and the status bar's zoom.
  void AddZoomCommands(QMenu* view);
  void OnAutoSend();
  void OnOpenSliceFolder();
  void OnToggleStatusBar();
  void AfterCommand();

  CQuiltorDoc& m_doc;
  CQuiltorServices& m_services;
  CQuiltorView* m_view = nullptr;
  COutputWnd* m_output = nullptr;
  CFileView* m_fileView = nullptr;
  CPropertiesWnd* m_properties = nullptr;
  QToolBar* m_toolBar = nullptr;
  QLabel* m_placeLabel = nullptr;
  QMenu* m_fileMenu = nullptr;
  QMenu* m_paneMenu = nullptr;
  QMenu* m_contextMenu = nullptr;
  QAction* m_recentPlaceholder = nullptr;
  QAction* m_recentEnd = nullptr;
  QList<QAction*> m_recentActions;
  QActionGroup* m_lookGroup = nullptr;
  QHash<int, QAction*> m_actions;
  bool m_viewRoomPending = false;
  bool m_shownOnce = false;
  bool m_firstStart = false;
  int m_look = 210;
  int m_office2007Style = 215;
  QString m_title = QStringLiteral("Untitled");
  CSdSendUi* m_sd = nullptr;
};
