// The firmware upload against a local server that records the request bytes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/update/firmware_upload.h"
#include "platform/ticks.h"
#include "tests/http/local_http_server.h"
#include "tests/support/firmware_image.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

const char kOk[] = "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nOK\r\n";

class UploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(HttpGlobalInit(), 0);
    image_ = dktest::FirmwareImage("2.0.1", 40000);
    path_ = dktest::WriteFirmware(dir_, "fw image 1.bin", "2.0.1", 40000);
  }
  UpdateJob Job(uint16_t port, int32_t type) {
    return MakeUpdateJob(path_, "127.0.0.1", "admin", "pw", port, type);
  }
  TempDir dir_;
  std::string image_, path_;
};

TEST_F(UploadTest, FormAndUrlByTypeWithTheWholePathAndTheFileStreamedAsIs) {
  struct Case {
    int32_t type;
    const char* field;
    const char* cgi;
  } cases[] = {{0, "_f_l_a_s_h_3_", "upload.cgi"}, {1, "FirmwareFile", "Upload.cgi"}, {-1, "FirmwareFile", "Upload.cgi"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    LocalHttpServer srv([](const std::string&) { return OneChunk(kOk); });
    ASSERT_TRUE(srv.ok());
    UpdateJob job = Job(srv.port(), c.type);
    std::vector<uint64_t> reports;
    job.progress = [&reports](uint64_t sent) { reports.push_back(sent); };
    uint64_t sent = 0;
    EXPECT_EQ(UploadProc(job, &sent), 0);
    const auto reqs = srv.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    const std::string& r = reqs[0];
    EXPECT_EQ(r.rfind(std::string("POST /cgi-bin/") + c.cgi + " HTTP/1.0\r\n", 0), 0u) << r.substr(0, 200);
    EXPECT_EQ(r.find("Expect:"), std::string::npos);
    EXPECT_NE(r.find("Content-Type: multipart/form-data; boundary="), std::string::npos);
    const std::string body = RequestBody(r);
    EXPECT_NE(r.find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
    const std::string disposition =
        std::string("Content-Disposition: form-data; name=\"") + c.field + "\"; filename=\"" + path_ + "\"\r\n";
    const size_t at = body.find(disposition);
    ASSERT_NE(at, std::string::npos) << body.substr(0, 300);
    // libcurl's default type for a file part, then the file byte for byte.
    const std::string head = disposition + "Content-Type: application/octet-stream\r\n\r\n";
    EXPECT_EQ(body.compare(at, head.size(), head), 0) << body.substr(at, 200);
    EXPECT_EQ(body.compare(at + head.size(), image_.size(), image_), 0);
    EXPECT_EQ(body.find("admin"), std::string::npos);  // credentials are not part of the upload
    EXPECT_EQ(sent, body.size());
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), sent);
  }
}

TEST_F(UploadTest, UrlUsesPort80ForZeroAndAnErrorAnswerStillCompletes) {
  UpdateJob job = MakeUpdateJob(path_, "10.1.2.3", "", "", 0, 0);
  EXPECT_EQ(UploadUrl(job), "http://10.1.2.3:80/cgi-bin/upload.cgi");
  job.port = 8080;
  job.type_index = 1;
  EXPECT_EQ(UploadUrl(job), "http://10.1.2.3:8080/cgi-bin/Upload.cgi");

  LocalHttpServer srv([](const std::string&) {
    return OneChunk("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
  });
  ASSERT_TRUE(srv.ok());
  long status = -1;
  EXPECT_EQ(UploadProc(Job(srv.port(), 1), nullptr, &status), 0);
  EXPECT_EQ(status, 500);  // handed back, so the run can report the refusal
}

TEST_F(UploadTest, FailuresGiveMinusTwo) {
  LocalHttpServer srv([](const std::string&) { return OneChunk(kOk); });
  ASSERT_TRUE(srv.ok());
  UpdateJob missing = Job(srv.port(), 0);
  missing.path = dir_.File("no such image.bin");
  bool body_sent = true;
  EXPECT_EQ(UploadProc(missing, nullptr, nullptr, &body_sent), -2);
  EXPECT_FALSE(body_sent);
  EXPECT_EQ(srv.Requests().size(), 0u);

  uint16_t closed_port = 0;
  {
    LocalHttpServer gone([](const std::string&) { return OneChunk(kOk); });
    closed_port = gone.port();
  }
  body_sent = true;
  EXPECT_EQ(UploadProc(Job(closed_port, 0), nullptr, nullptr, &body_sent), -2);
  EXPECT_FALSE(body_sent);
}

// A device that took every byte and then closed without a word (it restarts
// with its image) fails the transfer, but says the whole body went out.
TEST_F(UploadTest, AnEmptyReplyAfterTheWholeBodySaysTheBodyWasSent) {
  LocalHttpServer srv([](const std::string&) { return OneChunk(""); });
  ASSERT_TRUE(srv.ok());
  bool body_sent = false;
  uint64_t sent = 0;
  EXPECT_EQ(UploadProc(Job(srv.port(), 0), &sent, nullptr, &body_sent), -2);
  EXPECT_TRUE(body_sent);
  ASSERT_EQ(srv.Requests().size(), 1u);
  EXPECT_EQ(sent, RequestBody(srv.Requests()[0]).size());
  LocalHttpServer ok([](const std::string&) { return OneChunk(kOk); });
  body_sent = false;
  EXPECT_EQ(UploadProc(Job(ok.port(), 1), nullptr, nullptr, &body_sent), 0);
  EXPECT_TRUE(body_sent);
}

TEST_F(UploadTest, AStalledDeviceAndAStopEndTheTransfer) {
  // The server takes the request and then says nothing for 20 s.
  LocalHttpServer srv([](const std::string&) {
    ReplyScript s;
    s.hold_ms = 20000;
    return s;
  });
  ASSERT_TRUE(srv.ok());
  UpdateJob job = Job(srv.port(), 0);
  // libcurl averages the speed over a few seconds; a high floor makes the
  // standstill show within the test's time.
  job.timings.low_speed_limit = 1000000;
  job.timings.low_speed_time_s = 1;
  dk::TickTimer t;
  t.Start();
  bool body_sent = false;
  EXPECT_EQ(UploadProc(job, nullptr, nullptr, &body_sent), -2);
  EXPECT_LT(t.Elapsed(), 5000u);
  EXPECT_TRUE(body_sent);  // the device has it all and does not answer: it may be flashing

  dk::StopFlag stop;
  UpdateJob stopped = Job(srv.port(), 1);
  stopped.stop = &stop;
  // The stop comes during the transfer, once bytes have gone out.
  std::atomic<bool> sending{false};
  stopped.progress_ms = 10;
  stopped.progress = [&sending](uint64_t sent) {
    if (sent > 0) sending = true;
  };
  std::thread setter([&] {
    dktest::WaitFor([&] { return sending.load(); }, 10000);
    stop.Set();
  });
  t.Start();
  EXPECT_EQ(UploadProc(stopped), -2);
  EXPECT_LT(t.Elapsed(), 3000u);
  setter.join();
  EXPECT_TRUE(sending.load());
}

}  // namespace
