// quiltor-cli run's whole-picture lines. Each returns an error text for the
// script's "# error" line, empty when the line was fine.
#pragma once

#include <QString>
#include <QStringList>

class CQuiltorDoc;

// export-grid SIZE OVERLAP [X Y W H]
QString ExportGridLine(CQuiltorDoc& doc, const QStringList& words);
// import-batch PATH... (files and folders)
QString ImportBatchLine(CQuiltorDoc& doc, const QStringList& words);
