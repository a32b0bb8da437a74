#include "panes/LeftDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>

#include "document/AutoImport.h"
#include "document/QuickImport.h"
#include "document/QuiltorDoc.h"
#include "document/SettingsStore.h"
#include "document/SliceHistory.h"
#include "document/UserDiffData.h"
#include "panes/BusyCursor.h"
#include "panes/ColorButton.h"
#include "panes/PaneControls.h"
#include "panes/PaneLayout.h"

namespace {

// The history list. A click on the entry that is already selected counts as a
// selection again, so an entry can be placed once more after its lock ended.
class CHistoryListBox : public QListWidget {
 public:
  CHistoryListBox(QWidget* parent, std::function<void(int)> reselected)
      : QListWidget(parent), m_reselected(std::move(reselected)) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // long names are cut at the right edge, as the list has no horizontal bar
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    const int before = currentRow();
    QListWidget::mousePressEvent(e);
    if (e->button() == Qt::LeftButton && before >= 0 && currentRow() == before &&
        itemAt(e->position().toPoint()) == item(before))
      m_reselected(before);
  }

 private:
  std::function<void(int)> m_reselected;
};

QString WithFinalSeparator(QString folder) {
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

struct SliceButton {
  int id, size, rotating, zoom;
};
constexpr SliceButton kSliceButtons[] = {
    {SlicerId::k256x2, 256, 0, 2},         {SlicerId::k128x4, 128, 0, 4},
    {SlicerId::k512, 512, 0, 1},           {SlicerId::k1024, 1024, 0, 1},
    {SlicerId::k2048, 2048, 0, 1},         {SlicerId::kRotating512, 512, 1, 1},
    {SlicerId::kRotating1024, 1024, 1, 1},
};

}  // namespace

CLeftDialog::CLeftDialog(CQuiltorDoc& doc, CQuiltorServices& services, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_services(services) {
  setFont(PaneFont());
  m_units = BaseUnitsOf(font());
  m_chooseFolder = [](QWidget* owner, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, QString(), start);
  };
  CreateTemplateControls(this, SlicerTemplate(), m_units, [this](const TemplateControl& c) {
    QWidget* w = nullptr;
    if (c.kind == ControlKind::ListBox)
      w = new CHistoryListBox(this, [this](int row) { HistorySelected(row); });
    return w;
  });
  resize(DialogToPixels(kSlicerTemplateSize, m_units));

  // accessible names: the caption, or the label in front of a field
  auto label = [this](const char* objectName) {
    return findChild<QLabel*>(QString::fromUtf8(objectName), Qt::FindDirectChildrenOnly);
  };
  const struct {
    int id;
    const char* label;
    const char* name;
  } named[] = {
      {SlicerId::kSliceFolder, "sliceFolderLabel", "Slice folder"},
      {SlicerId::kImportFolder, "importFolderLabel", "Img2img folder"},
      {SlicerId::kImportRoot, "importRootLabel", "Img2img root (*if using subfolders)"},
      {SlicerId::kHistory, "historyLabel", "Slice history:"},
  };
  for (const auto& n : named) {
    QWidget* w = Control(n.id);
    w->setAccessibleName(QString::fromUtf8(n.name));
    if (QLabel* l = label(n.label)) l->setBuddy(w);
  }
  const struct {
    int id;
    const char* description;
  } browse[] = {{SlicerId::kSliceFolderBrowse, "Choose the slice folder"},
                {SlicerId::kImportFolderBrowse, "Choose the img2img folder"},
                {SlicerId::kImportRootBrowse, "Choose the img2img root"}};
  for (const auto& b : browse)
    Control(b.id)->setAccessibleDescription(QString::fromUtf8(b.description));

  // fields from the settings; the default slice folder is created if missing
  const QString defaultFolder =
      CUserDiffData(QStringLiteral("Quiltor"), QStringLiteral("slices")).EnsureFolders();
  CSettingsStore& settings = m_services.settings;
  Field(SlicerId::kSliceFolder)
      ->setText(ReadSetting(settings, Settings::kSlicePath, defaultFolder));
  Field(SlicerId::kImportFolder)->setText(ReadSetting(settings, Settings::kImportPath));
  Field(SlicerId::kImportRoot)->setText(ReadSetting(settings, Settings::kImportRoot));

  FindControlAs<CColorButton>(this, SlicerId::kQuickImport)->m_crColor = QColor(204, 247, 209);
  FindControlAs<CColorButton>(this, SlicerId::k512)->m_crColor = QColor(214, 230, 248);

  auto button = [this](int id) { return FindControlAs<QPushButton>(this, id); };
  for (const SliceButton& b : kSliceButtons)
    connect(button(b.id), &QPushButton::clicked, this,
            [this, b] { m_doc.CreateSlice(b.size, b.rotating, b.zoom); });
  connect(button(SlicerId::kExportAndLock), &QPushButton::clicked, this,
          [this] { ExportAndLock(); });
  connect(button(SlicerId::kSendToSd), &QPushButton::clicked, this, &CLeftDialog::SendToSdClicked);
  connect(button(SlicerId::kLock), &QPushButton::clicked, this, [this] { m_doc.LockSlice(); });
  connect(button(SlicerId::kCancelLock), &QPushButton::clicked, this,
          [this] { m_doc.CancelLock(); });
  connect(button(SlicerId::kQuickImport), &QPushButton::clicked, this, [this] { QuickImport(); });
  connect(button(SlicerId::kFindMostRecent), &QPushButton::clicked, this,
          [this] { FindMostRecentSubfolder(); });
  connect(button(SlicerId::kSliceFolderBrowse), &QPushButton::clicked, this,
          [this] { ChooseFolder(SlicerId::kSliceFolder); });
  connect(button(SlicerId::kImportFolderBrowse), &QPushButton::clicked, this,
          [this] { ChooseFolder(SlicerId::kImportFolder); });
  connect(button(SlicerId::kImportRootBrowse), &QPushButton::clicked, this,
          [this] { ChooseFolder(SlicerId::kImportRoot); });
  auto* autoBox = FindControlAs<QCheckBox>(this, SlicerId::kAutoImport);
  m_autoImport = std::make_unique<CAutoImport>(
      m_doc, settings, [this] { return Field(SlicerId::kImportFolder)->text(); });
  m_autoImport->SetOnChanged([this, autoBox](bool on) {
    const QSignalBlocker quiet(autoBox);
    autoBox->setChecked(on);
    emit AutoImportChanged(on);
  });
  autoBox->setChecked(m_autoImport->IsOn());
  connect(autoBox, &QCheckBox::toggled, this, [this](bool on) {
    m_autoImport->SetOn(on);
    emit AutoImportChanged(m_autoImport->IsOn());
  });
  // A choice of an entry (click, arrow keys, assistive technology) selects
  // it; the current row Qt sets when the list gains the focus selects
  // nothing, so tabbing in or re-activating the window leaves the slice.
  connect(HistoryList(), &QListWidget::itemSelectionChanged, this, [this] {
    const QList<QListWidgetItem*> chosen = HistoryList()->selectedItems();
    if (!chosen.isEmpty()) HistorySelected(HistoryList()->row(chosen.first()));
  });
  connect(HistoryList(), &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { HistoryDoubleClicked(HistoryList()->row(item)); });
}

