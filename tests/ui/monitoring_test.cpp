// The monitoring window with a recording control: dispatch sequences, the
// stream buttons, the events' messages, the layout.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <memory>

#include "ui/monitoring.h"
#include "ui/viewer_control.h"
#include "ui_support.h"

namespace {

struct Call {
  int id;
  QVariantList args;
};

class RecordingViewer : public CViewerControl {
 public:
  using CViewerControl::CViewerControl;
  bool Dispatch(int id, const QVariantList& args) override {
    calls.push_back({id, args});
    return true;
  }
  std::vector<int> Ids() const {
    std::vector<int> v;
    for (const Call& c : calls) v.push_back(c.id);
    return v;
  }
  void Fire(int id, const QVariantList& args) { emit controlEvent(id, args); }
  std::vector<Call> calls;
};

const std::vector<int> kSequence = {42, 41, 29, 17, 53, 37};

std::vector<int> Concat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class MonitoringTest : public ::testing::Test {
 protected:
  void Open(const DeviceRecord& rec) {
    dlg = std::make_unique<CMonitoring>(MakeMonitoringConnection(rec), &prompt, [this](QWidget* parent) {
      viewer = new RecordingViewer(parent);
      return viewer;
    });
  }
  QRadioButton* Radio(int i) const { return static_cast<QRadioButton*>(dlg->Control(IDC_STREAM_1ST + i)); }
  QString Text(int id) const {
    QWidget* w = dlg->Control(id);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    return static_cast<QLineEdit*>(w)->text();
  }
  // The argument of the last call with this id.
  QVariantList Last(int id) const {
    for (auto it = viewer->calls.rbegin(); it != viewer->calls.rend(); ++it)
      if (it->id == id) return it->args;
    return {};
  }

  FakePrompt prompt;
  RecordingViewer* viewer = nullptr;
  std::unique_ptr<CMonitoring> dlg;
};

TEST_F(MonitoringTest, OpensConnectedWithTheFixedTextsAndCredentials) {
  Open(TestRecord(1, "10.0.0.7", "m", 80, 554, 555, 556));
  EXPECT_EQ(dlg->windowTitle(), "Monitoring");
  EXPECT_EQ(viewer->Ids(), kSequence);
  EXPECT_EQ(Last(42), (QVariantList{"10.0.0.7", 554, QString()}));
  EXPECT_EQ(Last(41), (QVariantList{"root", "tulp"}));
  EXPECT_EQ(Last(29), QVariantList{true});
  EXPECT_EQ(Last(17), QVariantList{false});
  EXPECT_EQ(Last(53)[0].toInt(), 1);
  EXPECT_TRUE(dlg->IsConnected());
  const std::vector<std::pair<int, const char*>> texts = {
      {IDC_STREAM_1ST, "1st"}, {IDC_STREAM_2ND, "2nd"},   {IDC_STREAM_3RD, "3rd"},   {IDC_CHANNEL_LABEL, "Channel :"},
      {IDC_CAPTION, "Caption"}, {IDC_MON_ID_LABEL, "ID : "}, {IDC_MON_ID, "root"},    {IDC_MON_PASS_LABEL, "Pass :"},
      {IDC_MON_PASS, "tulp"},  {IDC_MON_CONNECT, "Disconnect"}};
  for (const auto& [id, text] : texts) EXPECT_EQ(Text(id), QString::fromUtf8(text)) << id;
  EXPECT_TRUE(Radio(0)->isChecked());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Radio(i)->isEnabled());
  auto* channel = static_cast<QComboBox*>(dlg->Control(IDC_CHANNEL));
  ASSERT_EQ(channel->count(), 4);
  EXPECT_EQ(channel->currentText(), "1");
  EXPECT_EQ(channel->itemText(3), "4");
  EXPECT_EQ(static_cast<QLineEdit*>(dlg->Control(IDC_MON_PASS))->echoMode(), QLineEdit::Password);
  EXPECT_FALSE(dlg->Control(IDC_MON_ID)->isEnabled());
  EXPECT_FALSE(dlg->Control(IDC_MON_PASS)->isEnabled());
}

