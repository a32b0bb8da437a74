#include "panes/PropertyDialog.h"

#include <QVBoxLayout>

#include "document/QuiltorDoc.h"
#include "panes/ImagePreviewWnd.h"

CPropertyDialog::CPropertyDialog(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_services(services) {
  auto* layout = new QVBoxLayout(this);
  m_preview = new CImagePreviewWnd(this);
  layout->addWidget(m_preview);
}