CLeftDialog::~CLeftDialog() = default;

bool CLeftDialog::AutoImportOn() const { return m_autoImport->IsOn(); }

void CLeftDialog::SetAutoImport(bool on) {
  FindControlAs<QCheckBox>(this, SlicerId::kAutoImport)->setChecked(on);
}

QWidget* CLeftDialog::Control(int id) const { return FindControl(this, id); }
QLineEdit* CLeftDialog::Field(int id) const { return FindControlAs<QLineEdit>(this, id); }
QListWidget* CLeftDialog::HistoryList() const {
  return FindControlAs<QListWidget>(this, SlicerId::kHistory);
}

QSize CLeftDialog::sizeHint() const { return DialogToPixels(kSlicerTemplateSize, m_units); }

QSize CLeftDialog::minimumSizeHint() const {
  const QListWidget* list = HistoryList();
  const int row = std::max(list->sizeHintForRow(0), list->fontMetrics().lineSpacing() + 2);
  return QSize(0, SlicerMinimumHeight(list->geometry().top(), row, list->frameWidth()));
}

void CLeftDialog::AddHistory(const QString& name) { HistoryList()->addItem(name); }

void CLeftDialog::SetHistory(const QStringList& names) {
  HistoryList()->clear();
  HistoryList()->addItems(names);
}

QStringList CLeftDialog::History() const {
  QStringList names;
  for (int i = 0; i < HistoryList()->count(); ++i) names.append(HistoryList()->item(i)->text());
  return names;
}

QString CLeftDialog::ImportFolder() const { return Field(SlicerId::kImportFolder)->text(); }

QString CLeftDialog::ExportAndLock() {
  m_doc.m_sliceFolder = Field(SlicerId::kSliceFolder)->text();
  QString name;
  {
    CBusyCursor busy;
    name = m_doc.ExportAndLock();
  }
  if (!name.isEmpty()) AddHistory(name);
  return name;
}

void CLeftDialog::QuickImport() {
  CBusyCursor busy;
  ::QuickImport(m_doc, m_services.settings, Field(SlicerId::kImportFolder)->text());
}

void CLeftDialog::FindMostRecentSubfolder() {
  const QString folder =
      ::FindMostRecentSubfolder(m_services.settings, Field(SlicerId::kImportRoot)->text());
  if (!folder.isEmpty()) Field(SlicerId::kImportFolder)->setText(folder);
}

void CLeftDialog::ChooseFolder(int fieldId) {
  QLineEdit* field = Field(fieldId);
  const QString chosen = m_chooseFolder(this, WithFinalSeparator(field->text()));
  if (chosen.isEmpty()) return;
  field->setText(chosen);
  if (fieldId == SlicerId::kSliceFolder)
    m_doc.m_sliceFolder = chosen;  // "Path" is stored by the next export
  else if (fieldId == SlicerId::kImportFolder)
    WriteSetting(m_services.settings, Settings::kImportPath, chosen);
  else
    WriteSetting(m_services.settings, Settings::kImportRoot, chosen);
}

void CLeftDialog::HistorySelected(int row) {
  if (row < 0 || m_doc.m_locked) return;
  PlaceFromHistory(m_doc, HistoryList()->item(row)->text());
}

void CLeftDialog::HistoryDoubleClicked(int row) {
  if (row < 0) return;
  LockFromHistory(m_doc, HistoryList()->item(row)->text());
  // the square shows its lock at once
  m_doc.Host().Repaint();
}

void CLeftDialog::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ControlRects rects = ControlGeometry(this);
  LayoutSlicer(rects, width(), height());
  ApplyControlGeometry(this, rects);
}

void CLeftDialog::closeEvent(QCloseEvent* event) { event->ignore(); }
