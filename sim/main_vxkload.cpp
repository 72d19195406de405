// vxkload: a flood of devices connecting to the server daemon on loopback, with figures on
// how the daemon held up; also the cheap stand-in for the tool processes the daemon starts.
//
//   vxkload [--count N] [--seconds T] [--hold-ms H] [--rtt MS] [--key K] [--limit L]
//       runs the daemon in this process, ticking as its window does, with at most L children
//       at once (its default, 32, unless given), floods it, kills the children it started and
//       reports; exit status 1 when a child or descriptor is left over
//   vxkload --port P [--count N] [--seconds T] [--hold-ms H] [--key K]
//       only the devices, against a daemon that runs elsewhere
//   vxkload --real-daemon [--count N] [--seconds T] [--hold-ms H] [--key K]
//       the real daemon, vxktool -server (from vxkload's folder), with its real tool processes
//       on the offscreen platform: unauthenticated devices (300 in 3 s, silent ones held
//       15 s), a device with a valid header during and after them; the daemon's children are
//       watched for 30 s after the flood. Exit status 1 when a child of the flood is left or a
//       device was not served
//   vxkload -sock=H -rtt=MS -time=MS -keyfd=F (or -key=K)
//       the stand-in child: reads and checks the header on the inherited connection; ends
//       when it was refused, else stays, as a tool window would, until it is killed (at most
//       a minute)
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "comms/Ticks.h"
#include "comms/vxCommsSocket.h"
#include "security/ConnectHeader.h"
#include "server/ChildStarter.h"
#include "server/KeyPipe.h"
#include "server/ServerDaemon.h"
#include "sim/DaemonFlood.h"
#include "sim/FloodLoad.h"
#include "sim/ProcessTable.h"

using namespace vxk;

namespace {

constexpr int kTickMs = 500;       // the server window's timer
constexpr int kAcceptWaitMs = 10;  // its wait for each further connection
constexpr int kSettleMs = 1500;    // ticks after the last device, for late accepts
constexpr int kReapMs = 10000;     // longest wait for the killed children to be reaped
constexpr int kStandInLifeMs = 60000;

struct Options {
  FloodOptions flood;
  bool realDaemon = false;
  bool countSet = false;
  bool secondsSet = false;
  bool holdSet = false;
  bool keySet = false;
  int roundTripMs = 2000;
  int childLimit = ServerDaemon::kDefaultChildLimit;
  // Stand-in child.
  int sock = -1;
  int extraMs = 500;
};

void Figure(const char* name, double value, const char* unit) {
  std::printf("server.flood_%s %.2f %s\n", name, value, unit);
  std::fflush(stdout);
}

[[noreturn]] void Usage(const char* bad) {
  std::fprintf(stderr,
               "vxkload: bad argument %s\n"
               "usage: vxkload [--port P | --real-daemon] [--count N] [--seconds T] "
               "[--hold-ms H] [--rtt MS] [--key K] [--limit L]\n",
               bad);
  std::exit(2);
}

int Number(const std::string& text, const char* arg) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < 0 || n > 1000000) Usage(arg);
  return static_cast<int>(n);
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(argv[i]);
      return argv[++i];
    };
    const auto option = [&](const char* prefix) { return arg.rfind(prefix, 0) == 0; };
    if (arg == "--port")
      o.flood.port = Number(value(), "--port");
    else if (arg == "--real-daemon")
      o.realDaemon = true;
    else if (arg == "--count")
      o.countSet = (o.flood.count = Number(value(), "--count"), true);
    else if (arg == "--seconds")
      o.secondsSet = (o.flood.seconds = Number(value(), "--seconds"), true);
    else if (arg == "--hold-ms")
      o.holdSet = (o.flood.holdMs = Number(value(), "--hold-ms"), true);
    else if (arg == "--limit")
      o.childLimit = Number(value(), "--limit");
    else if (arg == "--rtt")
      o.roundTripMs = Number(value(), "--rtt");
    else if (arg == "--key")
      o.keySet = (o.flood.key = value(), true);
    else if (option("-sock="))
      o.sock = Number(arg.substr(6), argv[i]);
    else if (option("-rtt="))
      o.roundTripMs = Number(arg.substr(5), argv[i]);
    else if (option("-time="))
      o.extraMs = Number(arg.substr(6), argv[i]);
    else if (option("-key="))
      o.flood.key = arg.substr(5);
    else if (option("-keyfd=")) {
      if (!ReadPipedKey(Number(arg.substr(7), argv[i]), o.flood.key)) Usage(argv[i]);
    } else
      Usage(argv[i]);
  }
  return o;
}

int StandIn(const Options& o) {
  TvxCommsSocket link;
  link.SetRoundTripTime(o.roundTripMs);
  link.SetExtraTime(o.extraMs);
  link.AttachSocket(o.sock);
  if (!link.Open()) return 2;
  if (!ProcessConnectHeader(link, o.flood.key, {})) return 1;
  SleepMs(kStandInLifeMs);
  return 0;
}

void PrintLoad(const FloodResult& r) {
  Figure("opened", r.opened, "conn");
  Figure("failed", r.failed, "conn");
  Figure("valid_headers", r.valid, "conn");
  Figure("elapsed", r.elapsedS, "s");
}

