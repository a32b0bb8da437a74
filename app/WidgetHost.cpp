#include "app/WidgetHost.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QProgressDialog>
#include <QUrl>
#include <utility>

#include "app/FileView.h"
#include "app/MainFrame.h"
#include "app/PropertiesWnd.h"
#include "document/FileFilters.h"
#include "document/QuiltorDoc.h"
#include "panes/BusyCursor.h"
#include "panes/ImagePreviewWnd.h"
#include "panes/LeftDialog.h"
#include "panes/PropertyDialog.h"
#include "view/QuiltorView.h"

namespace {
// "*.png" (or a list of patterns) to the suffix a typed name without one gets.
QString SuffixOf(const QString& defaultExtension) {
  QString first = defaultExtension.section(u';', 0, 0).trimmed();
  if (first.startsWith(QStringLiteral("*."))) first.remove(0, 2);
  if (first.contains(u'*')) return {};
  return first;
}

QString Join(const QString& folder, const QString& name) {
  if (folder.isEmpty()) return name;
  if (name.isEmpty()) return folder;
  return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

CImagePreviewWnd* PreviewOf(CMainFrame* frame) {
  if (!frame || !frame->PropertiesWnd()) return nullptr;
  CPropertyDialog* dialog = frame->PropertiesWnd()->Dialog();
  return dialog ? dialog->Preview() : nullptr;
}
}  // namespace

void CWidgetHost::Attach(CMainFrame* frame) {
  m_frame = frame;
  if (!frame) return;
  for (const QString& line : m_pending) frame->AddOutputLine(line);
  m_pending.clear();
  frame->SetDocumentTitle(m_title);
  if (!m_ledgerHistory.isEmpty()) LedgerOpened(std::exchange(m_ledgerHistory, {}));
}

void CWidgetHost::AddOutputLine(const QString& text) {
  if (m_frame) {
    m_frame->AddOutputLine(text);
  } else {
    m_pending.append(text);
  }
}

void CWidgetHost::UndoHistoryChanged() {
  // Read once the operation under way has finished (it may still leave or
  // enter a merge, which changes the list Undo works on).
  if (m_frame)
    QMetaObject::invokeMethod(m_frame.data(), &CMainFrame::UpdateUndoActions, Qt::QueuedConnection);
}

void CWidgetHost::LedgerOpened(const QStringList& history) {
  if (m_frame)
    m_frame->FileView()->Dialog()->SetHistory(history);
  else
    m_ledgerHistory = history;
}

QWidget* CWidgetHost::DialogParent() const { return m_frame ? m_frame.data() : nullptr; }

bool CWidgetHost::WorkProgress(Work work, double done) {
  constexpr int kSteps = 1000;
  if (done < 0) {
    delete m_progress;  // parent-owned; gone already if the window went first
    return true;
  }
  if (!m_progress) {
    const bool opening = work == Work::Opening;
    m_progress = new QProgressDialog(opening ? QStringLiteral("Opening the picture...")
                                             : QStringLiteral("Saving the picture..."),
                                     opening ? QStringLiteral("Cancel") : QString(), 0, kSteps,
                                     DialogParent());
    m_progress->setWindowTitle(QStringLiteral("Quiltor"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(500);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
  }
  // Once shown, the window-modal dialog handles events here: repaints go on,
  // input reaches only its Cancel button.
  m_progress->setValue(int(done * kSteps));
  return !m_progress->wasCanceled();
}

IDocumentHost::Answer CWidgetHost::MessageBox(const QString& text, Buttons buttons) {
  CBusyCursor::Suspend normalCursor;
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox::StandardButtons offered = QMessageBox::Ok;
  QMessageBox::Icon icon = QMessageBox::Warning;
  if (buttons == Buttons::YesNo) {
    offered = QMessageBox::Yes | QMessageBox::No;
    icon = QMessageBox::Question;
  } else if (buttons == Buttons::YesNoCancel) {
    offered = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    icon = QMessageBox::Warning;
  }
  QMessageBox box(icon, QStringLiteral("Quiltor"), shown, offered, DialogParent());
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default:
      // Closing a box with a Cancel button by Escape or the title bar is a Cancel.
      if (buttons == Buttons::YesNoCancel) return Answer::Cancel;
      return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
  }
}

void CWidgetHost::Repaint() {
  if (!m_frame || !m_frame->View()) return;
  m_frame->View()->update();
  // Apply Merge, Cancel Merge, a new picture: once no merge is under way the
  // blend mask is gone for the user, and the Merger's preview must not keep
  // showing it.
  const CQuiltorDoc& doc = m_frame->Document();
  CImagePreviewWnd* preview = PreviewOf(m_frame);
  if (preview && preview->Image().HasPixels() && (!doc.m_merge || !doc.m_blendMask.HasPixels())) {
    preview->Image().Clear();
    preview->Redraw();
  }
}

void CWidgetHost::MainImageChanged(const QRect& rect) {
  if (m_frame && m_frame->View()) m_frame->View()->ImageChanged(rect);
}

void CWidgetHost::TitleChanged(const QString& title) {
  m_title = title;
  if (m_frame) m_frame->SetDocumentTitle(title);
}

void CWidgetHost::ModifiedChanged(bool modified) {
  if (m_frame) m_frame->SetDocumentModified(modified);
}

bool CWidgetHost::SetClipboardImage(const CISImageEx& picture) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard || !picture.HasPixels()) return false;
  const QImage wrapped(picture.Pixels(), static_cast<int>(picture.m_width),
                       static_cast<int>(picture.m_height), static_cast<int>(picture.RowBytes()),
                       QImage::Format_RGB888);
  // The clipboard keeps its own copy: the slice picture is freed after export.
  clipboard->setImage(wrapped.copy());
  return true;
}

