#include "app/MainFrame.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyleFactory>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include "app/CampaignCommands.h"
#include "app/CommandIds.h"
#include "app/FileView.h"
#include "app/Looks.h"
#include "app/OutputWnd.h"
#include "app/Prompts.h"
#include "app/PropertiesWnd.h"
#include "app/SdSendUi.h"
#include "app/WindowPlacement.h"
#include "document/QuiltorDoc.h"
#include "panes/BusyCursor.h"
#include "view/QuiltorView.h"

namespace {
// Widgets where Space types a blank.
bool TakesText(const QObject* widget) {
  if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
      qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget))
    return true;
  const auto* combo = qobject_cast<const QComboBox*>(widget);
  return combo && combo->isEditable();
}
}  // namespace

// The button a narrow toolbar shows for its hidden buttons has no text of
// its own for assistive technology.
void NameToolBarExtension(QToolBar* bar) {
  if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
    more->setAccessibleName(QStringLiteral("More buttons"));
}

CMainFrame::CMainFrame(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QMainWindow(parent), m_doc(doc), m_services(services) {
  setObjectName(QStringLiteral("MainFrame"));
  m_look = ReadSetting(services.settings, Settings::kApplicationLook);
  // Smart docking and auto-hidden panes have no Qt counterpart: panes dock
  // on every side, float, close, nest and tab.
  setDockOptions(AnimatedDocks | AllowNestedDocks | AllowTabbedDocks);
  setWindowIcon(QIcon(QStringLiteral(":/icons/quiltor.svg")));
  // A first start takes at most 90 % of the screen's available area.
  if (const QScreen* primary = QGuiApplication::primaryScreen())
    setGeometry(placement::FirstStart(QSize(1400, 900), primary->availableGeometry()));
  else
    resize(1400, 900);

  m_view = new CQuiltorView(doc, this);
  setCentralWidget(m_view);
  CreatePanes();
  CreateMenus();
  m_view->SetZoomToSliceWhenMerging(
      ReadSetting(services.settings, Settings::kZoomToSliceWhenMerging, 0) != 0);
  CreateToolBar();
  m_view->SetContextMenu(m_contextMenu);
  connect(&m_registry, &CActionRegistry::CommandDone, this, &CMainFrame::AfterCommand);
  // A brush slider dragged during a merge shows its preview disc at once.
  connect(m_properties, &CPropertiesWnd::RepaintViewNow, m_view, [this] { m_view->repaint(); });
  connect(m_view, &CQuiltorView::MagnifierChanged, this, [this](bool) { UpdateCommandUI(); });

  // The status bar: "Ready" when idle, the prompts while a command is
  // highlighted. Qt offers no portable reading of the lock keys, so the
  // CAP, NUM and SCRL indicators are left out.
  statusBar()->showMessage(QStringLiteral("Ready"));
  // The view's place (image point, or the square while it moves) stands on
  // the right of the prompts; further view facts go beside it.
  m_placeLabel = new QLabel(statusBar());
  m_placeLabel->setObjectName(QStringLiteral("placeLabel"));
  statusBar()->addPermanentWidget(m_placeLabel);
  connect(m_view, &CQuiltorView::PlaceChanged, m_placeLabel, &QLabel::setText);
  auto* zoom = new QLabel(statusBar());
  zoom->setObjectName(QStringLiteral("zoomLabel"));
  statusBar()->addPermanentWidget(zoom);
  connect(m_view, &CQuiltorView::ZoomChanged, zoom, [zoom](int percent) {
    zoom->setText(percent > 0 ? QStringLiteral("Zoom %1 %").arg(percent) : QString());
  });
  m_sd = new CSdSendUi(*this, doc, services);
  InstallCampaignCommands(*this);

  OnApplicationLook(m_look);
  SetDocumentTitle(m_title);
  UpdateCommandUI();
  qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::AddOutputLine(const QString& text) { m_output->AddOutputLine(text); }

void CMainFrame::CreatePanes() {
  m_fileView = new CFileView(m_doc, m_services, this);
  m_output = new COutputWnd(this);
  m_properties = new CPropertiesWnd(m_doc, m_services, this);
  for (QDockWidget* pane :
       {static_cast<QDockWidget*>(m_fileView), static_cast<QDockWidget*>(m_output),
        static_cast<QDockWidget*>(m_properties)}) {
    pane->setAllowedAreas(Qt::AllDockWidgetAreas);
    pane->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
  }
  addDockWidget(Qt::LeftDockWidgetArea, m_fileView);
  addDockWidget(Qt::BottomDockWidgetArea, m_output);
  addDockWidget(Qt::RightDockWidgetArea, m_properties);
  m_output->setWindowIcon(QIcon(QStringLiteral(":/icons/output.svg")));
  resizeDocks({m_output}, {140}, Qt::Vertical);
  resizeDocks({m_fileView, m_properties},
              {m_fileView->PreferredWidth(), m_properties->PreferredWidth()}, Qt::Horizontal);
  // The docks' own commands: the menus place them by id.
  m_fileView->RegisterActions(m_registry);
  m_properties->RegisterActions(m_registry);
  connect(m_properties, &CPropertiesWnd::ToolChanged, this, &CMainFrame::AfterCommand);
  connect(m_output->List(), &COutputList::HideRequested, this, [this] {
    setFocus();
    m_output->hide();
  });
}

using Run = CommandRun;
constexpr int kLine = CActionRegistry::kSeparator;

// Rows without text place an action a dock registered; the recent files,
// the pane list and the looks are built by their own functions at their rows.
const CMainFrame::CommandRow CMainFrame::kMenuRows[] = {
    {"&File", Cmd::kFileNew, "&New", QKeySequence::New, ":/icons/new.svg"},
    {"&File", Cmd::kFileOpen, "&Open...", QKeySequence::Open, ":/icons/open.svg"},
    {"&File", Cmd::kFileSave, "&Save", QKeySequence::Save, ":/icons/save.svg", false,
     [](CMainFrame& f) { f.m_doc.FileSave(); }, Run::kBusy},
    // QKeySequence::SaveAs is empty outside GNOME and KDE.
    {"&File", Cmd::kFileSaveAs, "Save &As...", "Ctrl+Shift+S", nullptr, false,
     [](CMainFrame& f) { f.m_doc.FileSaveAs(); }, Run::kBusy},
    {"&File/Export Small", Cmd::kExport512, "Export 512", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.ExportSmall(512); }, Run::kBusy},
    {"&File/Export Small", Cmd::kExport1024, "Export 1024", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.ExportSmall(1024); }, Run::kBusy},
    {"&File", kLine},
    {"&File", Cmd::kFilePrint, "&Print...", QKeySequence::Print, nullptr, false,
     [](CMainFrame& f) { f.FilePrint(); }},
    {"&File", Cmd::kFilePrintPreview, "Print Pre&view", nullptr, nullptr, false,
     [](CMainFrame& f) { f.FilePrintPreview(); }},
    {"&File", kLine},
    {"&File", Cmd::kFileMruFirst},
    {"&File", Cmd::kAppExit, "E&xit", QKeySequence::Quit, nullptr, false,
     [](CMainFrame& f) { f.close(); }},

    {"CN Shadow", Cmd::kOpenShadow, "Open CN Shadow Image", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.OpenShadowImage(); }, Run::kBusy},
    {"CN Shadow", Cmd::kCopyMainToShadow, "Copy Main to CN", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.CopyMainToShadow(); }, Run::kRefresh},
    {"CN Shadow", kLine},
    {"CN Shadow", Cmd::kRemoveShadow, "Remove CN", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.RemoveShadowImage(); }, Run::kRefresh},

    {"&Edit", Cmd::kEditUndo, "Undo", QKeySequence::Undo, nullptr, false,
     [](CMainFrame& f) { f.m_doc.Undo(); }, Run::kBusy},
    {"&Edit", Cmd::kEditRedo, "Redo", QKeySequence::Redo, nullptr, false,
     [](CMainFrame& f) { f.m_doc.Redo(); }, Run::kBusy},
    {"&Edit", kLine},
    {"&Edit", Cmd::kExportAndLock},
    {"&Edit", Cmd::kSendToSd, "Send to Stable Diffusion", "Ctrl+Return"},
    {"&Edit", Cmd::kCancelLock, "Cancel Lock", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.CancelLock(); }, Run::kRefresh},
    {"&Edit", kLine},
    {"&Edit", Cmd::kQuickImport},
    {"&Edit", Cmd::kImportReturnedSlices, "Import Returned Slices..."},
    {"&Edit", kLine},
    {"&Edit", Cmd::kApplyMerge, "Apply Merge", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.ApplyMerge(); }, Run::kRefresh},
    {"&Edit", Cmd::kCancelMerge, "Cancel Merge", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.CancelMerge(); }, Run::kRefresh},

    {"&View", Cmd::kViewToolbars},
    {"&View", Cmd::kViewStatusBar, "&Status Bar", nullptr, nullptr, true,
     [](CMainFrame& f) { f.ToggleStatusBar(); }},
    {"&View", Cmd::kLookFirst},
    {"&View", Cmd::kEraser},
    {"&View", Cmd::kBrush},
    {"&View", Cmd::kShowFrame, "Show Frame When Merging", nullptr, nullptr, true,
     [](CMainFrame& f) { f.m_doc.ToggleShowFrame(); }, Run::kRefresh},
    {"&View", Cmd::kMagnify, "Magnify Under Cursor", nullptr, ":/icons/magnify.svg", true,
     [](CMainFrame& f) { f.m_view->ToggleMagnifier(); }, Run::kRefresh},
    {"&View", Cmd::kShowCoverage, "Show Coverage", nullptr, nullptr, true},
    {"&View", kLine},
    {"&View", Cmd::kZoomIn, "Zoom In", "Ctrl+=; Ctrl++", nullptr, false,
     [](CMainFrame& f) { f.m_view->ZoomIn(); }},
    {"&View", Cmd::kZoomOut, "Zoom Out", "Ctrl+-", nullptr, false,
     [](CMainFrame& f) { f.m_view->ZoomOut(); }},
    {"&View", Cmd::kZoomFit, "Fit to Window", "Ctrl+0", nullptr, false,
     [](CMainFrame& f) { f.m_view->FitToWindow(); }},
    {"&View", Cmd::kZoomActual, "Actual Pixels", "Ctrl+1", nullptr, false,
     [](CMainFrame& f) { f.m_view->ActualPixels(); }},
    {"&View", Cmd::kZoomToSlice, "Zoom to Slice", "Z", nullptr, false,
     [](CMainFrame& f) { f.m_view->ZoomToSlice(); }},
    {"&View", Cmd::kZoomToSliceWhenMerging, "Zoom to Slice When Merging", nullptr, nullptr, true,
     [](CMainFrame& f) {
       f.SetZoomToSliceWhenMerging(f.Action(Cmd::kZoomToSliceWhenMerging)->isChecked());
     }},

    {"Tools", Cmd::kAutoSendToClipboard, "Auto Send to Clipboard", nullptr, nullptr, true,
     [](CMainFrame& f) { f.m_doc.ToggleAutoSendToClipboard(); }, Run::kRefresh},
    {"Tools", Cmd::kOpenSliceFolder, "Open Slice Folder", nullptr, nullptr, false,
     [](CMainFrame& f) { f.m_doc.OpenSliceFolder(); }},
    {"Tools", Cmd::kAutoImport},
    {"Tools", Cmd::kSdSettings, "Stable Diffusion..."},
    {"Tools", Cmd::kExportSliceGrid, "Export Slice Grid..."},

    {"&Help", Cmd::kAppAbout, "&About", QKeySequence::HelpContents, ":/icons/about.svg"},
    {"&Help", Cmd::kHomePage, "Home Page"},
};

