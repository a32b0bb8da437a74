#include "app/FileView.h"

#include <QAction>
#include <QIcon>
#include <QScrollArea>

#include "app/CommandIds.h"
#include "document/QuiltorDoc.h"
#include "panes/LeftDialog.h"

// The menus place these by id.
const CFileView::CommandRow CFileView::kCommandRows[] = {
    // the menu's Export and Lock keeps the slice folder the document has
    {nullptr, Cmd::kExportAndLock, "Export and Lock", nullptr, nullptr, false,
     [](CFileView& v) {
       const QString name = v.m_doc.ExportAndLock();
       if (!name.isEmpty()) v.m_dialog->AddHistory(name);
     },
     CommandRun::kBusy},
    {nullptr, Cmd::kQuickImport, "Quick Import", nullptr, nullptr, false,
     [](CFileView& v) { v.m_dialog->QuickImport(); }, CommandRun::kBusy},
    {nullptr, Cmd::kAutoImport, "Auto Import", nullptr, nullptr, true,
     [](CFileView& v) { v.m_dialog->SetAutoImport(v.m_autoImport->isChecked()); }},
};

CFileView::CFileView(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QDockWidget(QStringLiteral("Slicer"), parent), m_doc(doc) {
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

void CFileView::RegisterActions(CActionRegistry& registry) {
  for (const CommandRow& row : kCommandRows) registry.Add(row, *this);
  m_autoImport = registry.Action(Cmd::kAutoImport);
  m_autoImport->setChecked(m_dialog->AutoImportOn());
  connect(m_dialog, &CLeftDialog::AutoImportChanged, m_autoImport, &QAction::setChecked);
}

int CFileView::PreferredWidth() const { return m_dialog->sizeHint().width(); }
