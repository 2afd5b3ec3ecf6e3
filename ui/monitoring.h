#pragma once
// The monitoring window: one device's live video in the viewer control, with
// stream and channel choice, caption and the credentials to watch with.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <map>

#include "engine/devices/device_record.h"

class CViewerControl;
class Prompt;
class QCloseEvent;
class QKeyEvent;
class QResizeEvent;

// Control identifiers of the window.
enum : int {
  IDC_PIXVIEWERCTRLCTRL1 = 1069,
  IDC_STREAM_1ST = 1083,
  IDC_STREAM_2ND = 1084,
  IDC_STREAM_3RD = 1085,
  IDC_CHANNEL_LABEL = 1091,
  IDC_CHANNEL = 1092,
  IDC_CAPTION = 1086,
  IDC_MON_ID_LABEL = 1088,
  IDC_MON_ID = 1074,
  IDC_MON_PASS_LABEL = 1089,
  IDC_MON_PASS = 1075,
  IDC_MON_CONNECT = 1087,
};

// What the window connects to, copied in at construction.
struct MonitoringConnection {
  char address[64] = {};
  int16_t port = 0;  // port in use
  char id[64] = {};
  char password[64] = {};
  int16_t stream_port[3] = {};  // 1st, 2nd, 3rd stream; 0 when not reported
};

// The main window's connection information for a device: AV port 1 (1852 when
// it is 0), "root" and the default administrator password.
MonitoringConnection MakeMonitoringConnection(const DeviceRecord& rec);

// Window messages of the viewer's events.
extern const char kMonitorTooManyText[];
extern const char kMonitorLoginText[];
extern const char kMonitorLoginErrorText[];
extern const char kMonitorNoAnswerText[];

// Smallest client area: the 578 x 439 window less its frame.
constexpr int kMonitorMinWidth = 570;
constexpr int kMonitorMinHeight = 400;

class CMonitoring : public QDialog {
  Q_OBJECT
 public:
  using ViewerFactory = std::function<CViewerControl*(QWidget* parent)>;
  // viewer may be empty: the real control. Connects at once.
  CMonitoring(const MonitoringConnection& conn, Prompt* prompt, const ViewerFactory& viewer,
              QWidget* parent = nullptr);
  ~CMonitoring() override;

  QWidget* Control(int id) const;
  CViewerControl* Viewer() const { return viewer_; }
  const MonitoringConnection& Connection() const { return conn_; }
  bool IsConnected() const { return connected_ != 0; }
  bool CaptionOn() const { return caption_ != 0; }
  int Channel() const { return channel_; }

  // Commands as the controls send them.
  void OnConnectButton();
  void OnStream(int index);  // 0, 1, 2
  void OnChannelChanged(int index);
  void OnCaption();

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void OnInitDialog();
  void ConnectSequence();
  void EnterDisconnected();
  void OnViewerEvent(int id, const QVariantList& args);
  void Layout(int cx, int cy);
  void Place(int id, int x, int y, int w, int h);

  MonitoringConnection conn_;
  Prompt* prompt_;
  CViewerControl* viewer_ = nullptr;
  int32_t connected_ = 0;
  int32_t caption_ = 0;
  int channel_ = 1;
  bool in_init_ = false;
  std::map<int, QWidget*> controls_;
};
