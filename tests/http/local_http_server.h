#pragma once
// A TCP server on loopback (127.0.0.1 unless told) for the HTTP tests: records every request's bytes
// and answers each connection as its handler says (chunks with pauses, then
// close or hold the connection open). Everything it does is bounded.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread.h"

struct ReplyChunk {
  uint32_t delay_ms = 0;  // pause before this chunk
  std::string bytes;
};

struct ReplyScript {
  std::vector<ReplyChunk> chunks;
  uint32_t hold_ms = 0;  // keep the connection open this long after the last chunk
};

// Whole reply in one chunk.
ReplyScript OneChunk(const std::string& bytes);

class LocalHttpServer {
 public:
  using Handler = std::function<ReplyScript(const std::string& request)>;
  // Listens on ip (network byte order; default 127.0.0.1), on a free port.
  explicit LocalHttpServer(Handler handler, uint32_t ip = 0);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  bool ok() const { return listener_ >= 0; }
  uint16_t port() const { return port_; }
  // Complete requests received, in arrival order.
  std::vector<std::string> Requests() const;
  int Accepted() const;

 private:
  void Run();
  void Serve(int c);

  Handler handler_;
  int listener_ = -1;
  uint16_t port_ = 0;
  dk::StopFlag stop_;
  mutable std::mutex mu_;
  std::vector<std::string> requests_;
  int accepted_ = 0;
  std::thread thread_;
};

// The head of an HTTP request (up to the blank line) plus a Content-Length
// body: true when buf holds a complete request.
bool RequestComplete(const std::string& buf);
// Body of a recorded request (after the blank line).
std::string RequestBody(const std::string& request);