void CMainFrame::CreateMenus() {
  for (const CommandRow& row : kMenuRows) AddMenuRow(row);
  m_fileMenu = MenuAt(QStringLiteral("&File"));
  for (QMenu* menu : menuBar()->findChildren<QMenu*>())
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);

  // The image view's context menu (119): the same commands as the menus.
  m_contextMenu = new QMenu(this);
  AddActions(m_contextMenu, {Cmd::kMagnify, kLine, Cmd::kExportAndLock, Cmd::kCancelLock, kLine,
                             Cmd::kQuickImport, kLine, Cmd::kApplyMerge, Cmd::kCancelMerge});
  connect(m_contextMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

QMenu* CMainFrame::MenuAt(const QString& path) {
  if (QMenu* known = m_menus.value(path)) return known;
  const qsizetype slash = path.lastIndexOf(u'/');
  QMenu* menu =
      slash < 0 ? menuBar()->addMenu(path) : MenuAt(path.left(slash))->addMenu(path.mid(slash + 1));
  m_menus.insert(path, menu);
  return menu;
}

void CMainFrame::AddMenuRow(const CommandRow& row) {
  QMenu* menu = MenuAt(QString::fromLatin1(row.menu));
  switch (row.id) {
    case kLine: menu->addSeparator(); return;
    case Cmd::kFileMruFirst: AddRecentFiles(menu); return;
    case Cmd::kViewToolbars: AddPaneMenu(menu); return;
    case Cmd::kLookFirst: AddLookMenu(menu); return;
    default: break;
  }
  menu->addAction(row.text ? m_registry.Add(row, *this) : Action(row.id));
}

void CMainFrame::AddRecentFiles(QMenu* file) {
  m_recentPlaceholder = file->addAction(QStringLiteral("Recent File"));
  m_recentPlaceholder->setData(Cmd::kFileMruFirst);
  m_recentPlaceholder->setEnabled(false);
  m_recentEnd = file->addSeparator();
}

void CMainFrame::AddPaneMenu(QMenu* view) {
  m_paneMenu = view->addMenu(QStringLiteral("&Toolbars and Docking Windows"));
  m_paneMenu->menuAction()->setData(Cmd::kViewToolbars);
  connect(m_paneMenu, &QMenu::aboutToShow, this, &CMainFrame::RebuildPaneMenu);
}

void CMainFrame::AddLookMenu(QMenu* view) {
  QMenu* looks = view->addMenu(QStringLiteral("&Application Look"));
  QMenu* office2007 = nullptr;
  m_lookGroup = new QActionGroup(this);
  // 219 and unknown ids leave every entry unmarked.
  m_lookGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  int count = 0;
  const LookEntry* table = LookTable(&count);
  for (int i = 0; i < count; ++i) {
    const LookEntry& look = table[i];
    if (!*look.menuText) continue;
    QMenu* target = looks;
    if (look.inOffice2007Menu) {
      if (!office2007) office2007 = looks->addMenu(QStringLiteral("Office 200&7"));
      target = office2007;
    }
    QAction* entry = m_registry.NewCommand(look.id, QString::fromLatin1(look.menuText), this);
    m_registry.Register(look.id, entry);
    entry->setCheckable(true);
    m_lookGroup->addAction(entry);
    target->addAction(entry);
    const int id = look.id;
    connect(entry, &QAction::triggered, this, [this, id] { OnApplicationLook(id); });
  }
}

void CMainFrame::AddActions(QWidget* target, std::initializer_list<int> ids) {
  for (const int id : ids) {
    if (id != kLine) {
      target->addAction(Action(id));
      continue;
    }
    auto* line = new QAction(target);
    line->setSeparator(true);
    target->addAction(line);
  }
}

void CMainFrame::CreateToolBar() {
  m_toolBar = new QToolBar(QStringLiteral("Standard"), this);
  m_toolBar->setObjectName(QStringLiteral("Standard"));
  m_toolBar->setIconSize(QSize(16, 16));
  AddActions(m_toolBar, {Cmd::kFileNew, Cmd::kFileOpen, Cmd::kFileSave, kLine, Cmd::kMagnify, kLine,
                         Cmd::kAppAbout});
  addToolBar(Qt::TopToolBarArea, m_toolBar);
  NameToolBarExtension(m_toolBar);
}

void CMainFrame::RebuildPaneMenu() {
  m_paneMenu->clear();
  QMenu* list = createPopupMenu();
  if (!list) return;
  for (QAction* action : list->actions()) m_paneMenu->addAction(action);
  list->setParent(m_paneMenu);
  list->deleteLater();
  // the toggle actions belong to the panes and the toolbar, not the menu
}

void CMainFrame::OnApplicationLook(int id) {
  CBusyCursor busy;
  m_look = id;
  if (IsOffice2007Style(id)) m_office2007Style = id;
  const int shown = EffectiveLook(id, m_office2007Style);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(LookPalette(shown));
  m_output->List()->setFont(QApplication::font());
  update();
  WriteSetting(m_services.settings, Settings::kApplicationLook, id);
  UpdateCommandUI();
}

void CMainFrame::SetDocumentTitle(const QString& title) {
  m_title = title;
  // "[*]" carries the modified mark the desktop shows.
  setWindowTitle(m_title + QStringLiteral("[*] - Quiltor "));
}

void CMainFrame::SetDocumentModified(bool modified) { setWindowModified(modified); }

void CMainFrame::SetRecentFiles(const QStringList& menuTexts) {
  // The table must not keep an id whose action is about to be deleted.
  for (QAction* action : m_recentActions) {
    m_registry.Unregister(action->data().toInt(), action);
    m_fileMenu->removeAction(action);
    action->deleteLater();
  }
  m_recentActions.clear();
  m_recentPlaceholder->setVisible(menuTexts.isEmpty());
  for (int i = 0; i < menuTexts.size(); ++i) {
    QAction* action = m_registry.NewCommand(Cmd::kFileMruFirst + i, menuTexts[i], this);
    m_registry.Register(Cmd::kFileMruFirst + i, action);
    m_fileMenu->insertAction(m_recentEnd, action);
    m_recentActions.append(action);
    connect(action, &QAction::triggered, this, [this, i] { emit RecentFileChosen(i); });
  }
}

void CMainFrame::UpdateCommandUI() {
  Action(Cmd::kViewStatusBar)->setChecked(statusBar()->isVisible());
  Action(Cmd::kShowFrame)->setChecked(m_doc.m_showFrame != 0);
  Action(Cmd::kAutoSendToClipboard)->setChecked(m_doc.m_autoSend != 0);
  Action(Cmd::kMagnify)->setChecked(m_view->MagnifierOn());
  Action(Cmd::kZoomToSliceWhenMerging)->setChecked(m_view->ZoomToSliceWhenMerging());
  for (QAction* look : m_lookGroup->actions()) look->setChecked(look->data().toInt() == m_look);
  UpdateUndoActions();
}

void CMainFrame::UpdateUndoActions() {
  const QString undo = m_doc.UndoName(), redo = m_doc.RedoName();
  QAction* undoAction = Action(Cmd::kEditUndo);
  QAction* redoAction = Action(Cmd::kEditRedo);
  undoAction->setText(undo.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + undo);
  undoAction->setEnabled(m_doc.CanUndo());
  redoAction->setText(redo.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + redo);
  redoAction->setEnabled(m_doc.CanRedo());
}

void CMainFrame::SaveWorkspace() {
  // The framework's own record of the window placement and the pane layout.
  WriteSetting(m_services.settings, Settings::kWindowGeometry, saveGeometry());
  WriteSetting(m_services.settings, Settings::kWindowState, saveState());
}

void CMainFrame::RestoreWorkspace() {
  const QByteArray geometry = ReadSetting(m_services.settings, Settings::kWindowGeometry);
  m_firstStart = geometry.isEmpty();
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  KeepOnScreen();
  const QByteArray state = ReadSetting(m_services.settings, Settings::kWindowState);
  if (!state.isEmpty()) restoreState(state);
  KeepViewRoomLater();
}

void CMainFrame::KeepOnScreen() {
  // A placement stored on a larger screen, or at a smaller scale factor,
  // comes back inside this screen's available area, frame included once the
  // frame is known.
  if (isMaximized() || isFullScreen() || !screen()) return;
  const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  setGeometry(placement::ClampToArea(QWidget::geometry(),
                                     screen()->availableGeometry().marginsRemoved(frame)));
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_shownOnce) {
    m_shownOnce = true;
    KeepOnScreen();
  }
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  KeepViewRoomLater();
}

