#include "ui/db_viewer.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <iterator>

#include "config/assignment_file.h"
#include "ui/cell_list.h"
#include "ui/app.h"

namespace {

struct ViewerColumn {
  const char* heading;
  int weight;
};
// The weights add up to 79: together the columns are wider than the list.
const ViewerColumn kViewerColumns[] = {{"No.", 6},         {"MAC address", 13}, {"Type", 5},
                                       {"IP address", 10}, {"Subnet mask", 10}, {"Gateway", 10},
                                       {"DNS", 10},        {"State", 15}};

}  // namespace

CDBViewer::CDBViewer(const std::string& path, QWidget* parent)
    : QDialog(parent), path_(path.substr(0, 255)), list_(new CCellListCtrl(this)) {
  list_->setObjectName(QStringLiteral("ctl%1").arg(IDC_DB_LIST));
  list_->setFixedSize(WindowPx(560), WindowPx(300));
  auto* top = new QVBoxLayout(this);
  top->addWidget(list_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("ctl1"));
  ok->setDefault(true);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("ctl2"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  top->addWidget(buttons);
}

void CDBViewer::InitDialog() {
  if (initialised_) return;
  initialised_ = true;
  setWindowTitle(QStringLiteral("DB Viewer"));
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->EnableToolTips(true);
  const int scroll = list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_);
  const int usable = list_->width() - 2 - scroll;
  for (int c = 0; c < static_cast<int>(std::size(kViewerColumns)); ++c)
    list_->InsertColumn(c, QString::fromLatin1(kViewerColumns[c].heading), Qt::AlignLeft,
                        usable * kViewerColumns[c].weight / 64);
  int n = 0;
  ReadAssignmentFile(path_, [&](const AssignmentEntry& e) {
    const int row = list_->GetItemCount();
    ++n;
    list_->InsertItem(row, QString::fromStdString(AssignmentNumberText(n)));
    const std::string* cells[] = {&e.mac, &e.type, &e.ip, &e.subnet_mask, &e.gateway, &e.dns_server};
    for (int c = 0; c < 6; ++c) list_->SetItemText(row, c + 1, QString::fromLocal8Bit(cells[c]->c_str()));
  });
}

int CDBViewer::exec() {
  InitDialog();
  return QDialog::exec();
}