void CWidgetHost::OpenFolder(const QString& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString CWidgetHost::GetOpenFileName(const QString& title, const QString& filter,
                                     const QString& defaultExtension, const QString& proposedName,
                                     const QString& initialFolder) {
  CBusyCursor::Suspend normalCursor;
  // The proposed name of the image dialogs is a pattern list; the filter rows
  // already offer it, so it is not put into the name field.
  (void)proposedName;
  (void)defaultExtension;
  QFileDialog dialog(DialogParent(), title, initialFolder, ToQtFilter(filter));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString CWidgetHost::GetSaveFileName(const QString& title, const QString& filter,
                                     const QString& defaultExtension, const QString& proposedName,
                                     const QString& initialFolder) {
  CBusyCursor::Suspend normalCursor;
  // With no folder remembered ("outPath" empty) the dialog starts beside the
  // picture, not in the process's working folder.
  QString folder = initialFolder;
  if (folder.isEmpty() && m_frame && !m_frame->Document().GetPathName().isEmpty())
    folder = FolderOfPath(m_frame->Document().GetPathName());
  QFileDialog dialog(DialogParent(), title, folder, ToQtFilter(filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setDefaultSuffix(SuffixOf(defaultExtension));
  if (!proposedName.isEmpty()) dialog.selectFile(Join(folder, proposedName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

CISImageEx* CWidgetHost::MaskPreviewImage() {
  CImagePreviewWnd* preview = PreviewOf(m_frame);
  return preview ? &preview->Image() : &m_fallbackPreview;
}

int CWidgetHost::MaskPreviewWidth() const {
  CImagePreviewWnd* preview = PreviewOf(m_frame);
  return preview ? preview->PreviewWidth() : 256;
}

int CWidgetHost::MaskPreviewHeight() const {
  CImagePreviewWnd* preview = PreviewOf(m_frame);
  return preview ? preview->PreviewHeight() : 256;
}

void CWidgetHost::RedrawMaskPreview() {
  if (CImagePreviewWnd* preview = PreviewOf(m_frame)) preview->Redraw();
}

QString CWidgetHost::Caption(const QString& title) { return title + QStringLiteral(" - Quiltor "); }
