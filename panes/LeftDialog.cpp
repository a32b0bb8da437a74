#include "panes/LeftDialog.h"

#include "document/QuickImport.h"
#include "document/QuiltorDoc.h"

CLeftDialog::CLeftDialog(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_services(services) {}

void CLeftDialog::AddHistory(const QString&) {}

void CLeftDialog::QuickImport() { ::QuickImport(m_doc, m_services.settings, QString()); }
