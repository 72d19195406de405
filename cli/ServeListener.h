#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "cli/ServeRun.h"
#include "comms/TcpSocket.h"

namespace vxk {

// The accepting side of vxkctl serve: the listen port, one thread per device run with at most
// `sessions` at once (further devices wait in the listen backlog), and the drain.
class ServeListener {
 public:
  // stopJobs is the flag the runs stop on (setup.stopJobs).
  ServeListener(ServeSetup& setup, std::atomic<bool>& stopJobs, int sessions);
  // Waits for every run still going (the drain normally has).
  ~ServeListener();
  ServeListener(const ServeListener&) = delete;
  ServeListener& operator=(const ServeListener&) = delete;

  // Listens on port on every address with the largest backlog; false with the system's text.
  bool Listen(const std::string& port, std::string& error);
  // Takes devices until `until` is set.
  void AcceptUntil(const std::atomic<bool>& until);
  // Closes the port, lets the running jobs finish within drainSeconds, stops them after it or
  // as soon as stopNow says so, and waits for every run's line. True when none had to be
  // stopped.
  bool Drain(int drainSeconds, const std::function<bool()>& stopNow);

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };

  void Start(int fd, const std::string& peer);
  void Reap();

  ServeSetup& setup_;
  std::atomic<bool>& stopJobs_;
  const size_t sessions_;
  TcpSocket listener_;
  std::list<Worker> workers_;
};

}  // namespace vxk
