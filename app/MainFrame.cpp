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
#include "app/FileView.h"
#include "app/Looks.h"
#include "app/OutputWnd.h"
#include "app/Prompts.h"
#include "app/PropertiesWnd.h"
#include "app/WindowPlacement.h"
#include "app/SdSendUi.h"
#include "document/CommandIds.h"
#include "document/QuiltorDoc.h"
#include "panes/BusyCursor.h"
#include "panes/LeftDialog.h"
#include "panes/PropertyDialog.h"
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
  CreateToolBar();
  m_view->SetContextMenu(m_contextMenu);
  // A brush slider dragged during a merge shows its preview disc at once.
  connect(m_properties->Dialog(), &CPropertyDialog::RepaintViewNow, m_view,
          [this] { m_view->repaint(); });
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

QAction* CMainFrame::NewAction(int id, const QString& text) {
  auto* action = new QAction(text, this);
  action->setData(id);
  const CommandPrompt prompt = PromptFor(id);
  action->setStatusTip(prompt.prompt);
  QString tip = prompt.tooltip;
  if (tip.isEmpty()) tip = QString(text).remove(u'&');
  action->setToolTip(tip);
  m_actions.insert(id, action);
  return action;
}

QAction* CMainFrame::AddCommand(QMenu* menu, int id, const QString& text,
                                void (CMainFrame::*slot)()) {
  QAction* action = NewAction(id, text);
  if (slot) connect(action, &QAction::triggered, this, slot);
  menu->addAction(action);
  return action;
}

