#include "app/PropertiesWnd.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QResizeEvent>
#include <QScrollArea>

#include "app/ActionRegistry.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "document/QuiltorDoc.h"
#include "panes/PropertyDialog.h"

CPropertiesToolBar::CPropertiesToolBar(QWidget* parent)
    : QToolBar(QStringLiteral("Merger"), parent) {
  setMovable(false);
  setFloatable(false);
  setIconSize(QSize(16, 16));
  setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  // No style sheet: a widget with its own sheet keeps the palette and style
  // it was polished with, and the dark look showed dark text on it.
  setContentsMargins(0, 0, 0, 0);
}

CPropertiesWnd::CPropertiesWnd(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QDockWidget(QStringLiteral("Merger"), parent), m_doc(doc) {
  setObjectName(QStringLiteral("Pane%1").arg(PaneId::kMerger));
  setWindowIcon(QIcon(QStringLiteral(":/icons/merger.svg")));
  // The toolbar and the dialog are laid out by hand: the dialog sits directly
  // below the toolbar and is as high as the whole client area.
  m_client = new QWidget(this);
  // A dock shorter than the dialog scrolls it, as the Slicer pane does, so
  // that Apply Merge and the preview stay within reach.
  m_scroll = new QScrollArea(m_client);
  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setFocusPolicy(Qt::NoFocus);
  m_scroll->setWidgetResizable(true);
  m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_dialog = new CPropertyDialog(doc, services, m_scroll);
  m_scroll->setWidget(m_dialog);
  connect(m_dialog, &CPropertyDialog::RepaintViewNow, this, &CPropertiesWnd::RepaintViewNow);
  m_toolBar = new CPropertiesToolBar(m_client);
  m_brush =
      m_toolBar->addAction(QIcon(QStringLiteral(":/icons/brush.svg")), QStringLiteral("Brush"));
  m_brush->setData(Cmd::kBrush);
  m_brush->setCheckable(true);
  m_brush->setToolTip(QStringLiteral("Brush"));
  m_eraser =
      m_toolBar->addAction(QIcon(QStringLiteral(":/icons/eraser.svg")), QStringLiteral("Eraser"));
  m_eraser->setData(Cmd::kEraser);
  m_eraser->setCheckable(true);
  m_eraser->setToolTip(QStringLiteral("Eraser"));
  // One exclusive choice from every input: a click, a key, the View menu and
  // assistive technology's Toggle (which checks the button without
  // triggering it) all arrive as a change of the checked state.
  auto* tools = new QActionGroup(this);
  tools->addAction(m_brush);
  tools->addAction(m_eraser);
  connect(m_brush, &QAction::toggled, this, [this](bool on) { ToolToggled(1, on); });
  connect(m_eraser, &QAction::toggled, this, [this](bool on) { ToolToggled(0, on); });
  NameToolBarExtension(m_toolBar);
  setWidget(m_client);
  m_client->installEventFilter(this);
  m_client->setMinimumWidth(120);
  UpdateChecks();
  AdjustLayout();
}

void CPropertiesWnd::RegisterActions(CActionRegistry& registry) {
  registry.Register(Cmd::kEraser, m_eraser);
  registry.Register(Cmd::kBrush, m_brush);
}

int CPropertiesWnd::PreferredWidth() const { return m_dialog->sizeHint().width(); }

void CPropertiesWnd::OnEraser() {
  m_doc.m_tool = 0;
  m_brushFlag = 0;
  UpdateChecks();
}

void CPropertiesWnd::OnBrush() {
  m_doc.m_tool = 1;
  m_brushFlag = 1;
  UpdateChecks();
}

void CPropertiesWnd::ToolToggled(int brushFlag, bool on) {
  if (on) {
    if (brushFlag == 1)
      OnBrush();
    else
      OnEraser();
    emit ToolChanged();
  } else if (!m_brush->isChecked() && !m_eraser->isChecked()) {
    // Unchecking the chosen tool (assistive technology can) leaves it chosen.
    UpdateChecks();
  }
}

void CPropertiesWnd::UpdateChecks() {
  m_eraser->setChecked(m_brushFlag == 0);
  m_brush->setChecked(m_brushFlag == 1);
}

bool CPropertiesWnd::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_client && event->type() == QEvent::Resize) AdjustLayout();
  return QDockWidget::eventFilter(watched, event);
}

void CPropertiesWnd::AdjustLayout() {
  if (window() && window()->isMinimized()) return;
  const QRect client = m_client->rect();
  const int barHeight = m_toolBar->sizeHint().height();
  m_toolBar->setGeometry(0, 0, client.width(), barHeight);
  m_scroll->setGeometry(0, barHeight, client.width(), client.height() - barHeight);
}
