#include "tests/http/local_http_server.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "engine/devices/device_record.h"
#include "platform/tcp_socket.h"
#include "platform/ticks.h"

ReplyScript OneChunk(const std::string& bytes) {
  ReplyScript s;
  s.chunks.push_back({0, bytes});
  return s;
}

bool RequestComplete(const std::string& buf) {
  size_t head = buf.find("\r\n\r\n");
  if (head == std::string::npos) return false;
  size_t want = 0;
  size_t p = 0;
  while (p < head) {
    size_t e = buf.find("\r\n", p);
    std::string line = buf.substr(p, e - p);
    for (auto& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (line.rfind("content-length:", 0) == 0) want = std::strtoul(line.c_str() + 15, nullptr, 10);
    p = e + 2;
  }
  return buf.size() >= head + 4 + want;
}

std::string RequestBody(const std::string& request) {
  size_t head = request.find("\r\n\r\n");
  return head == std::string::npos ? std::string() : request.substr(head + 4);
}

LocalHttpServer::LocalHttpServer(Handler handler, uint32_t ip) : handler_(std::move(handler)) {
  listener_ = dk::TcpListen(ip ? ip : IpFromOctets(127, 0, 0, 1), 0, 16);
  if (listener_ < 0) return;
  port_ = dk::TcpLocalPort(listener_);
  thread_ = std::thread([this] { Run(); });
}

LocalHttpServer::~LocalHttpServer() {
  stop_.Set();
  if (thread_.joinable()) thread_.join();
  dk::TcpClose(listener_);
}

std::vector<std::string> LocalHttpServer::Requests() const {
  std::lock_guard<std::mutex> lk(mu_);
  return requests_;
}

int LocalHttpServer::Accepted() const {
  std::lock_guard<std::mutex> lk(mu_);
  return accepted_;
}

void LocalHttpServer::Run() {
  while (!stop_.IsSet()) {
    int c = dk::TcpAccept(listener_, 20);
    if (c < 0) continue;
    {
      std::lock_guard<std::mutex> lk(mu_);
      ++accepted_;
    }
    Serve(c);
    dk::TcpClose(c);
  }
}

void LocalHttpServer::Serve(int c) {
  std::string req;
  char buf[4096];
  dk::TickTimer t;
  t.Start();
  while (!stop_.IsSet() && !t.Expired(3000) && !RequestComplete(req)) {
    if (dk::TcpWaitReadable(c, 5000) != 1) continue;
    int n = dk::TcpRecv(c, buf, sizeof buf);
    if (n == 0 || n == -1) return;
    if (n > 0) req.append(buf, static_cast<size_t>(n));
  }
  if (!RequestComplete(req)) return;
  {
    std::lock_guard<std::mutex> lk(mu_);
    requests_.push_back(req);
  }
  ReplyScript script = handler_(req);
  for (const ReplyChunk& ch : script.chunks) {
    dk::TickTimer d;
    d.Start();
    while (!d.Expired(ch.delay_ms) && !stop_.IsSet()) dk::SleepMs(1);
    if (stop_.IsSet()) return;
    if (!ch.bytes.empty() && dk::TcpSend(c, ch.bytes.data(), ch.bytes.size(), 2000) < 0) return;
  }
  dk::TickTimer h;
  h.Start();
  while (!h.Expired(script.hold_ms) && !stop_.IsSet()) dk::SleepMs(2);
}
