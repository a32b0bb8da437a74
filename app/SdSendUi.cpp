#include "app/SdSendUi.h"

#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>

#include "app/CommandIds.h"
#include "app/FileView.h"
#include "app/MainFrame.h"
#include "app/SdSettingsDialog.h"
#include "document/QuiltorDoc.h"
#include "panes/DialogTemplate.h"
#include "panes/LeftDialog.h"

CSdSendUi::CSdSendUi(CMainFrame& frame, CQuiltorDoc& doc, CQuiltorServices& services)
    : QObject(&frame), m_frame(frame), m_services(services), m_send(doc, services.settings) {
  m_bar = new QProgressBar(&frame);
  m_bar->setObjectName(QStringLiteral("sdProgress"));
  m_bar->setAccessibleName(QStringLiteral("Stable Diffusion progress"));
  m_bar->setMaximumWidth(200);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), &frame);
  m_cancel->setObjectName(QStringLiteral("sdCancel"));
  m_cancel->setToolTip(QStringLiteral("Interrupt Stable Diffusion (Escape)"));
  frame.statusBar()->addPermanentWidget(m_bar);
  frame.statusBar()->addPermanentWidget(m_cancel);
  m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), &frame);
  m_escape->setContext(Qt::WindowShortcut);
  connect(m_escape, &QShortcut::activated, this, [this] { Cancel(); });
  connect(m_cancel, &QPushButton::clicked, this, [this] { Cancel(); });

  m_send.onProgress = [this](double fraction) {
    // Below 0 the server does not say: the bar runs without a value.
    m_bar->setRange(0, fraction < 0 ? 0 : 100);
    if (fraction >= 0) m_bar->setValue(static_cast<int>(fraction * 100 + 0.5));
  };
  m_send.onFinished = [this] { SetBusy(false); };

  if (QAction* a = frame.Action(Cmd::kSendToSd))
    connect(a, &QAction::triggered, this, [this] { Send(); });
  if (QAction* a = frame.Action(Cmd::kSdSettings))
    connect(a, &QAction::triggered, this, [this] { ShowSettings(); });
  connect(frame.FileView()->Dialog(), &CLeftDialog::SendToSdClicked, this, [this] { Send(); });
  SetBusy(false);
}

void CSdSendUi::SetBusy(bool busy) {
  m_bar->setVisible(busy);
  m_cancel->setVisible(busy);
  m_escape->setEnabled(busy);
  m_bar->setRange(0, 0);
  if (QAction* a = m_frame.Action(Cmd::kSendToSd)) a->setEnabled(!busy);
  if (QWidget* button = m_frame.FileView()->Dialog()->Control(SlicerId::kSendToSd))
    button->setEnabled(!busy);
}

void CSdSendUi::Send() {
  if (m_send.Busy()) return;
  CLeftDialog* slicer = m_frame.FileView()->Dialog();
  const QString name = slicer->ExportAndLock();
  if (name.isEmpty()) return;
  SetBusy(true);
  if (!m_send.Send(name, slicer->ImportFolder())) SetBusy(false);
}

void CSdSendUi::Cancel() { m_send.Cancel(); }

void CSdSendUi::ShowSettings() {
  CSdSettingsDialog dialog(m_services.settings, &m_frame);
  dialog.exec();
}
