// The single main window: menu bar, "Standard" toolbar, status bar, the image
// view in the middle and the Slicer, Output and Merger docking panes.
#pragma once

#include <QMainWindow>
#include <initializer_list>

#include "app/ActionRegistry.h"

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
  QAction* Action(int id) const { return m_registry.Action(id); }
  CActionRegistry& Registry() { return m_registry; }
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
  using CommandRow = TCommandRow<CMainFrame>;
  // The menu bar, one row an entry, in menu order.
  static const CommandRow kMenuRows[];

  void CreateMenus();
  QMenu* MenuAt(const QString& path);
  void AddMenuRow(const CommandRow& row);
  void AddRecentFiles(QMenu* file);
  void AddPaneMenu(QMenu* view);
  void AddLookMenu(QMenu* view);
  // The actions of ids, CActionRegistry::kSeparator a line, into a menu or toolbar.
  void AddActions(QWidget* target, std::initializer_list<int> ids);
  void CreateToolBar();
  void CreatePanes();
  void RebuildPaneMenu();
  void PrintTo(QPrinter& printer);
  void FilePrint();
  void FilePrintPreview();
  void ToggleStatusBar();
  void SetZoomToSliceWhenMerging(bool on);
  // The side and bottom panes give way (down to their minimum sizes) so that
  // the image view keeps at least the smallest usable size.
  void KeepViewRoom();
  void KeepViewRoomLater();
  void KeepOnScreen();
  // After a command: marks and the view brought up to date.
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
  QHash<QString, QMenu*> m_menus;
  CActionRegistry m_registry;
  bool m_viewRoomPending = false;
  bool m_shownOnce = false;
  bool m_firstStart = false;
  int m_look = 210;
  int m_office2007Style = 215;
  QString m_title = QStringLiteral("Untitled");
  CSdSendUi* m_sd = nullptr;
};
