#include "app/CampaignCommands.h"

#include <QAction>
#include <QFileDialog>
#include <QPointer>

#include "app/FileView.h"
#include "app/GridExportDialog.h"
#include "app/MainFrame.h"
#include "document/CommandIds.h"
#include "document/QuiltorDoc.h"
#include "panes/CampaignProgress.h"
#include "panes/LeftDialog.h"
#include "view/QuiltorView.h"

void InstallCampaignCommands(CMainFrame& frame) {
  CMainFrame* f = &frame;
  QObject::connect(f->Action(Cmd::kImportReturnedSlices), &QAction::triggered, f, [f] {
    CQuiltorDoc& doc = f->Document();
    const QString start = f->FileView()->Dialog()->ImportFolder();
    // Ctrl+A in the chooser takes a whole folder; the batch skips whatever
    // does not carry a slice name.
    const QStringList files = QFileDialog::getOpenFileNames(
        f, QStringLiteral("Import Returned Slices"), start,
        QStringLiteral("Pictures (*.png *.jpg *.jpeg *.webp *.bmp *.tif *.tiff);;All files (*)"));
    if (files.isEmpty()) return;
    ImportReturnedSlices(f, doc, files);
    f->View()->update();
    f->UpdateCommandUI();
  });
  // One dialog at a time, modeless so that a region can be dragged on the view.
  auto dialog = std::make_shared<QPointer<CGridExportDialog>>();
  QObject::connect(f->Action(Cmd::kExportSliceGrid), &QAction::triggered, f, [f, dialog] {
    if (*dialog) {
      (*dialog)->raise();
      return;
    }
    auto* d = new CGridExportDialog(f->Document(), *f->View(), f);
    d->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(d, &CGridExportDialog::Exported, f, [f](const QStringList& names) {
      for (const QString& name : names) f->FileView()->Dialog()->AddHistory(name);
      f->UpdateCommandUI();
    });
    *dialog = d;
    // Beside the picture rather than over the grid it shows.
    d->adjustSize();
    d->move(f->View()->mapToGlobal(QPoint(f->View()->width() - d->width() - 12, 12)));
    d->show();
  });
}
