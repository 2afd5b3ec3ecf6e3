#pragma once
// The video viewer control of the monitoring window. The window drives it only
// through Dispatch (the control's dispatch identifiers with their arguments)
// and hears from it only through controlEvent, so a recording fake can stand
// in for it in tests.
#include <QImage>
#include <QTimer>
#include <QVariantList>
#include <QWidget>
#include <atomic>
#include <string>

#include "engine/video/video_client.h"

// Dispatch identifiers of the control.
enum : int {
  DISPID_CAPTION = 2,        // property: 16-bit 61 shows the caption, 0 hides it
  DISPID_OPTION_17 = 17,     // property: Boolean (kept)
  DISPID_OPTION_29 = 29,     // property: Boolean (kept)
  DISPID_DISCONNECT = 36,    // method
  DISPID_CONNECT = 37,       // method
  DISPID_SET_LOGIN = 41,     // method: ID text, password text
  DISPID_SET_SERVER = 42,    // method: address text, port (32-bit), a null text
  DISPID_SET_CHANNEL = 53,   // method: channel (16-bit)
};
// Event identifiers.
enum : int {
  DISPID_EVENT_NO_ANSWER = 9,       // no arguments
  DISPID_EVENT_LOGIN_FAILED = 19,   // 16-bit code: 1 too many viewers, 2 wrong ID/password
};
constexpr int kCaptionOn = 61;

class CViewerControl : public QWidget {
  Q_OBJECT
 public:
  explicit CViewerControl(QWidget* parent = nullptr) : QWidget(parent) {}
  // A method call or property set by dispatch identifier; false for an
  // unknown identifier or unusable arguments.
  virtual bool Dispatch(int id, const QVariantList& args) = 0;
  // Tells the connection to end without waiting for it; the disconnect
  // dispatch that follows only waits. An owner of many controls stops them
  // all within one stop wait this way.
  virtual void BeginDisconnect() {}

 signals:
  void controlEvent(int id, const QVariantList& args);
};

// The real control: RTSP client underneath, the newest frame painted scaled
// to fit with its aspect ratio kept, an optional caption drawn over it.
class CPixviewerctrlctrl1 : public CViewerControl, private VideoSink {
  Q_OBJECT
 public:
  explicit CPixviewerctrlctrl1(QWidget* parent = nullptr);
  ~CPixviewerctrlctrl1() override;  // ends the worker (bounded)

  bool Dispatch(int id, const QVariantList& args) override;
  void BeginDisconnect() override;

  void SetTimings(const VideoTimings& t) { timings_ = t; }
  bool Connected() const { return connected_; }
  // Frames painted since the last connect, and the newest of them.
  uint64_t PaintedFrames() const { return painted_; }
  const QImage& Picture() const { return picture_; }
  bool CaptionShown() const { return caption_ == kCaptionOn; }
  // The caption's text as drawn now.
  QString CaptionText() const;
  VideoStats Stats() const { return client_.Stats(); }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  void OnVideoFrame(uint64_t gen) override;
  void OnVideoFailed(uint64_t gen, int32_t code) override;
  void TakeNewestFrame(uint64_t gen);
  void Failed(uint64_t gen, int32_t code);

  VideoClient client_;
  VideoTimings timings_;
  VideoSource source_;
  bool option29_ = false;
  bool option17_ = false;
  int caption_ = 0;
  bool connected_ = false;
  std::atomic<bool> frame_queued_{false};  // one hand-over to the window thread at a time
  VideoFrame frame_;
  QImage picture_;
  uint64_t painted_ = 0;
  QTimer clock_;  // repaints the caption's time while no frames come
};
