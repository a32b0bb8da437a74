#include "app/CampaignCommands.h"

#include <QAction>
#include <QFileDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStatusBar>

#include "app/CommandIds.h"
#include "app/FileView.h"
#include "app/GridExportDialog.h"
#include "app/MainFrame.h"
#include "document/QuiltorDoc.h"
#include "panes/CampaignProgress.h"
#include "panes/LeftDialog.h"
#include "view/QuiltorView.h"

namespace {

// The ledger's squares: exported ones outlined, merged ones tinted as well.
void PaintCoverage(const CCampaignLedger& ledger, QPainter& p, const QTransform& toClient) {
  QPen outline(QColor(0, 210, 255), 1);
  outline.setCosmetic(true);
  p.setPen(outline);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const LedgerSlice& s : ledger.Slices()) {
    QPolygonF square;
    for (const QPointF& corner : s.Corners()) square << toClient.map(corner);
    p.setBrush(s.merged.isValid() ? QBrush(QColor(0, 210, 255, 80)) : QBrush(Qt::NoBrush));
    p.drawPolygon(square);
  }
}

// View > Show Coverage and the square's file name under the pointer.
class CCoverageHover : public QObject {
 public:
  explicit CCoverageHover(CMainFrame& frame) : QObject(&frame), m_frame(frame) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseMove && m_frame.Action(Cmd::kShowCoverage)->isChecked()) {
      const auto* move = static_cast<QMouseEvent*>(event);
      const QPoint at = m_frame.View()->ImagePointOf(move->position().toPoint());
      const LedgerSlice* s = m_frame.Document().m_ledger.SliceAt(QPointF(at) + QPointF(0.5, 0.5));
      const QString name = s ? s->file : QString();
      if (name != m_shown) {
        m_shown = name;
        if (name.isEmpty())
          m_frame.statusBar()->clearMessage();
        else
          m_frame.statusBar()->showMessage(name);
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  CMainFrame& m_frame;
  QString m_shown;
};

void ShowCoverage(CMainFrame* f, bool on) {
  CQuiltorDoc& doc = f->Document();
  f->Action(Cmd::kShowCoverage)->setChecked(on);
  f->View()->SetOverlayPainter(
      CQuiltorView::Overlay::Coverage,
      on ? CQuiltorView::OverlayPainter([&doc](QPainter& p, const QTransform& toClient) {
        PaintCoverage(doc.m_ledger, p, toClient);
      })
         : CQuiltorView::OverlayPainter());
}

}  // namespace

void InstallCampaignCommands(CMainFrame& frame) {
  CMainFrame* f = &frame;
  CSettingsStore& settings = f->Document().Services().settings;
  ShowCoverage(f, ReadSetting(settings, Settings::kShowCoverage) != 0);
  QObject::connect(f->Action(Cmd::kShowCoverage), &QAction::triggered, f, [f, &settings](bool on) {
    WriteSetting(settings, Settings::kShowCoverage, on ? 1 : 0);
    ShowCoverage(f, on);
  });
  f->View()->setMouseTracking(true);
  f->View()->installEventFilter(new CCoverageHover(frame));

  QObject::connect(f->Action(Cmd::kImportReturnedSlices), &QAction::triggered, f, [f] {
    CQuiltorDoc& doc = f->Document();
    const QString start = f->FileView()->Dialog()->ImportFolder();
    // Ctrl+A in the chooser takes a whole folder; the batch skips whatever
    // does not carry a slice name.
    const QStringList files = QFileDialog::getOpenFileNames(
        f, QStringLiteral("Import Returned Slices"), start,
        QStringLiteral("Pictures (*.png *.jpg *.jpeg *.webp *.bmp *.tif *.tiff);;All files (*)"));
    if (files.isEmpty()) return;
    ImportReturnedSlices(f, doc, files);
    f->View()->update();
    f->UpdateCommandUI();
  });
  // One dialog at a time, modeless so that a region can be dragged on the view.
  auto dialog = std::make_shared<QPointer<CGridExportDialog>>();
  QObject::connect(f->Action(Cmd::kExportSliceGrid), &QAction::triggered, f, [f, dialog] {
    if (*dialog) {
      (*dialog)->raise();
      return;
    }
    auto* d = new CGridExportDialog(f->Document(), *f->View(), f);
    d->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(d, &CGridExportDialog::Exported, f, [f](const QStringList& names) {
      for (const QString& name : names) f->FileView()->Dialog()->AddHistory(name);
      f->UpdateCommandUI();
    });
    *dialog = d;
    // Beside the picture rather than over the grid it shows.
    d->adjustSize();
    d->move(f->View()->mapToGlobal(QPoint(f->View()->width() - d->width() - 12, 12)));
    d->show();
  });
}
