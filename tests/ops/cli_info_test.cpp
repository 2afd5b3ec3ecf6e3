// dravenkit-cli info against a local device web server.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "platform/process.h"
#include "tests/http/local_http_server.h"
#include "tests/support/tool_path.h"

namespace {

LocalHttpServer::Handler Device(const std::string& mode, const std::string& version, const std::string& serial) {
  return [=](const std::string& req) {
    std::string body;
    if (req.rfind("POST /cgi-bin/GetJsonValue.cgi", 0) == 0) body = "\"" + mode + "\"\r\n";
    else if (req.find("ITEM=software_version") != std::string::npos) body = version + "\r\n";
    else if (req.find("TYPE=serial") != std::string::npos) body = serial + "\r\n";
    return OneChunk("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body);
  };
}

int32_t Cli(const std::vector<std::string>& args, std::string* out) {
  std::vector<std::string> argv = {dktest::CliPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  const int32_t rc = dk::ProcessRun(argv, out);
#ifdef _WIN32
  // A Windows console program ends its lines with CR LF.
  for (size_t at; (at = out->find("\r\n")) != std::string::npos;) out->erase(at, 1);
#endif
  return rc;
}

TEST(CliInfoTest, PrintsThePanelTexts) {
  LocalHttpServer srv(Device("encoder", "5.2.1", "SN0042"));
  ASSERT_TRUE(srv.ok());
  std::string port = std::to_string(srv.port());
  std::string out;
  EXPECT_EQ(Cli({"info", "127.0.0.1", "--port", port}, &out), 0);
  EXPECT_EQ(out, "System Mode : encoder\nFirmware Ver. : 5.2.1\nSerial No. : SN0042\n");
  EXPECT_EQ(Cli({"info", "--json", "127.0.0.1", "--port", port}, &out), 0);
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(nlohmann::json::parse(out),
            nlohmann::json::parse("{\"system_mode\": \"encoder\", \"firmware_version\": \"5.2.1\", \"serial_number\": \"SN0042\"}"));
}

TEST(CliInfoTest, DeviceTextsCannotBreakTheOutput) {
  LocalHttpServer srv(Device("bridge", "1.0\"x\\", std::string("S\x1b[2J", 5)));
  ASSERT_TRUE(srv.ok());
  std::string port = std::to_string(srv.port());
  std::string out;
  EXPECT_EQ(Cli({"info", "127.0.0.1", "--port", port}, &out), 0);
  EXPECT_EQ(out, "System Mode : -\nFirmware Ver. : 1.0\"x\\\nSerial No. : S\\x1B[2J\n");
  EXPECT_EQ(Cli({"info", "127.0.0.1", "--port", port, "--json"}, &out), 0);
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(out),
            nlohmann::json::parse("{\"system_mode\": \"-\", \"firmware_version\": \"1.0\\\"x\\\\\", \"serial_number\": \"S\\u001B[2J\"}"));
}

TEST(CliInfoTest, UnreachableDevice) {
  if (!InPrivateNetNamespace()) GTEST_SKIP() << "only in a private namespace";
  std::string out;
  EXPECT_EQ(Cli({"info", "198.51.100.1"}, &out), 1);
  EXPECT_EQ(out, "System Mode : failed\nFirmware Ver. : failed\nSerial No. : failed\n");
}

TEST(CliInfoTest, UsageErrors) {
  std::string out;
  EXPECT_EQ(Cli({"info"}, &out), 2);
  EXPECT_EQ(Cli({"info", "1.2.3"}, &out), 2);
  EXPECT_EQ(Cli({"info", "127.0.0.1", "--port"}, &out), 2);
  EXPECT_EQ(Cli({"info", "127.0.0.1", "--port", "70000"}, &out), 2);
  EXPECT_EQ(Cli({"info", "127.0.0.1", "--port", "8x"}, &out), 2);
  EXPECT_EQ(Cli({"info", "127.0.0.1", "127.0.0.2"}, &out), 2);
  EXPECT_EQ(Cli({"info", "--help"}, &out), 0);
  EXPECT_NE(out.find("usage: dravenkit-cli info IP"), std::string::npos);
  EXPECT_EQ(Cli({"ping", "--bogus"}, &out), 2);
}

}  // namespace
