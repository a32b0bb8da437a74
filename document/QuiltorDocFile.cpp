#include "document/QuiltorDoc.h"

void CQuiltorDoc::LoadMainImage(const QString&) {}
bool CQuiltorDoc::OpenMainImage(const QString&) { return false; }
bool CQuiltorDoc::SaveMainImage(const QString&) { return false; }
bool CQuiltorDoc::FileNew() { return false; }
bool CQuiltorDoc::FileOpen(const QString&) { return false; }
bool CQuiltorDoc::FileSave() { return false; }
bool CQuiltorDoc::FileSaveAs() { return false; }
bool CQuiltorDoc::SaveModified() { return true; }
