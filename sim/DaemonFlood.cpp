#include "sim/DaemonFlood.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

#include "comms/TcpSocket.h"
#include "comms/Ticks.h"
#include "sim/ChildProcess.h"
#include "sim/HeaderText.h"
#include "sim/ProcessTable.h"

namespace vxk {
namespace {

constexpr int kSampleMs = 100;
constexpr int kListenWaitMs = 10000;  // for the daemon to start listening
constexpr int kRetryMs = 250;         // a device turned away tries again after this
constexpr int kConnectTimeoutMs = 1000;
constexpr int kReapWaitMs = 5000;  // for the daemon to reap the children killed at the end

// A private folder of its own for the run's settings and lock, removed with the object.
struct ScratchFolder {
  ScratchFolder() {
    char pattern[] = "/tmp/vxk-flood-XXXXXX";
    if (mkdtemp(pattern)) path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

int FreePort() {
  TcpSocket probe;
  if (!probe.Bind("127.0.0.1", "0")) return 0;
  const std::string& address = probe.LocalAddress();
  return std::atoi(address.c_str() + address.rfind(':') + 1);
}

// Something listens on the IPv4 port of this machine (/proc/net/tcp, state 0A).
bool Listening(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    unsigned local = 0;
    unsigned state = 0;
    if (std::sscanf(line.c_str(), " %*d: %*x:%x %*x:%*x %x", &local, &state) == 2 &&
        static_cast<int>(local) == port && state == 0x0A)
      return true;
  }
  return false;
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval limit{kConnectTimeoutMs / 1000, (kConnectTimeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A device with a valid header: connects, sends it and waits for the tool's proof, trying
// again while the daemon turns it away, until tryMs have passed. The seconds until the proof
// came, -1 when it never did; held keeps the connection, so that its tool process stays.
double ServeDevice(int port, const std::string& key, const std::string& serial, int tryMs,
                   TcpSocket& held) {
  DeviceIdentity identity;
  identity.serial = serial;
  HeaderOptions header;
  header.key = key;
  const std::string text = BuildConnectHeader(identity, header);
  const std::string proof = ExpectedProof(identity, header) + "\r\n";
  const int64_t start = TickCount();
  const int64_t deadline = start + tryMs;
  while (TickCount() < deadline) {
    if (held.Adopt(Connect(port)) && held.SendAll(text.data(), text.size())) {
      std::string got;
      char buffer[128];
      // Until the proof, a close (turned away) or the deadline.
      while (got.size() < proof.size() && TickCount() < deadline) {
        if (!held.WaitReadable(50)) continue;
        const ssize_t n = held.Receive(buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
      }
      if (got.compare(0, proof.size(), proof) == 0)
        return static_cast<double>(TickCount() - start) / 1000.0;
    }
    held.Close();
    SleepMs(kRetryMs);
  }
  return -1;
}

// Kills the daemon's children and lets the daemon reap them, then ends the daemon.
void EndAll(ChildProcess& daemon) {
  if (!daemon.Running()) return;  // its pid may be another process's by now
  kill(daemon.Pid(), SIGSTOP);    // starts nothing new meanwhile
  for (pid_t child : ChildrenOf(daemon.Pid())) kill(child, SIGKILL);
  kill(daemon.Pid(), SIGCONT);
  const int64_t deadline = TickCount() + kReapWaitMs;
  while (!ChildrenOf(daemon.Pid()).empty() && TickCount() < deadline) {
    daemon.Output();
    SleepMs(50);
  }
  daemon.Signal(SIGKILL);
  daemon.Wait(kReapWaitMs);
}

}  // namespace

DaemonFlood::DaemonFlood(DaemonFloodOptions options) : options_(std::move(options)) {}

DaemonFloodResult DaemonFlood::Run() {
  DaemonFloodResult result;
  const ScratchFolder settings;
  const int port = FreePort();
  ChildProcess daemon;
  if (settings.path.empty() || port <= 0 ||
      !daemon.Start({options_.tool, "-server=" + std::to_string(port), "-key=" + options_.key},
                    {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + settings.path,
                     // the tool processes' terminal lock, apart from other programs'
                     "XDG_RUNTIME_DIR=" + settings.path}))
    return result;
  const int64_t listenDeadline = TickCount() + kListenWaitMs;
  while (!Listening(port) && daemon.Running() && TickCount() < listenDeadline) SleepMs(20);
  if (!Listening(port)) {
    EndAll(daemon);
    return result;
  }
  result.started = true;

  FloodOptions flood;
  flood.port = port;
  flood.count = options_.count;
  flood.seconds = options_.seconds;
  flood.holdMs = options_.holdMs;
  flood.unauthenticated = true;
  std::atomic<bool> floodDone{false};
  std::atomic<int> served{0};
  const int64_t start = TickCount();
  std::thread devices([&] {
    result.flood = FloodLoad(flood).Run();
    floodDone = true;
  });
  // The two devices, each on its own thread, started by the watch below.
  struct Device {
    Device(int64_t when, std::string serialText) : due(when), serial(std::move(serialText)) {}
    int64_t due;
    std::string serial;
    double servedS = -1;
    std::atomic<bool> done{false};
    TcpSocket held;
    std::thread thread;
  };
  const int64_t floodMs = static_cast<int64_t>(options_.seconds * 1000);
  Device during{start + floodMs / 2, "300001"};
  Device after{start + floodMs + 500, "300002"};

  int64_t floodEnd = -1;
  int64_t clearSince = -1;
  for (;;) {
    const int64_t now = TickCount();
    for (Device* d : {&during, &after}) {
      if (d->thread.joinable() || now < d->due) continue;
      d->thread = std::thread([this, d, port, &served] {
        d->servedS = ServeDevice(port, options_.key, d->serial, options_.deviceTryMs, d->held);
        if (d->servedS >= 0) ++served;
        d->done = true;
      });
    }
    daemon.Output();  // the children write to it too: it must never fill
    const int children = static_cast<int>(ChildrenOf(daemon.Pid()).size());
    result.childrenPeak = std::max(result.childrenPeak, children);
    // A device's process counts as the flood's until its proof has come: never too few.
    result.childrenLeft = std::max(0, children - served.load());
    if (result.childrenLeft > 0)
      clearSince = -1;
    else if (clearSince < 0)
      clearSince = now;
    if (floodDone && floodEnd < 0)
      floodEnd = start + static_cast<int64_t>(result.flood.lastOpenS * 1000);
    if (floodEnd >= 0) {
      if (now >= floodEnd + options_.watchMs) break;
      const bool through = during.done && after.done;
      if (options_.stopWhenClear && through && clearSince >= 0 && now - clearSince >= kClearMs)
        break;
    }
    SleepMs(kSampleMs);
  }
  if (clearSince >= 0) result.clearAfterS = std::max(0.0, (clearSince - floodEnd) / 1000.0);
  result.daemonAlive = daemon.Running();
  devices.join();
  for (Device* d : {&during, &after}) {
    if (d->thread.joinable()) d->thread.join();
    d->held.Close();
  }
  result.duringServedS = during.servedS;
  result.afterServedS = after.servedS;
  EndAll(daemon);
  return result;
}

}  // namespace vxk