void CMainFrame::CreatePanes() {
  m_fileView = new CFileView(m_doc, m_services, this);
  m_output = new COutputWnd(this);
  m_properties = new CPropertiesWnd(m_doc, m_services, this);
  for (QDockWidget* pane : {static_cast<QDockWidget*>(m_fileView),
                            static_cast<QDockWidget*>(m_output),
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
              {m_fileView->Dialog()->sizeHint().width(), m_properties->Dialog()->sizeHint().width()},
              Qt::Horizontal);
  connect(m_output->List(), &COutputList::HideRequested, this, [this] {
    setFocus();
    m_output->hide();
  });
}

void CMainFrame::CreateMenus() {
  QMenuBar* bar = menuBar();
  using C = CMainFrame;

  m_fileMenu = bar->addMenu(QStringLiteral("&File"));
  QAction* a = AddCommand(m_fileMenu, Cmd::kFileNew, QStringLiteral("&New"), nullptr);
  a->setShortcut(QKeySequence::New);
  a->setIcon(QIcon(QStringLiteral(":/icons/new.svg")));
  a = AddCommand(m_fileMenu, Cmd::kFileOpen, QStringLiteral("&Open..."), nullptr);
  a->setShortcut(QKeySequence::Open);
  a->setIcon(QIcon(QStringLiteral(":/icons/open.svg")));
  a = AddCommand(m_fileMenu, Cmd::kFileSave, QStringLiteral("&Save"), &C::OnFileSave);
  a->setShortcut(QKeySequence::Save);
  a->setIcon(QIcon(QStringLiteral(":/icons/save.svg")));
  a = AddCommand(m_fileMenu, Cmd::kFileSaveAs, QStringLiteral("Save &As..."), &C::OnFileSaveAs);
  // QKeySequence::SaveAs is empty outside GNOME and KDE.
  a->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  QMenu* small = m_fileMenu->addMenu(QStringLiteral("Export Small"));
  AddCommand(small, Cmd::kExport512, QStringLiteral("Export 512"), &C::OnExport512);
  AddCommand(small, Cmd::kExport1024, QStringLiteral("Export 1024"), &C::OnExport1024);
  m_fileMenu->addSeparator();
  a = AddCommand(m_fileMenu, Cmd::kFilePrint, QStringLiteral("&Print..."), &C::OnFilePrint);
  a->setShortcut(QKeySequence::Print);
  AddCommand(m_fileMenu, Cmd::kFilePrintPreview, QStringLiteral("Print Pre&view"),
             &C::OnFilePrintPreview);
  m_fileMenu->addSeparator();
  m_recentPlaceholder = m_fileMenu->addAction(QStringLiteral("Recent File"));
  m_recentPlaceholder->setData(Cmd::kFileMruFirst);
  m_recentPlaceholder->setEnabled(false);
  m_recentEnd = m_fileMenu->addSeparator();
  a = AddCommand(m_fileMenu, Cmd::kAppExit, QStringLiteral("E&xit"), nullptr);
  a->setShortcut(QKeySequence::Quit);
  connect(a, &QAction::triggered, this, &QWidget::close);

  QMenu* shadow = bar->addMenu(QStringLiteral("CN Shadow"));
  AddCommand(shadow, Cmd::kOpenShadow, QStringLiteral("Open CN Shadow Image"), &C::OnOpenShadow);
  AddCommand(shadow, Cmd::kCopyMainToShadow, QStringLiteral("Copy Main to CN"),
             &C::OnCopyMainToShadow);
  shadow->addSeparator();
  AddCommand(shadow, Cmd::kRemoveShadow, QStringLiteral("Remove CN"), &C::OnRemoveShadow);

  QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
  AddCommand(edit, Cmd::kEditUndo, QStringLiteral("Undo"), &C::OnUndo)
      ->setShortcut(QKeySequence::Undo);
  AddCommand(edit, Cmd::kEditRedo, QStringLiteral("Redo"), &C::OnRedo)
      ->setShortcut(QKeySequence::Redo);
  edit->addSeparator();
  AddCommand(edit, Cmd::kExportAndLock, QStringLiteral("Export and Lock"), &C::OnExportAndLock);
  AddCommand(edit, Cmd::kSendToSd, QStringLiteral("Send to Stable Diffusion"), nullptr)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
  AddCommand(edit, Cmd::kCancelLock, QStringLiteral("Cancel Lock"), &C::OnCancelLock);
  edit->addSeparator();
  AddCommand(edit, Cmd::kQuickImport, QStringLiteral("Quick Import"), &C::OnQuickImport);
  AddCommand(edit, Cmd::kImportReturnedSlices, QStringLiteral("Import Returned Slices..."), nullptr);
  edit->addSeparator();
  AddCommand(edit, Cmd::kApplyMerge, QStringLiteral("Apply Merge"), &C::OnApplyMerge);
  AddCommand(edit, Cmd::kCancelMerge, QStringLiteral("Cancel Merge"), &C::OnCancelMerge);

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  m_paneMenu = view->addMenu(QStringLiteral("&Toolbars and Docking Windows"));
  m_paneMenu->menuAction()->setData(Cmd::kViewToolbars);
  connect(m_paneMenu, &QMenu::aboutToShow, this, &CMainFrame::RebuildPaneMenu);
  a = AddCommand(view, Cmd::kViewStatusBar, QStringLiteral("&Status Bar"), &C::OnToggleStatusBar);
  a->setCheckable(true);
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
    QAction* entry = NewAction(look.id, QString::fromLatin1(look.menuText));
    entry->setCheckable(true);
    m_lookGroup->addAction(entry);
    target->addAction(entry);
    const int id = look.id;
    connect(entry, &QAction::triggered, this, [this, id] { OnApplicationLook(id); });
  }
  // The Merger pane's own Eraser and Brush commands, with the same marks.
  view->addAction(m_properties->EraserAction());
  view->addAction(m_properties->BrushAction());
  m_actions.insert(Cmd::kEraser, m_properties->EraserAction());
  m_actions.insert(Cmd::kBrush, m_properties->BrushAction());
  connect(m_properties, &CPropertiesWnd::ToolChanged, this, &CMainFrame::AfterCommand);
  a = AddCommand(view, Cmd::kShowFrame, QStringLiteral("Show Frame When Merging"), &C::OnShowFrame);
  a->setCheckable(true);
  a = AddCommand(view, Cmd::kMagnify, QStringLiteral("Magnify Under Cursor"), &C::OnMagnify);
  a->setCheckable(true);
  a->setIcon(QIcon(QStringLiteral(":/icons/magnify.svg")));
  AddCommand(view, Cmd::kShowCoverage, QStringLiteral("Show Coverage"), nullptr)->setCheckable(true);
  AddZoomCommands(view);

  QMenu* tools = bar->addMenu(QStringLiteral("Tools"));
  a = AddCommand(tools, Cmd::kAutoSendToClipboard, QStringLiteral("Auto Send to Clipboard"),
                 &C::OnAutoSend);
  a->setCheckable(true);
  AddCommand(tools, Cmd::kOpenSliceFolder, QStringLiteral("Open Slice Folder"),
             &C::OnOpenSliceFolder);
  // Auto Import lives in the Slicer pane; the entry and its check box follow each other.
  a = AddCommand(tools, Cmd::kAutoImport, QStringLiteral("Auto Import"), nullptr);
  a->setCheckable(true);
  connect(a, &QAction::triggered, this,
          [this](bool on) { m_fileView->Dialog()->SetAutoImport(on); });
  connect(m_fileView->Dialog(), &CLeftDialog::AutoImportChanged, a, &QAction::setChecked);
  AddCommand(tools, Cmd::kSdSettings, QStringLiteral("Stable Diffusion..."), nullptr);
  AddCommand(tools, Cmd::kExportSliceGrid, QStringLiteral("Export Slice Grid..."), nullptr);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  a = AddCommand(help, Cmd::kAppAbout, QStringLiteral("&About"), nullptr);
  a->setIcon(QIcon(QStringLiteral(":/icons/about.svg")));
  a->setShortcut(QKeySequence::HelpContents);
  AddCommand(help, Cmd::kHomePage, QStringLiteral("Home Page"), nullptr);

  for (QMenu* menu : bar->findChildren<QMenu*>())
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);

  // The image view's context menu (119): the same commands as the menus.
  m_contextMenu = new QMenu(this);
  m_contextMenu->addAction(Action(Cmd::kMagnify));
  m_contextMenu->addSeparator();
  m_contextMenu->addAction(Action(Cmd::kExportAndLock));
  m_contextMenu->addAction(Action(Cmd::kCancelLock));
  m_contextMenu->addSeparator();
  m_contextMenu->addAction(Action(Cmd::kQuickImport));
  m_contextMenu->addSeparator();
  m_contextMenu->addAction(Action(Cmd::kApplyMerge));
  m_contextMenu->addAction(Action(Cmd::kCancelMerge));
  connect(m_contextMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateToolBar() {
  m_toolBar = new QToolBar(QStringLiteral("Standard"), this);
  m_toolBar->setObjectName(QStringLiteral("Standard"));
  m_toolBar->setIconSize(QSize(16, 16));
  m_toolBar->addAction(Action(Cmd::kFileNew));
  m_toolBar->addAction(Action(Cmd::kFileOpen));
  m_toolBar->addAction(Action(Cmd::kFileSave));
  m_toolBar->addSeparator();
  m_toolBar->addAction(Action(Cmd::kMagnify));
  m_toolBar->addSeparator();
  m_toolBar->addAction(Action(Cmd::kAppAbout));
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
    const int id = action->data().toInt();
    if (m_actions.value(id) == action) m_actions.remove(id);
    m_fileMenu->removeAction(action);
    action->deleteLater();
  }
  m_recentActions.clear();
  m_recentPlaceholder->setVisible(menuTexts.isEmpty());
  for (int i = 0; i < menuTexts.size(); ++i) {
    QAction* action = NewAction(Cmd::kFileMruFirst + i, menuTexts[i]);
    m_fileMenu->insertAction(m_recentEnd, action);
    m_recentActions.append(action);
    connect(action, &QAction::triggered, this, [this, i] { emit RecentFileChosen(i); });
  }
}