TEST_F(MonitoringTest, MissingPortsDisableTheirStreamButtons) {
  struct Case {
    uint16_t av1, av2, av3;
    int port;
    bool first, second, third;
  } cases[] = {{0, 0, 0, 1852, false, false, false}, {554, 0, 0, 554, true, false, false},
               {600, 601, 0, 600, true, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.av1);
    Open(TestRecord(1, "10.0.0.7", "m", 80, c.av1, c.av2, c.av3));
    EXPECT_EQ(dlg->Connection().port, c.port);
    EXPECT_EQ(Last(42)[1].toInt(), c.port);
    EXPECT_EQ(Radio(0)->isEnabled(), c.first);
    EXPECT_EQ(Radio(0)->isChecked(), c.first);
    EXPECT_EQ(Radio(1)->isEnabled(), c.second);
    EXPECT_EQ(Radio(2)->isEnabled(), c.third);
  }
}

TEST_F(MonitoringTest, DisconnectRunsTheSequenceOnceMoreThenDisconnects) {
  Open(TestRecord(1, "10.0.0.7", "m", 80, 554, 555, 556));
  static_cast<QLineEdit*>(dlg->Control(IDC_MON_ID))->setText("admin");
  static_cast<QPushButton*>(dlg->Control(IDC_MON_CONNECT))->click();
  EXPECT_EQ(viewer->Ids(), Concat(Concat(kSequence, kSequence), {36}));
  EXPECT_EQ(Last(41)[0].toString(), "admin");
  EXPECT_FALSE(dlg->IsConnected());
  EXPECT_EQ(Text(IDC_MON_CONNECT), "Connect");
  EXPECT_TRUE(dlg->Control(IDC_MON_ID)->isEnabled());
  EXPECT_TRUE(dlg->Control(IDC_MON_PASS)->isEnabled());
  viewer->calls.clear();
  static_cast<QPushButton*>(dlg->Control(IDC_MON_CONNECT))->click();
  EXPECT_EQ(viewer->Ids(), kSequence);
  EXPECT_TRUE(dlg->IsConnected());
}

TEST_F(MonitoringTest, StreamAndChannelReconnectOnlyWhenConnected) {
  Open(TestRecord(1, "10.0.0.7", "m", 80, 554, 555, 556));
  viewer->calls.clear();
  Radio(1)->click();
  EXPECT_EQ(viewer->Ids(), Concat({36}, kSequence));
  EXPECT_EQ(Last(42)[1].toInt(), 555);
  viewer->calls.clear();
  static_cast<QComboBox*>(dlg->Control(IDC_CHANNEL))->setCurrentIndex(2);
  EXPECT_EQ(viewer->Ids(), Concat({36}, kSequence));
  EXPECT_EQ(Last(53)[0].toInt(), 3);

  static_cast<QPushButton*>(dlg->Control(IDC_MON_CONNECT))->click();  // disconnect
  viewer->calls.clear();
  Radio(2)->click();
  static_cast<QComboBox*>(dlg->Control(IDC_CHANNEL))->setCurrentIndex(3);
  EXPECT_EQ(viewer->Ids(), (std::vector<int>{36, 36}));
  EXPECT_EQ(dlg->Channel(), 4);
  static_cast<QPushButton*>(dlg->Control(IDC_MON_CONNECT))->click();
  EXPECT_EQ(Last(42)[1].toInt(), 556);
  EXPECT_EQ(Last(53)[0].toInt(), 4);
}

TEST_F(MonitoringTest, CaptionTogglesProperty2) {
  Open(TestRecord(1, "10.0.0.7"));
  viewer->calls.clear();
  static_cast<QPushButton*>(dlg->Control(IDC_CAPTION))->click();
  static_cast<QPushButton*>(dlg->Control(IDC_CAPTION))->click();
  ASSERT_EQ(viewer->Ids(), (std::vector<int>{2, 2}));
  EXPECT_EQ(viewer->calls[0].args[0].toInt(), 61);
  EXPECT_EQ(viewer->calls[1].args[0].toInt(), 0);
}

