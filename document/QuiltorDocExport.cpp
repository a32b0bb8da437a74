#include "document/QuiltorDoc.h"

QString CQuiltorDoc::ExportAndLock() { return {}; }
void CQuiltorDoc::ToggleAutoSendToClipboard() {}
void CQuiltorDoc::OpenSliceFolder() {}
