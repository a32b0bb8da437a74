#include "app/OutputWnd.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QStyle>
#include <QTabWidget>

#include "app/CommandIds.h"

int COutputModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant COutputModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(m_lines.size())) return {};
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
    return m_lines[static_cast<size_t>(index.row())];
  return {};
}

void COutputModel::Append(const QString& line) {
  const int row = static_cast<int>(m_lines.size());
  beginInsertRows(QModelIndex(), row, row);
  m_lines.push_back(line);
  endInsertRows();
}

COutputList::COutputList(QWidget* parent) : QListView(parent), m_model(new COutputModel(this)) {
  setModel(m_model);
  // Every line has the same height: the view never measures all rows.
  setUniformItemSizes(true);
  setLayoutMode(QListView::SinglePass);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Lines wider than the pane are cut at its right edge.
  setTextElideMode(Qt::ElideNone);
  setWordWrap(false);
  setAccessibleName(QStringLiteral("Output"));
  // On a short screen the log gives way to the image view down to two lines
  // between its scroll bars.
  setMinimumHeight(2 * fontMetrics().lineSpacing() + 2 * frameWidth() +
                   style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  // Menu 182: its commands go to the list.
  m_menu = new QMenu(this);
  m_menu->addAction(QStringLiteral("&Copy"), this, &COutputList::Copy)->setData(Cmd::kOutputCopy);
  m_menu->addAction(QStringLiteral("&Clear"), this, &COutputList::Clear)
      ->setData(Cmd::kOutputClear);
  m_menu->addSeparator();
  m_menu->addAction(QStringLiteral("&Hide"), this, &COutputList::HideRequested)
      ->setData(Cmd::kOutputHide);
}

void COutputList::AddLine(const QString& text) {
  m_model->Append(text);
  m_current = m_model->rowCount() - 1;
  // Selecting makes the view lay out every row at once, so a burst of lines
  // would cost the square of their number: the view follows the newest line
  // once per turn of the event loop, when it repaints anyway.
  if (!m_followPending) {
    m_followPending = true;
    QMetaObject::invokeMethod(this, &COutputList::FollowNewest, Qt::QueuedConnection);
  }
}

void COutputList::FollowNewest() {
  m_followPending = false;
  const QModelIndex line = m_model->index(m_current);
  setCurrentIndex(line);
  scrollTo(line);
}

int COutputList::LineCount() const { return m_model->rowCount(); }

QString COutputList::Line(int index) const {
  return m_model->data(m_model->index(index), Qt::DisplayRole).toString();
}

int COutputList::CurrentLine() const {
  if (m_followPending) return m_current;
  return currentIndex().isValid() ? currentIndex().row() : -1;
}

QAction* COutputList::Action(int id) const {
  for (QAction* action : m_menu->actions())
    if (action->data().toInt() == id && !action->isSeparator()) return action;
  return nullptr;
}

void COutputList::contextMenuEvent(QContextMenuEvent* event) {
  setFocus(Qt::PopupFocusReason);
  m_menu->popup(event->globalPos());
}

// Copy and Clear show their fixed messages only: the log is never changed.
void COutputList::Copy() {
  QMessageBox::information(this, QStringLiteral("Quiltor"), QStringLiteral("Copy output"));
}

void COutputList::Clear() {
  QMessageBox::information(this, QStringLiteral("Quiltor"), QStringLiteral("Clear output"));
}

COutputWnd::COutputWnd(QWidget* parent)
    : QDockWidget(QStringLiteral("Output"), parent), m_tabs(new QTabWidget(this)) {
  setObjectName(QStringLiteral("Pane%1").arg(PaneId::kOutput));
  m_tabs->setTabPosition(QTabWidget::South);
  m_tabs->setDocumentMode(true);
  m_list = new COutputList(m_tabs);
  m_tabs->addTab(m_list, QStringLiteral("Build"));
  setWidget(m_tabs);
  m_list->AddLine(QStringLiteral("Quiltor Started"));
}
