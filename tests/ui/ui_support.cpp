#include "ui_support.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>

#include "platform/exe_path.h"
#include "tests/support/test_select.h"
#include "ui/app.h"

bool FakeBackend::StartScan(const ScanConfig& cfg, MessageSink*) {
  ++scan_starts;
  last_scan = cfg;
  return scan_result;
}

bool FakeBackend::StartInfoQuery(const VersionQueryParam& p, MessageSink* sink) {
  queries.push_back(p);
  query_sinks.push_back(sink);
  return true;
}

bool FakeBackend::StartNvtSetting(NvtSettingParam p, MessageSink*) {
  nvt_runs.push_back(std::move(p));
  return true;
}

bool FakeBackend::StartPing(std::vector<PingTarget> targets, MessageSink*) {
  pings.push_back(std::move(targets));
  return true;
}

bool FakeBackend::StartFactoryDefault(const FactoryDefaultConfig& cfg, MessageSink*) {
  factory_runs.push_back(cfg);
  return factory_result;
}

int32_t FakeBackend::GetLocalAdapterInfo(LocalAdapterInfo* out) {
  *out = LocalAdapterInfo{};
  if (!adapter_found) return -1;
  out->found = true;
  out->ip = "192.168.1.50";
  out->subnet_mask = "255.255.255.0";
  out->gateway = "192.168.1.1";
  out->dns_server = "192.168.1.2";
  return 0;
}

DeviceRecord TestRecord(uint8_t id, const char* ip, const char* model, uint16_t web, uint16_t av1, uint16_t av2,
                        uint16_t av3, uint8_t network_type) {
  DeviceRecord r;
  ZeroRecord(&r);
  const uint8_t mac[6] = {0x00, 0x1C, 0x84, 0x10, 0x20, id};
  std::memcpy(r.mac, mac, 6);
  uint32_t a = 0;
  ParseIp(ip, &a);
  r.ip = a;
  r.configured_ip = a;
  r.subnet_mask = IpFromOctets(255, 255, 255, 0);
  r.gateway = IpFromOctets(192, 168, 1, 1);
  r.dns_server = IpFromOctets(8, 8, 8, 8);
  r.network_type = network_type;
  std::strncpy(r.model_name, model, sizeof r.model_name - 1);
  r.web_port = web;
  r.av_port1 = av1;
  r.av_port2 = av2;
  r.av_port3 = av3;
  return r;
}

void Pump() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

WindowFixture::WindowFixture() { dk::SetExecutableDirOverride(dir.path()); }

WindowFixture::~WindowFixture() {
  window_.reset();
  dk::SetExecutableDirOverride("");
}

CDravenkitDlg* WindowFixture::Open(const std::string& settings_ini, const std::string& language_ini, bool show) {
  if (!settings_ini.empty()) dir.Write("Dravenkit.ini", settings_ini);
  if (!language_ini.empty()) dir.Write("DravenkitLanguage.ini", language_ini);
  WindowOptions o;
  o.backend = engine;
  o.prompt = &prompt;
  o.timings = timings;
  o.info_timings = info_timings;
  o.make_viewer = make_viewer;
  o.run_authentication = [this](Authentication& dlg) { return authenticate ? authenticate(dlg) : 0; };
  if (adjust) adjust(&o);
  window_ = std::make_unique<CDravenkitDlg>(o);
  if (!window_->Initialize()) return nullptr;
  if (show) {
    window_->show();
    Pump();
  }
  return window_.get();
}

void WindowFixture::Feed(const DeviceRecord& rec) {
  window_->Post(MakeDeviceFound(rec));
  Pump();
}

void WindowFixture::Discover(const std::vector<DeviceRecord>& recs) {
  window_->OnCommand(IDC_DISCOVERY);
  for (const auto& r : recs) window_->Post(MakeDeviceFound(r));
  window_->Post(MakeSignal(UM_SCAN_DONE));
  Pump();
}

std::string WindowFixture::Cell(int row, int col) const { return list()->GetItemText(row, col).toStdString(); }

std::string WindowFixture::Text(int id) const {
  QWidget* c = window_->Control(id);
  if (auto* l = qobject_cast<QLabel*>(c)) return l->text().toStdString();
  if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text().toStdString();
  if (auto* b = qobject_cast<QAbstractButton*>(c)) return b->text().toStdString();
  if (auto* g = qobject_cast<QGroupBox*>(c)) return g->title().toStdString();
  ADD_FAILURE() << "no text control " << id;
  return {};
}

bool WindowFixture::Visible(int id) const { return !window_->Control(id)->isHidden(); }
bool WindowFixture::Enabled(int id) const { return window_->Control(id)->isEnabled(); }

void WindowFixture::ClickRow(int row, int col, Qt::KeyboardModifiers mods) {
  const QRect r = list()->visualRect(list()->Model()->index(row, col));
  ASSERT_TRUE(r.isValid()) << "row " << row << " not on screen";
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, mods, r.center());
  Pump();
}

void WindowFixture::ClickEmpty() {
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(20, list()->viewport()->height() - 5));
  Pump();
}

void WindowFixture::RightClickRow(int row) {
  const QPoint p = list()->visualRect(list()->Model()->index(row, kColModel)).center();
  QTest::mousePress(list()->viewport(), Qt::RightButton, Qt::NoModifier, p);
  QTest::mouseRelease(list()->viewport(), Qt::RightButton, Qt::NoModifier, p);
  QContextMenuEvent ev(QContextMenuEvent::Mouse, p, list()->viewport()->mapToGlobal(p));
  QCoreApplication::sendEvent(list()->viewport(), &ev);
  Pump();
}

void WindowFixture::DoubleClickRow(int row) {
  const QPoint p = list()->visualRect(list()->Model()->index(row, kColModel)).center();
  QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, p);
  Pump();
}

void WindowFixture::ClickHeader(int col) {
  CXHeaderCtrl* h = list()->Header();
  const QPoint p(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, h->height() / 2);
  QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, p);
  Pump();
}

void WindowFixture::Key(int key) {
  QTest::keyClick(list(), static_cast<Qt::Key>(key));
  Pump();
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ApplyDravenkitLook(&app);
  ::testing::InitGoogleTest(&argc, argv);
  if (!dktest::SelectTestsBySource(argc, argv)) return 1;
  return RUN_ALL_TESTS();
}
