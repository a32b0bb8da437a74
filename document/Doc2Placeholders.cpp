// Link placeholders for the import, merge and shadow operations until their
// implementation lands; each does nothing.
#include "document/QuiltorDoc.h"

void CQuiltorDoc::ImportFile(const QString&) {}
void CQuiltorDoc::BuildMerge() {}
void CQuiltorDoc::PaintMask(int, int, int) {}
void CQuiltorDoc::UpdateMaskPreview() {}
void CQuiltorDoc::FillMask(int) {}
void CQuiltorDoc::InvertMask() {}
void CQuiltorDoc::RefreshMerge() {}
void CQuiltorDoc::CancelMerge() {}
void CQuiltorDoc::ApplyMerge() {}
void CQuiltorDoc::OpenShadowImage() {}
void CQuiltorDoc::LoadShadowImage() {}
void CQuiltorDoc::CopyMainToShadow() {}
void CQuiltorDoc::RemoveShadowImage() {}
void CQuiltorDoc::ExportSmall(int) {}
