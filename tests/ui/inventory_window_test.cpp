// "Read information" and the inventory window with a scripted engine: rows
// filled as answers arrive, counts against a typed version, sorting, export,
// the main window left alone, and a close that ends a real run at once.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/ticks.h"
#include "tests/http/local_http_server.h"
#include "ui/inventory_window.h"
#include "ui_support.h"

namespace {

class InventoryWindowTest : public ::testing::Test, public WindowFixture {
 protected:
  QAction* ReadInformation() {
    for (QAction* a : Probe(w()).ContextMenu()->actions())
      if (a->text() == QStringLiteral("Read information")) return a;
    return nullptr;
  }
  CInventoryWindow* Inventory() { return qobject_cast<CInventoryWindow*>(Probe(w()).InventoryWindow()); }
  // Every cell of the main list and the information panel's texts.
  std::string FixtureCells() {
    std::string s;
    for (int r = 0; r < list()->GetItemCount(); ++r)
      for (int c = 0; c < 7; ++c) s += WindowFixture::Cell(r, c) + "|";
    return s + Text(IDC_SERIAL) + "|" + Text(IDC_FIRMWARE) + "|" + Text(IDC_SYSTEM_MODE);
  }
  static void DeleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  static InventoryResult Result(int32_t index, const DeviceRecord& rec, const char* version, bool ok = true) {
    InventoryResult r;
    r.index = index;
    std::memcpy(r.mac, rec.mac, 6);
    r.ip = rec.ip;
    r.answered_ping = ok;
    r.system_mode = ok ? "encoder" : "failed";
    r.firmware_version = ok ? version : "failed";
    r.serial_number = ok ? "SN" + std::to_string(index) : "failed";
    return r;
  }
  // Posts from another thread, as the run does.
  static void PostFromWorker(MessageSink* sink, std::vector<WorkerMessage> msgs) {
    std::thread t([sink, &msgs] {
      for (auto& m : msgs) sink->Post(std::move(m));
    });
    t.join();
  }
  std::string TCell(QTableWidget* t, int row, int col) { return t->item(row, col)->text().toStdString(); }
};

TEST_F(InventoryWindowTest, TickedRowsReadIntoASortableCountedExportableWindow) {
  ASSERT_TRUE(Open());
  const std::vector<DeviceRecord> recs = {TestRecord(1, "10.0.0.10"), TestRecord(2, "10.0.0.2"),
                                          TestRecord(3, "10.0.0.9"), TestRecord(4, "10.0.0.4")};
  Discover(recs);
  list()->SetCheckbox(0, kColNo, 1);
  list()->SetCheckbox(1, kColNo, 1);
  list()->SetCheckbox(2, kColNo, 1);
  const std::string status_before = FixtureCells();
  RightClickRow(3);
  QAction* read = ReadInformation();
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(read->isEnabled());
  read->trigger();
  Pump();
  ASSERT_EQ(backend.inventory_runs.size(), 1u);
  const InventoryConfig& cfg = backend.inventory_runs[0];
  ASSERT_EQ(cfg.devices.size(), 3u);  // the ticked rows, in row order
  for (int i = 0; i < 3; ++i) EXPECT_EQ(cfg.devices[i].mac[5], recs[i].mac[5]);
  EXPECT_EQ(cfg.timings.concurrency, 32);
  CInventoryWindow* inv = Inventory();
  ASSERT_NE(inv, nullptr);
  EXPECT_TRUE(inv->isVisible());
  EXPECT_FALSE(inv->isModal());
  QTableWidget* t = inv->Table();
  ASSERT_EQ(t->rowCount(), 3);
  EXPECT_EQ(TCell(t, 0, 3), "");  // not read yet

  MessageSink* sink = backend.inventory_sinks[0];
  std::vector<WorkerMessage> first;
  first.push_back(WorkerMessage{UM_INVENTORY_RESULT, 0, Result(2, recs[2], "2.0.0")});
  PostFromWorker(sink, std::move(first));
  Pump();
  EXPECT_EQ(TCell(t, 2, 4), "2.0.0");
  EXPECT_EQ(TCell(t, 2, 5), "SN2");
  EXPECT_EQ(TCell(t, 0, 4), "");
  EXPECT_EQ(inv->Answered(), 1);

  InventoryResult hostile = Result(0, recs[0], "1.9.0");
  hostile.serial_number = "=1+1\r\nX\x1b";
  std::vector<WorkerMessage> rest;
  rest.push_back(WorkerMessage{UM_INVENTORY_RESULT, 0, hostile});
  rest.push_back(WorkerMessage{UM_INVENTORY_RESULT, 0, Result(1, recs[1], "", false)});
  rest.push_back(WorkerMessage{UM_INVENTORY_DONE, 0, {}});
  PostFromWorker(sink, std::move(rest));
  Pump();
  EXPECT_FALSE(inv->Running());
  EXPECT_EQ(inv->Answered(), 2);
  EXPECT_EQ(inv->Failed(), 1);
  EXPECT_EQ(TCell(t, 0, 5), "=1+1\\x0D\\x0AX\\x1B");
  EXPECT_EQ(TCell(t, 1, 3), "failed");

  inv->ExpectedVersion()->setText(QStringLiteral("2.0.0"));
  EXPECT_EQ(inv->Mismatched(), 1);
  EXPECT_NE(inv->CountLabel()->text().indexOf(QStringLiteral("Mismatched: 1")), -1);
  EXPECT_EQ(TCell(t, 2, 6), "yes");
  EXPECT_EQ(TCell(t, 0, 6), "no");

  // By address, ascending: .2, .9, .10.
  t->sortItems(1, Qt::AscendingOrder);
  EXPECT_EQ(TCell(t, 0, 1), "10.0.0.2");
  EXPECT_EQ(TCell(t, 1, 1), "10.0.0.9");
  EXPECT_EQ(TCell(t, 2, 1), "10.0.0.10");

  prompt.save_path = dir.File("inventory.csv");
  inv->OnExport();
  std::ifstream in(prompt.save_path, std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  const InventoryResult r1 = Result(1, recs[1], "", false), r2 = Result(2, recs[2], "2.0.0");
  const std::string want = InventoryCsvText({InventoryRowFor(recs[1], &r1, "2.0.0"),
                                             InventoryRowFor(recs[2], &r2, "2.0.0"),
                                             InventoryRowFor(recs[0], &hostile, "2.0.0")},
                                            true);
  EXPECT_EQ(got.str(), want);
  EXPECT_NE(want.find("\"'=1+1\r\nX\x1b\""), std::string::npos);

  // The main window's list and panel are as they were.
  EXPECT_EQ(FixtureCells(), status_before);
  EXPECT_EQ(Probe(w()).Devices().Count(), 4);
  inv->close();
  DeleteClosed();
  EXPECT_EQ(Probe(w()).InventoryWindow(), nullptr);
}

TEST_F(InventoryWindowTest, NothingTickedReadsEveryRowAndAnEmptyListCannot) {
  ASSERT_TRUE(Open());
  Discover({TestRecord(1, "10.0.0.1"), TestRecord(2, "10.0.0.2")});
  RightClickRow(0);
  ASSERT_NE(ReadInformation(), nullptr);
  ReadInformation()->trigger();
  ASSERT_EQ(backend.inventory_runs.size(), 1u);
  EXPECT_EQ(backend.inventory_runs[0].devices.size(), 2u);
  w()->OnCommand(IDC_CLEAR);
  EXPECT_FALSE(ReadInformation()->isEnabled());
}

TEST_F(InventoryWindowTest, ClosingEndsARealRunOnAHangingDevice) {
  // The device accepts and never answers; the product deadlines are 3 s.
  LocalHttpServer silent([](const std::string&) {
    ReplyScript s;
    s.hold_ms = 20000;
    return s;
  });
  ASSERT_TRUE(silent.ok());
  ASSERT_TRUE(Open());
  DeviceRecord dev = TestRecord(1, "127.0.0.1", "NVT-E100", silent.port());
  Discover({dev});
  backend.start_inventory = [](InventoryConfig cfg, MessageSink* sink) {
    auto r = std::make_unique<InventoryRunner>();
    return r->Start(std::move(cfg), sink) ? std::move(r) : nullptr;
  };
  RightClickRow(0);
  ReadInformation()->trigger();
  CInventoryWindow* inv = Inventory();
  ASSERT_NE(inv, nullptr);
  EXPECT_TRUE(inv->Running());
  dk::TickTimer wait;
  wait.Start();
  while (silent.Accepted() < 1 && !wait.Expired(20000)) dk::SleepMs(10);
  ASSERT_GE(silent.Accepted(), 1);
  dk::TickTimer t;
  t.Start();
  inv->close();  // stops the run
  DeleteClosed();
  EXPECT_LT(t.Elapsed(), 6000u);
  EXPECT_EQ(Probe(w()).InventoryWindow(), nullptr);
  Pump();  // nothing from the run is left to reach it
}

}  // namespace
