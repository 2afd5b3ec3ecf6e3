#include "ui/inventory_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "ui/backend.h"
#include "ui/prompt.h"

namespace {

constexpr int kIndexRole = Qt::UserRole;
constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kColumns = 7;
constexpr int kIpColumn = 1;
constexpr int kMatchColumn = 6;

// Sorts by its key when it has one (the address as a number), else by text.
class SortItem : public QTableWidgetItem {
 public:
  bool operator<(const QTableWidgetItem& other) const override {
    const QVariant a = data(kKeyRole), b = other.data(kKeyRole);
    if (a.isValid() && b.isValid()) return a.toULongLong() < b.toULongLong();
    return text().compare(other.text(), Qt::CaseInsensitive) < 0;
  }
};

QString Cell(const std::string& utf8) { return QString::fromUtf8(InventoryVisibleText(utf8)); }

// The whole MAC address at the default size: twelve of the font's widest hex
// digit and five colons, the item's text margins, and no less than the caption.
int MacColumnWidth(QTableWidget* t) {
  const QFontMetrics fm = t->fontMetrics();
  int digit = 0;
  for (char c : std::string("0123456789ABCDEF")) digit = std::max(digit, fm.horizontalAdvance(QChar(c)));
  const int margin = t->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, t) + 1;
  const int text = 12 * digit + 5 * fm.horizontalAdvance(QChar(':')) + 2 * margin + 6;
  return std::max(text, t->horizontalHeader()->sectionSizeHint(0));
}

}  // namespace

CInventoryWindow::CInventoryWindow(std::vector<DeviceRecord> devices, WindowBackend* backend, Prompt* prompt,
                                   const InventoryTimings& timings, QWidget* parent, std::vector<uint32_t> shared_ips)
    : QWidget(parent, Qt::Window),
      devices_(std::move(devices)),
      results_(devices_.size()),
      backend_(backend),
      prompt_(prompt) {
  setObjectName(QStringLiteral("inventory"));
  setWindowTitle(QStringLiteral("Read information"));
  auto* top = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout();
  bar->addWidget(new QLabel(QStringLiteral("Expected version:"), this));
  expected_ = new QLineEdit(this);
  expected_->setObjectName(QStringLiteral("expected_version"));
  expected_->setMaxLength(255);
  bar->addWidget(expected_, 1);
  counts_ = new QLabel(this);
  counts_->setObjectName(QStringLiteral("counts"));
  bar->addWidget(counts_, 2);
  top->addLayout(bar);

  table_ = new QTableWidget(static_cast<int>(devices_.size()), kColumns, this);
  table_->setObjectName(QStringLiteral("inventory_table"));
  QStringList captions;
  for (const char* c : kInventoryColumns) captions << QString::fromLatin1(c);
  table_->setHorizontalHeaderLabels(captions);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->setVisible(false);
  // Rows of the device list's height (its font's height and 5).
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 5);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideRight);
  for (int r = 0; r < table_->rowCount(); ++r)
    for (int c = 0; c < kColumns; ++c) table_->setItem(r, c, new SortItem);
  std::vector<size_t> all(devices_.size());
  for (size_t i = 0; i < devices_.size(); ++i) {
    all[i] = i;
    row_items_.push_back(table_->item(static_cast<int>(i), 0));
    row_items_.back()->setData(kIndexRole, static_cast<int>(i));
  }
  WriteRows(all);
  table_->setColumnWidth(0, MacColumnWidth(table_));
  // Device order until the operator sorts (no column marked).
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  table_->setSortingEnabled(true);
  top->addWidget(table_, 1);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  export_ = new QPushButton(QStringLiteral("Export..."), this);
  export_->setObjectName(QStringLiteral("export"));
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  buttons->addWidget(export_);
  buttons->addWidget(close);
  top->addLayout(buttons);
  connect(export_, &QPushButton::clicked, this, &CInventoryWindow::OnExport);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  connect(expected_, &QLineEdit::textChanged, this, [this, all] {
    WriteRows(all);
    RefreshCounts();
  });
  resize(900, 420);

  InventoryConfig cfg;
  cfg.devices = devices_;
  cfg.shared_ips = std::move(shared_ips);
  cfg.timings = timings;
  runner_ = backend_ ? backend_->StartInventory(std::move(cfg), this) : nullptr;
  running_ = runner_ != nullptr;
  RefreshCounts();
}

CInventoryWindow::~CInventoryWindow() {
  {
    std::lock_guard<std::mutex> lk(post_mu_);
    accepting_ = false;
  }
  runner_.reset();  // stops and joins: nothing posts after this
}

