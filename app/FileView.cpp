#include "app/FileView.h"

#include <QIcon>

#include "document/CommandIds.h"
#include "panes/LeftDialog.h"

CFileView::CFileView(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QDockWidget(QStringLiteral("Slicer"), parent) {
  setObjectName(QStringLiteral("Pane%1").arg(PaneId::kSlicer));
  setWindowIcon(QIcon(QStringLiteral(":/icons/slicer.svg")));
  m_dialog = new CLeftDialog(doc, services, this);
  setWidget(m_dialog);
}
