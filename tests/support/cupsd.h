// A private CUPS scheduler for printing tests: its own configuration, spool,
// logs and Unix socket in a temporary folder (the system's CUPS is never
// touched), queues made from small PPDs, and AppSocket listeners on
// 127.0.0.1 standing in for the printers. Everything stops with the objects.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace nxtest {

// An AppSocket (port 9100 style) printer: every connection's bytes are one
// received job.
class AppSocketListener {
 public:
  AppSocketListener();  // listens on an ephemeral port of 127.0.0.1
  ~AppSocketListener();
  AppSocketListener(const AppSocketListener &) = delete;
  AppSocketListener &operator=(const AppSocketListener &) = delete;
  int port() const { return port_; }
  // The bytes of job `index` (from 0) once its connection has closed, or
  // nothing when it has not arrived within the timeout.
  std::optional<std::vector<unsigned char>> WaitJob(size_t index, std::chrono::milliseconds timeout);
  size_t JobCount();

 private:
  void Run();
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  int port_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<std::vector<unsigned char>> jobs_;
};

class PrivateCupsd {
 public:
  // Starts cupsd (with extraConf appended to its cupsd.conf) and points
  // CUPS_SERVER at it.
  explicit PrivateCupsd(const std::string &extraConf = "");
  ~PrivateCupsd();  // stops it and restores CUPS_SERVER
  PrivateCupsd(const PrivateCupsd &) = delete;
  PrivateCupsd &operator=(const PrivateCupsd &) = delete;
  bool ok() const { return pid_ > 0; }
  // cupsd and lpadmin are there (whether or not cupsd started).
  bool installed() const { return installed_; }
  const std::string &reason() const { return reason_; }
  const std::string &socket() const { return socket_; }
  // Adds an enabled queue that prints to socket://127.0.0.1:port.
  bool AddQueue(const std::string &name, const std::string &ppdText, int port);
  bool RemoveQueue(const std::string &name);
  bool SetDefault(const std::string &name);
  // Runs a CUPS client command (lpstat, lpoptions...) against this server.
  CommandResult Client(const std::string &command);
  // Waits until no job is pending or processing.
  bool WaitIdle(std::chrono::milliseconds timeout);
  std::string ErrorLog() const;

 private:
  TempDir dir_;
  std::string socket_, oldServer_;
  bool hadServer_ = false;
  int pid_ = -1;
  bool installed_ = false;
  std::string reason_;
};

// A PPD for a monochrome 600-dpi printer with A4 (default), Letter, Legal,
// A5 and Envelope #10, the bins Upper (default), Lower and Manual, duplex,
// 12-point margins; PDF documents pass to the device unfiltered.
std::string TestPpd();

}  // namespace nxtest

// Skips the test only when cupsd cannot start at all (not installed); an
// installed cupsd that does not start fails it.
#define NX_REQUIRE_CUPSD(cupsd)                                                 \
  if ((cupsd).ok()) {                                                           \
  } else if ((cupsd).installed())                                               \
    FAIL() << "cupsd is installed but did not start: " << (cupsd).reason();     \
  else                                                                          \
    GTEST_SKIP() << "this test needs cupsd: " << (cupsd).reason()
