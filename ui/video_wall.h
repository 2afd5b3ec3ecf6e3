#pragma once
// The video wall: live video of up to 16 ticked devices at once, one viewer
// control each in a grid, captioned with the device's address. Each viewer
// watches the device's smallest stream (its last AV port) unless the switch
// asks for stream 1. The window works on copies of the records.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"

class CViewerControl;
class Prompt;
class QCheckBox;
class QCloseEvent;
class QLabel;

constexpr int kVideoWallMax = 16;

// The refusal of more ticked rows than the wall shows.
std::string VideoWallTooManyText(int ticked);
// The AV port a wall viewer watches: the last one the device reports (its
// smallest picture), or the first with first_stream; 0 when it reports none.
int WallStreamPort(const DeviceRecord& rec, bool first_stream);

class CVideoWall : public QDialog {
  Q_OBJECT
 public:
  using ViewerFactory = std::function<CViewerControl*(QWidget* parent)>;
  // viewer may be empty: the real control. Connects every viewer at once.
  CVideoWall(std::vector<DeviceRecord> devices, const ViewerFactory& viewer, QWidget* parent = nullptr);
  ~CVideoWall() override;  // StopAll

  int Count() const { return static_cast<int>(cells_.size()); }
  CViewerControl* Viewer(int i) const { return cells_[i].viewer; }
  QString CaptionText(int i) const;
  const DeviceRecord& Record(int i) const { return cells_[i].rec; }
  int PortInUse(int i) const { return cells_[i].port; }
  QCheckBox* FirstStreamSwitch() const { return first_stream_; }

  // Every viewer reconnects to stream 1 (on) or the smallest stream (off).
  void SetFirstStream(bool on);
  // Ends every connection: all are told first, then each is waited for, so
  // the whole takes one stop wait, not sixteen.
  void StopAll();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void done(int r) override;  // Esc and Enter end the connections too

 private:
  struct Cell {
    DeviceRecord rec;
    CViewerControl* viewer = nullptr;
    QLabel* caption = nullptr;
    int port = 0;
    QString reason;  // empty while the viewer is fine
  };
  void ConnectCell(int i);
  void OnViewerEvent(int i, int id, const QVariantList& args);
  void ShowCaption(int i);

  std::vector<Cell> cells_;
  QCheckBox* first_stream_ = nullptr;
  bool first_stream_on_ = false;
  bool stopped_ = false;
};

// Opens the wall over parent for the ticked rows' records (list order), or
// refuses more than kVideoWallMax through prompt (nullptr then). The window
// deletes itself when closed.
CVideoWall* OpenVideoWall(const std::vector<DeviceRecord>& ticked, Prompt* prompt,
                          const CVideoWall::ViewerFactory& viewer, QWidget* parent);
