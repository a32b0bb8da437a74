// The Merger pane's dialog: brush sliders, fill, invert, edge blur, apply and
// cancel, and the mask preview.
#pragma once

#include <QWidget>

class CQuiltorDoc;
struct CQuiltorServices;
class CImagePreviewWnd;

class CPropertyDialog : public QWidget {
  Q_OBJECT
 public:
  CPropertyDialog(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent = nullptr);
  CImagePreviewWnd* Preview() { return m_preview; }

 private:
  CQuiltorDoc& m_doc;
  CQuiltorServices& m_services;
  CImagePreviewWnd* m_preview = nullptr;
};