void CMainFrame::KeepViewRoomLater() {
  if (m_viewRoomPending) return;
  m_viewRoomPending = true;
  // once the layout has given the view its new size
  QMetaObject::invokeMethod(this, &CMainFrame::KeepViewRoom, Qt::QueuedConnection);
}

void CMainFrame::KeepViewRoom() {
  m_viewRoomPending = false;
  if (!isVisible()) return;
  for (const Qt::Orientation o : {Qt::Horizontal, Qt::Vertical}) {
    const bool across = o == Qt::Horizontal;
    QList<QDockWidget*> docks;
    std::vector<int> sizes, minimums;
    for (QDockWidget* dock : findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!dock->isVisible() || dock->isFloating()) continue;
      const Qt::DockWidgetArea area = dockWidgetArea(dock);
      if ((area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea) != across) continue;
      docks.append(dock);
      const QSize least = dock->minimumSizeHint().expandedTo(dock->minimumSize());
      sizes.push_back(across ? dock->width() : dock->height());
      minimums.push_back(across ? least.width() : least.height());
    }
    const int centre = across ? m_view->width() : m_view->height();
    const int least = across ? placement::kMinViewWidth : placement::kMinViewHeight;
    const std::vector<int> fitted = placement::ShrinkDocks(centre, least, sizes, minimums);
    if (fitted != sizes) resizeDocks(docks, QList<int>(fitted.begin(), fitted.end()), o);
    int gained = 0;
    for (size_t i = 0; i < sizes.size(); ++i) gained += sizes[i] - fitted[i];
    // A first start on a screen too small for the view at 90 % of it takes
    // the whole screen instead.
    if (m_firstStart && centre + gained < least && !isMaximized()) {
      m_firstStart = false;
      // the whole area also where no window manager maximises
      const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
      setGeometry(screen()->availableGeometry().marginsRemoved(frame));
      showMaximized();
      return;
    }
  }
  m_firstStart = false;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!m_doc.SaveModified()) {
    event->ignore();
    return;
  }
  event->accept();
}