void CMainFrame::UpdateCommandUI() {
  Action(Cmd::kViewStatusBar)->setChecked(statusBar()->isVisible());
  Action(Cmd::kShowFrame)->setChecked(m_doc.m_showFrame != 0);
  Action(Cmd::kAutoSendToClipboard)->setChecked(m_doc.m_autoSend != 0);
  Action(Cmd::kAutoImport)->setChecked(m_fileView->Dialog()->AutoImportOn());
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

// --- document commands

void CMainFrame::AfterCommand() {
  UpdateCommandUI();
  m_view->update();
}

void CMainFrame::OnFileSave() {
  {
    CBusyCursor busy;
    m_doc.FileSave();
  }
  AfterCommand();
}

void CMainFrame::OnFileSaveAs() {
  {
    CBusyCursor busy;
    m_doc.FileSaveAs();
  }
  AfterCommand();
}

void CMainFrame::OnExport512() {
  {
    CBusyCursor busy;
    m_doc.ExportSmall(512);
  }
  AfterCommand();
}

void CMainFrame::OnExport1024() {
  {
    CBusyCursor busy;
    m_doc.ExportSmall(1024);
  }
  AfterCommand();
}

void CMainFrame::PrintTo(QPrinter& printer) { m_view->Print(printer); }

void CMainFrame::OnFilePrint() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle(QStringLiteral("Print"));
  if (dialog.exec() != QDialog::Accepted) return;
  PrintTo(printer);
}