TEST_F(MonitoringTest, EventsTellTheOperatorAndDisconnect) {
  struct Case {
    int id;
    QVariantList args;
    const char* text;
  } cases[] = {{19, {1}, kMonitorTooManyText},
               {19, {2}, kMonitorLoginText},
               {19, {5}, kMonitorLoginErrorText},
               {9, {}, kMonitorNoAnswerText}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Open(TestRecord(1, "10.0.0.7"));
    viewer->calls.clear();
    prompt.infos.clear();
    viewer->Fire(c.id, c.args);
    ASSERT_EQ(prompt.infos.size(), 1u);
    EXPECT_EQ(prompt.infos[0], c.text);
    EXPECT_EQ(viewer->Ids(), std::vector<int>{36});
    EXPECT_FALSE(dlg->IsConnected());
    EXPECT_EQ(Text(IDC_MON_CONNECT), "Connect");
    EXPECT_TRUE(dlg->Control(IDC_MON_ID)->isEnabled());
  }
  EXPECT_EQ(std::string(kMonitorTooManyText), "Maximum connection을 초과하였습니다.\n");
}

TEST_F(MonitoringTest, ResizingPlacesTheRowAndKeepsTheMinimum) {
  Open(TestRecord(1, "10.0.0.7"));
  dlg->show();
  EXPECT_EQ(dlg->Control(IDC_PIXVIEWERCTRLCTRL1)->geometry(), QRect(5, 5, 560, 352));
  EXPECT_EQ(dlg->Control(IDC_MON_CONNECT)->geometry(), QRect(490, 370, 70, 20));
  dlg->resize(800, 600);
  Pump();
  const std::vector<std::pair<int, QRect>> want = {
      {IDC_PIXVIEWERCTRLCTRL1, {5, 5, 790, 552}}, {IDC_STREAM_1ST, {10, 570, 40, 20}},
      {IDC_STREAM_2ND, {60, 570, 40, 20}},        {IDC_STREAM_3RD, {110, 570, 40, 20}},
      {IDC_CHANNEL_LABEL, {160, 573, 50, 20}},    {IDC_CHANNEL, {210, 570, 40, 20}},
      {IDC_CAPTION, {260, 570, 50, 20}},          {IDC_MON_ID_LABEL, {320, 573, 20, 20}},
      {IDC_MON_ID, {340, 570, 50, 20}},           {IDC_MON_PASS_LABEL, {400, 573, 30, 20}},
      {IDC_MON_PASS, {430, 570, 50, 20}},         {IDC_MON_CONNECT, {490, 570, 70, 20}}};
  for (const auto& [id, r] : want) EXPECT_EQ(dlg->Control(id)->geometry(), r) << id;
  dlg->resize(300, 200);
  Pump();
  EXPECT_EQ(dlg->size(), QSize(kMonitorMinWidth, kMonitorMinHeight));
}

class MonitoringMenuTest : public WindowFixture, public ::testing::Test {};

TEST_F(MonitoringMenuTest, MenuEntryOpensTheWindowForTheSelectedDevice) {
  RecordingViewer* viewer = nullptr;
  make_viewer = [&viewer](QWidget* parent) { return viewer = new RecordingViewer(parent); };
  ASSERT_TRUE(Open());
  w()->OnCommand(ID_MENU_MONITORING);  // nothing selected
  EXPECT_EQ(Probe(w()).MonitoringWindow(), nullptr);
  Discover({TestRecord(1, "10.0.0.1", "a", 80, 0), TestRecord(2, "10.0.0.2", "b", 80, 7000, 7001)});
  RightClickRow(1);
  ASSERT_EQ(Probe(w()).ContextMenu()->actions().size(), 5);  // Monitoring, web page, Video wall, Export list..., Read information
  QAction* monitoring = Probe(w()).ContextMenu()->actions()[0];
  EXPECT_EQ(monitoring->text(), "Monitoring");
  Probe(w()).ContextMenu()->hide();
  monitoring->trigger();
  Pump();
  auto* dlg = qobject_cast<CMonitoring*>(Probe(w()).MonitoringWindow());
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(dlg->isModal());
  EXPECT_STREQ(dlg->Connection().address, "10.0.0.2");
  EXPECT_EQ(dlg->Connection().stream_port[1], 7001);
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->Ids(), kSequence);
  dlg->close();
  Pump();
  EXPECT_EQ(Probe(w()).MonitoringWindow(), nullptr);
}

}  // namespace
