// A grid export or batch import with a progress bar and Cancel: the job
// stops between two slices, and what it did stays done.
#pragma once

#include <QString>
#include <QStringList>

class ICampaignJob;
class CQuiltorDoc;
class QWidget;

// Runs the started job to its end or to Cancel; false when cancelled.
bool RunWithProgress(QWidget* parent, ICampaignJob& job, const QString& label);

// Import Returned Slices with its progress (files and folders).
void ImportReturnedSlices(QWidget* parent, CQuiltorDoc& doc, const QStringList& paths);
