#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/BatchScript.h"
#include "cli/ResultsFile.h"
#include "comms/HidBackend.h"

namespace vxk {

// How many device runs of a serve ended how.
struct ServeCounts {
  std::atomic<int> done{0}, failed{0}, refused{0}, interrupted{0};
  std::atomic<int> silent{0};     // connections that sent nothing (health checks): not recorded
  std::atomic<int> unwritten{0};  // lines the results file did not take
};

// What every device run of one serve shares. Read-only while runs go on, but for the counts,
// the results file and the log, which are safe to use from every run's thread.
struct ServeSetup {
  HidBackend& hid;  // unused by TCP links; a session needs one
  std::string key;
  std::optional<int> roundTripTime, extraTime;
  std::vector<BatchLine> job;
  CliOptions jobOptions;  // --json (always), -q, -v, --keep-going, --lock-wait for its lines
  const char* environmentPassword = nullptr;
  bool proxyProtocol = false;
  bool quiet = false;
  ResultsFile& results;
  std::ostream& log;
  std::mutex& logMutex;
  const std::atomic<bool>& stopJobs;  // set when the drain is over: running jobs stop
  ServeCounts& counts;

  // One line on the log, whole, unless -q.
  void Log(const std::string& line);
};

// Serves one device on a connection accepted by serve, on the calling thread: reads the PROXY
// line (with --proxy-protocol), checks the connection header with the key (the window's rules
// and deadlines), runs the job over the connection with a terminal lock of this run's own, and
// appends exactly one line to the results file, whatever happened. A connection that ends
// without sending a byte (a load balancer's health check) is no device run and leaves no line.
// Takes ownership of fd.
void ServeDevice(int fd, const std::string& peer, ServeSetup& setup);

}  // namespace vxk