void CMainFrame::OnFilePrintPreview() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintPreviewDialog dialog(&printer, this);
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* target) { PrintTo(*target); });
  dialog.exec();
}

void CMainFrame::OnOpenShadow() {
  {
    CBusyCursor busy;
    m_doc.OpenShadowImage();
  }
  AfterCommand();
}

void CMainFrame::OnCopyMainToShadow() {
  m_doc.CopyMainToShadow();
  AfterCommand();
}

void CMainFrame::OnRemoveShadow() {
  m_doc.RemoveShadowImage();
  AfterCommand();
}

void CMainFrame::OnExportAndLock() {
  QString name;
  {
    CBusyCursor busy;
    name = m_doc.ExportAndLock();
  }
  if (!name.isEmpty()) m_fileView->Dialog()->AddHistory(name);
  AfterCommand();
}

void CMainFrame::OnCancelLock() {
  m_doc.CancelLock();
  AfterCommand();
}

void CMainFrame::OnQuickImport() {
  {
    CBusyCursor busy;
    m_fileView->Dialog()->QuickImport();
  }
  AfterCommand();
}

void CMainFrame::OnUndo() {
  {
    CBusyCursor busy;
    m_doc.Undo();
  }
  AfterCommand();
}

void CMainFrame::OnRedo() {
  {
    CBusyCursor busy;
    m_doc.Redo();
  }
  AfterCommand();
}

void CMainFrame::OnApplyMerge() {
  m_doc.ApplyMerge();
  AfterCommand();
}

void CMainFrame::OnCancelMerge() {
  m_doc.CancelMerge();
  AfterCommand();
}

void CMainFrame::OnShowFrame() {
  m_doc.ToggleShowFrame();
  AfterCommand();
}

void CMainFrame::AddZoomCommands(QMenu* view) {
  view->addSeparator();
  struct Entry {
    int id;
    const char* text;
    QList<QKeySequence> keys;
    void (CQuiltorView::*zoom)();
  };
  const Entry entries[] = {
      {Cmd::kZoomIn,
       "Zoom In",
       {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
       &CQuiltorView::ZoomIn},
      {Cmd::kZoomOut, "Zoom Out", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &CQuiltorView::ZoomOut},
      {Cmd::kZoomFit,
       "Fit to Window",
       {QKeySequence(Qt::CTRL | Qt::Key_0)},
       &CQuiltorView::FitToWindow},
      {Cmd::kZoomActual,
       "Actual Pixels",
       {QKeySequence(Qt::CTRL | Qt::Key_1)},
       &CQuiltorView::ActualPixels},
      {Cmd::kZoomToSlice, "Zoom to Slice", {QKeySequence(Qt::Key_Z)}, &CQuiltorView::ZoomToSlice},
  };
  for (const Entry& e : entries) {
    QAction* a = AddCommand(view, e.id, QString::fromLatin1(e.text), nullptr);
    a->setShortcuts(e.keys);
    connect(a, &QAction::triggered, m_view, e.zoom);
  }
  QAction* a = AddCommand(view, Cmd::kZoomToSliceWhenMerging,
                          QStringLiteral("Zoom to Slice When Merging"), nullptr);
  a->setCheckable(true);
  m_view->SetZoomToSliceWhenMerging(
      ReadSetting(m_services.settings, Settings::kZoomToSliceWhenMerging, 0) != 0);
  connect(a, &QAction::triggered, this, [this](bool on) {
    m_view->SetZoomToSliceWhenMerging(on);
    WriteSetting(m_services.settings, Settings::kZoomToSliceWhenMerging, on ? 1 : 0);
  });
}

void CMainFrame::OnMagnify() {
  m_view->ToggleMagnifier();
  AfterCommand();
}

void CMainFrame::OnAutoSend() {
  m_doc.ToggleAutoSendToClipboard();
  AfterCommand();
}

void CMainFrame::OnOpenSliceFolder() { m_doc.OpenSliceFolder(); }

void CMainFrame::OnToggleStatusBar() {
  statusBar()->setVisible(!statusBar()->isVisible());
  UpdateCommandUI();
}