// The daemon in this process, ticked as the server window's timer ticks it: 500 ms after the
// end of the previous tick, at once after a tick cut short by its budget.
int Rig(const Options& o) {
  ServerDaemon daemon(o.roundTripMs, o.extraMs);
  daemon.SetProgram(OwnProgramPath(), "vxkload");
  daemon.SetKey(o.flood.key);
  daemon.SetChildLimit(o.childLimit);
  std::vector<pid_t> children;
  const auto log = [&children](const std::string& line) {
    int socket = 0;
    int pid = 0;
    if (std::sscanf(line.c_str(), "Socket %d, Proc %d", &socket, &pid) == 2)
      children.push_back(pid);
  };
  if (!daemon.StartListening("0", log)) {
    std::fprintf(stderr, "vxkload: cannot listen\n");
    return 2;
  }
  const int fdsBefore = OpenDescriptorCount();
  FloodOptions flood = o.flood;
  flood.port = daemon.Port();
  FloodResult result;
  std::atomic<bool> done{false};
  const int64_t start = TickCount();
  std::thread devices([&] {
    result = FloodLoad(flood).Run();
    done = true;
  });

  int64_t due = start + kTickMs;
  int64_t longestTick = 0;
  int64_t latest = 0;
  int64_t settled = -1;
  for (;;) {
    const int64_t now = TickCount();
    if (now < due) SleepMs(static_cast<int>(due - now));
    const int64_t tick = TickCount();
    latest = std::max(latest, tick - due);
    daemon.AcceptWaiting(kAcceptWaitMs, log);
    const int64_t end = TickCount();
    longestTick = std::max(longestTick, end - tick);
    due = end + (daemon.CutShort() ? 0 : kTickMs);
    if (done && settled < 0) settled = end + kSettleMs;
    if (settled >= 0 && end >= settled) break;
  }
  devices.join();
  const double elapsed = static_cast<double>(TickCount() - start) / 1000.0;

  // Only those not reaped yet: the pid of a reaped one may belong to another program now.
  // Nothing reaps between this look and the kills, as this thread alone does. The ticks that
  // reap may still take devices left in the backlog: their children go the same way.
  size_t killedUpTo = 0;
  const auto killNew = [&] {
    const std::vector<pid_t> unreaped = ChildrenOf(getpid());
    for (; killedUpTo < children.size(); ++killedUpTo)
      if (std::find(unreaped.begin(), unreaped.end(), children[killedUpTo]) != unreaped.end())
        kill(children[killedUpTo], SIGKILL);
  };
  killNew();
  const int64_t killed = TickCount();
  while (daemon.LiveChildren() > 0 && TickCount() - killed < kReapMs) {
    daemon.AcceptWaiting(0, log);
    killNew();
    SleepMs(50);
  }
  const size_t zombies = ZombieChildrenOf(getpid()).size();
  const size_t left = ChildrenOf(getpid()).size();
  const int fdsLeaked = OpenDescriptorCount() - fdsBefore;

  PrintLoad(result);
  Figure("accepted", static_cast<double>(daemon.Accepted()), "conn");
  Figure("children", static_cast<double>(children.size()), "proc");
  Figure("refused_at_limit", static_cast<double>(daemon.Refused()), "conn");
  Figure("tick_max", static_cast<double>(longestTick), "ms");
  Figure("tick_late_max", static_cast<double>(latest), "ms");
  Figure("run", elapsed, "s");
  Figure("zombies", static_cast<double>(zombies), "proc");
  Figure("children_left", static_cast<double>(left), "proc");
  Figure("fds_leaked", fdsLeaked, "fd");
  return zombies == 0 && left == 0 && fdsLeaked == 0 ? 0 : 1;
}

// The real daemon and its tool processes under a flood of devices that never prove
// themselves.
int RealDaemon(const Options& o) {
  DaemonFloodOptions real;
  const std::string self = OwnProgramPath();
  real.tool = self.substr(0, self.rfind('/') + 1) + "vxktool";
  if (o.countSet) real.count = o.flood.count;
  if (o.secondsSet) real.seconds = o.flood.seconds;
  if (o.holdSet) real.holdMs = o.flood.holdMs;
  if (o.keySet) real.key = o.flood.key;
  const DaemonFloodResult r = DaemonFlood(real).Run();
  if (!r.started) {
    std::fprintf(stderr, "vxkload: %s -server did not listen\n", real.tool.c_str());
    return 2;
  }
  Figure("opened", r.flood.opened, "conn");
  Figure("failed", r.flood.failed, "conn");
  Figure("closed_at_once", r.flood.closed, "conn");
  Figure("garbage", r.flood.garbage, "conn");
  Figure("silent", r.flood.silent, "conn");
  Figure("children_peak", r.childrenPeak, "proc");
  Figure("children_left_after_30s", r.childrenLeft, "proc");
  Figure("children_gone_after", r.clearAfterS, "s");
  const bool served = r.duringServedS >= 0 && r.afterServedS >= 0;
  Figure("real_device_served", served ? 1 : 0, "bool");
  Figure("real_device_during_served_after", r.duringServedS, "s");
  Figure("real_device_after_served_after", r.afterServedS, "s");
  Figure("daemon_alive", r.daemonAlive ? 1 : 0, "bool");
  return r.childrenLeft == 0 && served && r.daemonAlive ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  if (o.sock >= 0) return StandIn(o);
  if (o.realDaemon) return RealDaemon(o);
  if (o.flood.port > 0) {
    PrintLoad(FloodLoad(o.flood).Run());
    return 0;
  }
  return Rig(o);
}