void CInventoryWindow::Post(WorkerMessage msg) {
  std::lock_guard<std::mutex> lk(post_mu_);
  if (!accepting_) return;
  QPointer<CInventoryWindow> self(this);
  QMetaObject::invokeMethod(
      this,
      [self, m = std::move(msg)] {
        if (self) self->Handle(m);
      },
      Qt::QueuedConnection);
}

void CInventoryWindow::Handle(const WorkerMessage& msg) {
  if (msg.id == UM_INVENTORY_RESULT) {
    if (const auto* r = std::get_if<InventoryResult>(&msg.payload)) OnResult(*r);
  } else if (msg.id == UM_INVENTORY_DONE) {
    running_ = false;
    RefreshCounts();
  }
}

void CInventoryWindow::OnResult(const InventoryResult& r) {
  if (r.index < 0 || static_cast<size_t>(r.index) >= results_.size()) return;
  const size_t i = static_cast<size_t>(r.index);
  if (results_[i]) return;  // each device is reported once
  results_[i] = r;
  if (r.Answered())
    ++answered_;
  else
    ++failed_;
  WriteRows({i});
  RefreshCounts();
}

int32_t CInventoryWindow::Mismatched() const {
  const std::string want = expected_->text().toStdString();
  if (want.empty()) return 0;
  int32_t n = 0;
  for (const auto& r : results_)
    if (r && r->Answered() && !InventoryVersionMatches(*r, want)) ++n;
  return n;
}

void CInventoryWindow::WriteRow(size_t index) {
  // The row that shows this device, wherever sorting has put it. Callers
  // switch sorting off around the writes (else each cell re-sorts).
  if (index >= row_items_.size()) return;
  const int row = row_items_[index]->row();
  if (row < 0) return;
  const InventoryResult* res = results_[index] ? &*results_[index] : nullptr;
  const InventoryRowText t = InventoryRowFor(devices_[index], res, expected_->text().toStdString());
  const std::string* f[kColumns] = {&t.mac,           &t.ip,         &t.model,        &t.system_mode,
                                    &t.firmware_version, &t.serial_number, &t.version_match};
  for (int c = 0; c < kColumns; ++c) {
    QTableWidgetItem* item = table_->item(row, c);
    const QString text = Cell(*f[c]);
    item->setText(text);
    item->setToolTip(text);
  }
  table_->item(row, kIpColumn)->setData(kKeyRole, static_cast<qulonglong>(IpToHostOrder(devices_[index].ip)));
  QTableWidgetItem* match = table_->item(row, kMatchColumn);
  match->setForeground(t.version_match == "no" ? QColor(255, 0, 0) : QColor(0, 0, 0));
}

void CInventoryWindow::WriteRows(const std::vector<size_t>& indexes) {
  const bool sorting = table_->isSortingEnabled();
  table_->setSortingEnabled(false);
  for (size_t i : indexes) WriteRow(i);
  table_->setSortingEnabled(sorting);
}

void CInventoryWindow::RefreshCounts() {
  const int total = static_cast<int>(devices_.size());
  QString text = QStringLiteral("Answered: %1  Failed: %2").arg(answered_).arg(failed_);
  if (!expected_->text().isEmpty()) text += QStringLiteral("  Mismatched: %1").arg(Mismatched());
  text += QStringLiteral("  (%1 of %2 read%3)")
              .arg(answered_ + failed_)
              .arg(total)
              .arg(running_ ? QStringLiteral(", reading ...") : QString());
  counts_->setText(text);
}

void CInventoryWindow::OnExport() {
  const std::string path = prompt_ ? prompt_->SaveFileName("Export", "inventory.csv") : std::string();
  if (path.empty()) return;
  const std::string want = expected_->text().toStdString();
  std::vector<InventoryRowText> rows;
  for (int r = 0; r < table_->rowCount(); ++r) {  // in the order shown
    const size_t i = static_cast<size_t>(table_->item(r, 0)->data(kIndexRole).toInt());
    if (i >= devices_.size()) continue;
    rows.push_back(InventoryRowFor(devices_[i], results_[i] ? &*results_[i] : nullptr, want));
  }
  std::string error;
  if (WriteInventoryCsv(path, rows, !want.empty(), &error) != 0)
    prompt_->Info("Could not write \"" + path + "\": " + error, PromptIcon::kError);
}

void CInventoryWindow::StopRun() {
  if (runner_) runner_->Stop();  // bounded by the run's stop wait
  running_ = false;
}

void CInventoryWindow::closeEvent(QCloseEvent* e) {
  StopRun();
  e->accept();
}
