#include "app/GridExportDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "document/GridExport.h"
#include "panes/CampaignProgress.h"
#include "view/QuiltorView.h"

namespace {
// The Slicer's squares: the side in picture pixels and how it is exported.
struct SizeChoice {
  int side;
  const char* text;
};
constexpr SizeChoice kSizes[] = {
    {512, "512"}, {1024, "1024"}, {2048, "2048"}, {256, "256\u00d72"}, {128, "128\u00d74"}};
constexpr int kDefaultOverlap = 64;
}  // namespace

CGridExportDialog::CGridExportDialog(CQuiltorDoc& doc, CQuiltorView& view, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_view(view) {
  setWindowTitle(QStringLiteral("Export Slice Grid"));
  m_size = new QComboBox(this);
  for (const SizeChoice& c : kSizes) m_size->addItem(QString::fromUtf8(c.text), c.side);
  m_overlap = new QSpinBox(this);
  m_overlap->setSuffix(QStringLiteral(" px"));
  m_overlap->setValue(kDefaultOverlap);
  auto* whole = new QRadioButton(QStringLiteral("Whole picture"), this);
  auto* dragged = new QRadioButton(QStringLiteral("Rectangle dragged on the view"), this);
  whole->setChecked(true);
  m_regionChoice = new QButtonGroup(this);
  m_regionChoice->addButton(whole, 0);
  m_regionChoice->addButton(dragged, 1);
  m_count = new QLabel(this);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Square size:"), m_size);
  form->addRow(QStringLiteral("Overlap:"), m_overlap);
  auto* regionBox = new QVBoxLayout;
  regionBox->addWidget(whole);
  regionBox->addWidget(dragged);
  form->addRow(QStringLiteral("Region:"), regionBox);
  form->addRow(QString(), m_count);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->addButton(QStringLiteral("Export"), QDialogButtonBox::AcceptRole);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &CGridExportDialog::Export);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_size, &QComboBox::currentIndexChanged, this, &CGridExportDialog::Follow);
  connect(m_overlap, &QSpinBox::valueChanged, this, &CGridExportDialog::Follow);
  connect(m_regionChoice, &QButtonGroup::idClicked, this, &CGridExportDialog::Follow);
  connect(&m_view, &CQuiltorView::RegionDragged, this, [this, dragged](const QRect& r) {
    m_dragged = r;
    dragged->setChecked(true);
    Follow();
  });
  m_view.SetOverlayPainter(CQuiltorView::Overlay::Grid,
                           [this](QPainter& p, const QTransform& toClient) {
                             const int side = Side();
                             p.setBrush(Qt::NoBrush);
                             p.setPen(QPen(QColor(255, 160, 0), 1));
                             for (const QPoint& at : Squares())
                               p.drawRect(toClient.mapRect(QRectF(at, QSizeF(side, side))));
                             if (!Region().isEmpty()) {
                               p.setPen(QPen(QColor(0, 200, 255), 1, Qt::DashLine));
                               p.drawRect(toClient.mapRect(QRectF(Region())));
                             }
                           });
  m_view.SetRegionPicking(true);
  Follow();
}

CGridExportDialog::~CGridExportDialog() {
  m_view.SetRegionPicking(false);
  m_view.SetOverlayPainter(CQuiltorView::Overlay::Grid, {});
}

int CGridExportDialog::Side() const { return m_size->currentData().toInt(); }
int CGridExportDialog::Overlap() const { return m_overlap->value(); }
QRect CGridExportDialog::Region() const {
  return m_regionChoice->checkedId() == 1 ? m_dragged : QRect();
}

std::vector<QPoint> CGridExportDialog::Squares() const {
  const QSize picture(static_cast<int>(m_doc.m_mainImage.m_width),
                      static_cast<int>(m_doc.m_mainImage.m_height));
  const QRect region = Region().isEmpty() ? QRect(QPoint(0, 0), picture) : Region();
  return SliceGrid(picture, region, Side(), Overlap());
}

void CGridExportDialog::Follow() {
  m_overlap->setRange(0, Side() / 2);
  const size_t n = Squares().size();
  m_count->setText(QStringLiteral("%1 slices").arg(n));
  m_view.update();
}

void CGridExportDialog::Export() {
  CGridExport job(m_doc);
  if (!job.Start(Side(), Overlap(), Region())) return;
  RunWithProgress(this, job, QStringLiteral("Exporting the slice grid..."));
  emit Exported(job.Names());
}
