#pragma once
// ombsvc as a library: the service that answers the remote protocol by
// running the engines of its own machine through an Operations object.
// main.cpp parses the options, starts it and stops it on SIGTERM; tests
// run it in-process on an ephemeral port.
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "core/services.h"
#include "operations/operations.h"
#include "platform/socket.h"
#include "tools/ombsvc/service_log.h"
#include "tools/ombsvc/service_options.h"
#include "tools/ombsvc/session.h"

namespace omb::service {

class Service {
 public:
  // `services`: what the backup and restore jobs the service runs work
  // through (the service's main gives them a presenter that writes to
  // the log).
  Service(ServiceOptions options, ops::Operations& operations, ServiceLog& log,
          RunServices services = DefaultRunServices());
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Binds and listens; false with the reason when the address is taken or
  // cannot be used.
  bool Start(std::string& error);
  // The port bound (useful with port 0).
  uint16_t port() const { return port_; }
  // Accepts connections until Stop(), then waits for every session: a
  // backup or restore that runs finishes first; idle sessions end at once.
  void Run();
  // Safe from any thread, and more than once.
  void Stop();

 private:
  struct Session {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptOne();
  void ReapFinished();
  size_t ActiveSessions() const;

  ServiceOptions options_;
  ops::Operations& operations_;
  ServiceLog& log_;
  RunServices services_;
  EngineGate engine_;
  platform::TcpSocket listener_;
  uint16_t port_ = 0;
  int stopPipe_[2] = {-1, -1};
  std::list<std::unique_ptr<Session>> sessions_;
};

}  // namespace omb::service
