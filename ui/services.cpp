// The engine behind the window, the message boxes, the look and the About box.
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFont>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/app.h"
#include "ui/backend.h"
#include "ui/prompt.h"

const char kAboutMenuText[] = "Dravenkit 정보(&A)...";

int WindowPx(int layout_px) { return layout_px * 5 / 4; }

std::string MakeWindowTitle(const char* version) { return std::string("Dravenkit ver. ") + (version ? version : ""); }

const char* BuildVersion() {
#ifdef DRAVENKIT_VERSION
  return DRAVENKIT_VERSION;
#else
  return nullptr;
#endif
}

// ---------------------------------------------------------------- prompt

void QtPrompt::Info(const std::string& text, PromptIcon icon) {
  const QMessageBox::Icon i = icon == PromptIcon::kError     ? QMessageBox::Critical
                              : icon == PromptIcon::kWarning ? QMessageBox::Warning
                                                             : QMessageBox::Information;
  QMessageBox box(i, QStringLiteral("Dravenkit"), QString::fromUtf8(text.c_str()), QMessageBox::Ok, parent_);
  box.exec();
}

bool QtPrompt::Question(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Dravenkit"), QString::fromUtf8(text.c_str()),
                  QMessageBox::Ok | QMessageBox::Cancel, parent_);
  return box.exec() == QMessageBox::Ok;
}

std::string QtPrompt::SaveFileName(const std::string& caption, const std::string& suggested_name) {
  const QString path = QFileDialog::getSaveFileName(parent_, QString::fromStdString(caption),
                                                    QString::fromStdString(suggested_name),
                                                    QStringLiteral("CSV files (*.csv);;All files (*)"));
  return path.toStdString();
}

bool QtPrompt::QuestionWithDetails(const std::string& text, const std::string& details) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Dravenkit"), QString::fromUtf8(text.c_str()),
                  QMessageBox::Ok | QMessageBox::Cancel, parent_);
  box.setDetailedText(QString::fromUtf8(details.c_str()));
  return box.exec() == QMessageBox::Ok;
}

std::string QtPrompt::ChooseFile() {
  QFileDialog dialog(parent_, QString(), QString(), QString::fromUtf8("모든 파일 (*.*)"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setDefaultSuffix(QString());
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? std::string() : files.front().toStdString();
}

// ---------------------------------------------------------------- engine

EngineBackend::EngineBackend() = default;
EngineBackend::~EngineBackend() = default;

bool EngineBackend::StartScan(const ScanConfig& cfg, MessageSink* sink) { return scanner_.Start(cfg, sink); }
void EngineBackend::StopScan() { scanner_.Stop(); }
bool EngineBackend::StartInfoQuery(const VersionQueryParam& p, MessageSink* sink) { return info_.Start(p, sink); }
void EngineBackend::StopInfoQuery() { info_.Stop(); }
bool EngineBackend::StartPing(std::vector<PingTarget> targets, MessageSink* sink) {
  return ping_.Start(std::move(targets), sink);
}
void EngineBackend::StopPing() { ping_.Stop(); }
bool EngineBackend::StartNvtSetting(NvtSettingParam p, MessageSink* sink) { return nvt_.Start(std::move(p), sink); }
void EngineBackend::StopNvtSetting() { nvt_.Stop(); }
bool EngineBackend::PingRunning() const { return ping_.Running(); }
bool EngineBackend::StartUpdate(const UpdateConfig& cfg, MessageSink* sink) { return update_.Start(cfg, sink); }
void EngineBackend::StopUpdate() { update_.Stop(); }
bool EngineBackend::StartFactoryDefault(const FactoryDefaultConfig& cfg, MessageSink* sink) {
  return factory_.Start(cfg, sink);
}
void EngineBackend::StopFactoryDefault() { factory_.Stop(); }
int32_t EngineBackend::DeleteArpTable() { return ::DeleteArpTable(); }
int32_t EngineBackend::GetLocalAdapterInfo(LocalAdapterInfo* out) { return ::GetLocalAdapterInfo(out); }
bool EngineBackend::OpenUrl(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

int32_t EngineBackend::SetNetwork(const SetNetworkRequest& req, const SetNetworkTimings& t) {
  return SendSetNetworkRequest(req, TalqPortPair(0), t);
}

std::unique_ptr<InventoryRunner> EngineBackend::StartInventory(InventoryConfig cfg, MessageSink* sink) {
  auto runner = std::make_unique<InventoryRunner>();
  if (!runner->Start(std::move(cfg), sink)) return nullptr;
  return runner;
}

// ---------------------------------------------------------------- look

void ApplyDravenkitLook(QApplication* app) {
  app->setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  app->setPalette(app->style()->standardPalette());
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(11);
  font.setHintingPreference(QFont::PreferFullHinting);
  app->setFont(font);
  app->setWindowIcon(DravenkitIcon());
}

QIcon DravenkitIcon() {
  // A screen with a signal wave: a video device on the network.
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    p.setPen(QPen(QColor(20, 40, 80), s));
    p.setBrush(QColor(11, 145, 228));
    p.drawRoundedRect(QRectF(1 * s, 2 * s, 14 * s, 10 * s), 1.5 * s, 1.5 * s);
    p.setPen(QPen(Qt::white, 1.2 * s));
    p.drawLine(QPointF(3 * s, 7 * s), QPointF(6 * s, 7 * s));
    p.drawLine(QPointF(6 * s, 7 * s), QPointF(8 * s, 4 * s));
    p.drawLine(QPointF(8 * s, 4 * s), QPointF(10 * s, 10 * s));
    p.drawLine(QPointF(10 * s, 10 * s), QPointF(13 * s, 7 * s));
    p.setPen(QPen(QColor(20, 40, 80), s));
    p.drawLine(QPointF(8 * s, 12 * s), QPointF(8 * s, 14.5 * s));
    p.drawLine(QPointF(4 * s, 14.5 * s), QPointF(12 * s, 14.5 * s));
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

QDialog* CreateAboutDialog(QWidget* parent) {
  auto* dlg = new QDialog(parent);
  dlg->setObjectName(QStringLiteral("about"));
  dlg->setWindowTitle(QString::fromUtf8("Dravenkit 정보"));
  auto* top = new QVBoxLayout(dlg);
  auto* row = new QHBoxLayout();
  auto* icon = new QLabel(dlg);
  icon->setPixmap(DravenkitIcon().pixmap(32, 32));
  row->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout();
  auto* version = new QLabel(QString::fromStdString(MakeWindowTitle(BuildVersion())), dlg);
  version->setObjectName(QStringLiteral("version"));
  texts->addWidget(version);
  texts->addWidget(new QLabel(QStringLiteral("Administration of network video encoders and decoders."), dlg));
  row->addLayout(texts);
  top->addLayout(row);
  auto* buttons = new QDialogButtonBox(dlg);
  QPushButton* ok = buttons->addButton(QString::fromUtf8("확인"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
  top->addWidget(buttons);
  return dlg;
}
