#include "panes/CampaignProgress.h"

#include <QApplication>
#include <QProgressDialog>

#include "document/BatchImport.h"

bool RunWithProgress(QWidget* parent, ICampaignJob& job, const QString& label) {
  QProgressDialog progress(label, QStringLiteral("Cancel"), 0, job.Total(), parent);
  progress.setWindowTitle(QStringLiteral("Quiltor"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  bool cancelled = false;
  for (;;) {
    progress.setValue(job.Done());
    QApplication::processEvents();
    if (progress.wasCanceled()) {
      cancelled = true;
      break;
    }
    if (!job.Step()) break;
  }
  job.Finish(cancelled);
  progress.setValue(job.Total());
  return !cancelled;
}

void ImportReturnedSlices(QWidget* parent, CQuiltorDoc& doc, const QStringList& paths) {
  CBatchImport job(doc);
  if (job.Start(paths))
    RunWithProgress(parent, job, QStringLiteral("Importing returned slices..."));
}
