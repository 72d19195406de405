#include "cli/ServeListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <system_error>

#include "comms/Ticks.h"

namespace vxk {
namespace {

// How often the accept loop and the drain look at the signals and the running runs.
constexpr int kTurnMs = 100;
constexpr int kReapMs = 10;

std::string PeerText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "?";
  if (address.ss_family == AF_INET) {
    const auto& a = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
  }
  int port = 0;
  if (address.ss_family == AF_INET6) {
    const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &a.sin6_addr, host, sizeof host);
    port = ntohs(a.sin6_port);
  }
  return "[" + std::string(host) + "]:" + std::to_string(port);
}

}  // namespace

ServeListener::ServeListener(ServeSetup& setup, std::atomic<bool>& stopJobs, int sessions)
    : setup_(setup), stopJobs_(stopJobs), sessions_(static_cast<size_t>(sessions)) {}

ServeListener::~ServeListener() {
  stopJobs_ = true;
  for (Worker& w : workers_) w.thread.join();
}

bool ServeListener::Listen(const std::string& port, std::string& error) {
  if (!listener_.Bind("0.0.0.0", port) || !listener_.Listen(SOMAXCONN)) {
    error = "cannot listen on TCP port " + port + ": " + std::strerror(listener_.LastError());
    return false;
  }
  return true;
}

void ServeListener::AcceptUntil(const std::atomic<bool>& until) {
  while (!until) {
    Reap();
    if (workers_.size() >= sessions_) {
      // Full: the next device waits in the backlog until a run ends.
      SleepMs(kReapMs);
      continue;
    }
    pollfd pfd{listener_.Handle(), POLLIN, 0};
    if (::poll(&pfd, 1, kTurnMs) <= 0) continue;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd =
        ::accept4(listener_.Handle(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    if (fd < 0) continue;  // the peer left again, or no descriptor is free: next turn
    Start(fd, PeerText(address));
  }
}

bool ServeListener::Drain(int drainSeconds, const std::function<bool()>& stopNow) {
  listener_.Close();
  Reap();
  setup_.Log("vxkctl: draining: " + std::to_string(workers_.size()) +
             " devices still running, no new ones taken");
  const int64_t deadline = TickCount() + int64_t(drainSeconds) * 1000;
  bool stopped = false;
  while (!workers_.empty()) {
    if (!stopped && (TickCount() >= deadline || stopNow())) {
      setup_.Log("vxkctl: stopping the running jobs");
      stopJobs_ = true;
      stopped = true;
    }
    SleepMs(kReapMs);
    Reap();
  }
  setup_.results.Sync();
  return !stopped;
}

void ServeListener::Start(int fd, const std::string& peer) {
  auto finished = std::make_shared<std::atomic<bool>>(false);
  ServeSetup& setup = setup_;
  try {
    workers_.push_back({std::thread([fd, peer, &setup, finished] {
                          ServeDevice(fd, peer, setup);
                          *finished = true;
                        }),
                        finished});
  } catch (const std::system_error& e) {
    // No thread to be had: the device is turned away and may dial in again.
    ::close(fd);
    setup_.Log(std::string("vxkctl: turned a device away: ") + e.what());
  }
}

void ServeListener::Reap() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (*it->finished) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace vxk
