#include "tools/cli/CampaignCommands.h"

#ifdef QUILTOR_HAS_DOCUMENT
#include "document/BatchImport.h"
#include "document/GridExport.h"

QString ExportGridLine(CQuiltorDoc& doc, const QStringList& words) {
  if (words.size() != 2 && words.size() != 6) return QStringLiteral("wrong number of arguments");
  int v[6] = {0, 0, 0, 0, 0, 0};
  for (qsizetype i = 0; i < words.size(); ++i) {
    bool ok = false;
    v[i] = words[i].toInt(&ok);
    if (!ok) return QStringLiteral("not a whole number: ") + words[i];
  }
  const int side = v[0], overlap = v[1];
  if (side != 128 && side != 256 && side != 512 && side != 1024 && side != 2048)
    return QStringLiteral("the size is 128, 256, 512, 1024 or 2048");
  if (overlap < 0 || overlap > side / 2)
    return QStringLiteral("the overlap is 0 to %1").arg(side / 2);
  if (words.size() == 6 && (v[4] < 1 || v[5] < 1))
    return QStringLiteral("the region needs a width and a height");
  CGridExport job(doc);
  if (job.Start(side, overlap, QRect(v[2], v[3], v[4], v[5]))) RunToEnd(job);
  return {};
}

QString ImportBatchLine(CQuiltorDoc& doc, const QStringList& words) {
  if (words.isEmpty()) return QStringLiteral("a path is needed");
  CBatchImport job(doc);
  if (job.Start(words)) RunToEnd(job);
  return {};
}
#endif
