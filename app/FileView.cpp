#include "app/FileView.h"

#include <QIcon>
#include <QScrollArea>

#include "app/CommandIds.h"
#include "panes/LeftDialog.h"

CFileView::CFileView(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QDockWidget(QStringLiteral("Slicer"), parent) {
  setObjectName(QStringLiteral("Pane%1").arg(PaneId::kSlicer));
  setWindowIcon(QIcon(QStringLiteral(":/icons/slicer.svg")));
  // A dock shorter than the pane's controls scrolls them, so that the
  // history below keeps rows a user can pick from.
  auto* area = new QScrollArea(this);
  area->setFrameShape(QFrame::NoFrame);
  // A click on a pane button must leave the focus where it was, not give it
  // to the scroll area around the button.
  area->setFocusPolicy(Qt::NoFocus);
  area->setWidgetResizable(true);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_dialog = new CLeftDialog(doc, services, area);
  area->setWidget(m_dialog);
  setWidget(area);
}
