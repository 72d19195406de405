#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include "comms/Ticks.h"
#include "sim/ChildProcess.h"
#include "sim/DaemonFlood.h"
#include "sim/FloodLoad.h"
#include "sim/HeaderText.h"
#include "sim/ProcessTable.h"
#include "ui/ufmServer.h"

using namespace vxk;

namespace {

constexpr char kKey[] = "fl00d";

bool WaitUntil(const std::function<bool()>& cond, int ms) {
  const int64_t deadline = TickCount() + ms;
  while (!cond()) {
    if (TickCount() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    SleepMs(5);
  }
  return true;
}

// The longest time between two ticks of a timer, measured from its second tick on.
struct TickGaps {
  explicit TickGaps(QTimer* timer) {
    QObject::connect(timer, &QTimer::timeout, [this] {
      const int64_t now = TickCount();
      if (last >= 0) longest = std::max(longest, now - last);
      last = now;
    });
  }
  // Ends the measurement: a stall since the last tick counts too.
  int64_t Longest() {
    if (last >= 0) longest = std::max(longest, TickCount() - last);
    return longest;
  }
  int64_t last = -1;
  int64_t longest = 0;
};

std::vector<pid_t> LoggedChildren(TfmServer& server) {
  std::vector<pid_t> pids;
  static const QRegularExpression form(QStringLiteral("^Socket \\d+, Proc (\\d+)$"));
  for (const QString& line : server.memLog->toPlainText().split('\n')) {
    const auto m = form.match(line);
    if (m.hasMatch()) pids.push_back(m.captured(1).toInt());
  }
  return pids;
}

// Kills those of pids that are still unreaped children of this process: the pid of one
// already reaped may belong to another program by now.
void KillOurs(const std::vector<pid_t>& pids) {
  const std::vector<pid_t> now = ChildrenOf(getpid());
  const std::set<pid_t> ours(now.begin(), now.end());
  for (pid_t pid : pids)
    if (ours.count(pid)) kill(pid, SIGKILL);
}

// A device with a valid header: true when the tool's proof comes back within ms.
bool DeviceIsServed(int port, int ms) {
  FloodOptions one;
  one.port = port;
  one.key = kKey;
  const std::string header = FloodLoad(one).Payload(0);
  TcpSocket device;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      !device.Adopt(fd) || !device.SendAll(header.data(), header.size()))
    return false;
  DeviceIdentity identity;
  identity.serial = "200000";
  HeaderOptions options;
  options.key = kKey;
  const std::string expected = ExpectedProof(identity, options) + "\r\n";
  std::string proof;
  const int64_t deadline = TickCount() + ms;
  while (proof.size() < expected.size() && TickCount() < deadline) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    char buffer[128];
    const ssize_t n = device.Receive(buffer, sizeof buffer, 10);
    if (n < 0) return false;
    proof.append(buffer, static_cast<size_t>(n));
  }
  return proof == expected;
}

// 1000 devices in 10 s, half with valid headers, the rest garbage or silent; each child is a
// stand-in that checks the header and then stays, as a tool window does, until killed.
TEST(ServerFlood, WindowKeepsTickingEveryChildIsReapedAndTheDaemonStillServes) {
  SessionSettings settings;
  settings.roundTripTime = 2000;
  settings.extraTime = 100;
  TfmServer window(settings);
  window.Daemon().SetProgram(BinDir() + "/vxkload", "vxkload");
  // This run measures the window while every device gets its (cheap) child process.
  window.Daemon().SetChildLimit(1000);
  window.SetPort(QStringLiteral("0"));
  window.SetKey(kKey);
  window.StartListening();
  ASSERT_GT(window.Daemon().Port(), 0);
  const int fdsBefore = OpenDescriptorCount();

  TickGaps timer1(window.Timer1);
  QTimer probe;
  probe.setInterval(20);
  TickGaps thread(&probe);
  probe.start();

  FloodOptions options;
  options.port = window.Daemon().Port();
  options.key = kKey;
  FloodResult result;
  std::atomic<bool> done{false};
  std::thread devices([&] {
    result = FloodLoad(options).Run();
    done = true;
  });
  const bool ended = WaitUntil([&] { return done.load(); }, 40000);
  devices.join();
  ASSERT_TRUE(ended);
  // Those still in the backlog are taken soon after (on a busy machine the daemon may fall
  // well behind while the devices keep coming: each child costs a fork and an exec).
  EXPECT_TRUE(WaitUntil([&] { return window.Daemon().Accepted() >= 1000; }, 60000));
  const int64_t stall = thread.Longest();
  const int64_t timer1Gap = timer1.Longest();
  probe.stop();

  EXPECT_EQ(result.opened, 1000);
  EXPECT_EQ(window.Daemon().Accepted(), 1000u);
  const std::vector<pid_t> children = LoggedChildren(window);
  EXPECT_EQ(children.size(), 1000u);
  // The window thread is never held for long, and the daemon's timer keeps its beat. The
  // bounds are loose: the machine runs other work too.
  EXPECT_LT(stall, 1000);
  EXPECT_LT(timer1Gap, TfmServer::kTimerMs + 1000);
  RecordProperty("longest_stall_ms", static_cast<int>(stall));
  RecordProperty("longest_timer1_gap_ms", static_cast<int>(timer1Gap));

  KillOurs(children);
  EXPECT_TRUE(WaitUntil([&] { return window.Daemon().LiveChildren() == 0; }, 30000));
  EXPECT_TRUE(ZombieChildrenOf(getpid()).empty());
  EXPECT_TRUE(ChildrenOf(getpid()).empty());
  EXPECT_EQ(OpenDescriptorCount(), fdsBefore);

  // Still serving: a device after the flood gets its child, which answers its header.
  EXPECT_TRUE(DeviceIsServed(window.Daemon().Port(), 10000));
  KillOurs(LoggedChildren(window));
  EXPECT_TRUE(WaitUntil([&] { return ChildrenOf(getpid()).empty(); }, 10000));
}

// 300 devices that never prove themselves against the real daemon program and its real tool
// processes: within 30 s of the flood none of its processes is left, and a device with a
// valid header that comes during the flood, and one after it, are served.
TEST(ServerFlood, UnauthenticatedFloodLeavesNoChildAndRealDevicesAreServed) {
  DaemonFloodOptions options;
  options.tool = BinDir() + "/vxktool";
  options.stopWhenClear = true;
  const DaemonFloodResult r = DaemonFlood(options).Run();
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.flood.opened, 300);
  EXPECT_TRUE(r.daemonAlive);
  EXPECT_LE(r.childrenPeak, ServerDaemon::kDefaultChildLimit);
  EXPECT_EQ(r.childrenLeft, 0);
  EXPECT_GE(r.clearAfterS, 0);
  EXPECT_LT(r.clearAfterS, 30);
  EXPECT_GE(r.duringServedS, 0);
  EXPECT_GE(r.afterServedS, 0);
  RecordProperty("children_peak", r.childrenPeak);
  RecordProperty("children_gone_after_ms", static_cast<int>(r.clearAfterS * 1000));
  RecordProperty("device_during_served_after_ms", static_cast<int>(r.duringServedS * 1000));
  RecordProperty("device_after_served_after_ms", static_cast<int>(r.afterServedS * 1000));
}

}  // namespace