bool CMainFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    statusBar()->showMessage(tip.isEmpty() ? QStringLiteral("Ready") : tip);
    return true;
  }
  // The desktop's font changed: the log follows the regular interface font.
  if (event->type() == QEvent::ApplicationFontChange && m_output)
    m_output->List()->setFont(QApplication::font());
  return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this || TakesText(widget)) return false;
  if (key->modifiers() & ~Qt::KeypadModifier) return false;
  if (key->key() == Qt::Key_Space) {
    if (!key->isAutoRepeat()) m_view->SetShowShadow(type == QEvent::KeyPress);
    return true;
  }
  // Space no longer presses a focused button; Enter does instead.
  auto* button = qobject_cast<QAbstractButton*>(widget);
  if (button && type == QEvent::KeyPress &&
      (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    button->animateClick();
    return true;
  }
  return false;
}

// --- commands

void CMainFrame::AfterCommand() {
  UpdateCommandUI();
  m_view->update();
}

void CMainFrame::PrintTo(QPrinter& printer) { m_view->Print(printer); }

void CMainFrame::FilePrint() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle(QStringLiteral("Print"));
  if (dialog.exec() != QDialog::Accepted) return;
  PrintTo(printer);
}

void CMainFrame::FilePrintPreview() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintPreviewDialog dialog(&printer, this);
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* target) { PrintTo(*target); });
  dialog.exec();
}

void CMainFrame::ToggleStatusBar() {
  statusBar()->setVisible(!statusBar()->isVisible());
  UpdateCommandUI();
}

void CMainFrame::SetZoomToSliceWhenMerging(bool on) {
  m_view->SetZoomToSliceWhenMerging(on);
  WriteSetting(m_services.settings, Settings::kZoomToSliceWhenMerging, on ? 1 : 0);
}
