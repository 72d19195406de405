#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <vector>

#include "bench/Bench.h"
#include "comms/Ticks.h"
#include "server/ServerDaemon.h"
#include "sim/ChildProcess.h"

namespace vxk {
namespace {

// Devices queued on the daemon's port, then taken by its ticks: accept, keep-alive, fork and
// exec of a child, close of the daemon's copy. The child is a program that ends at once, so
// the figure is the daemon's own cost, not the start of a tool window.
void Accepts() {
  constexpr int kDevices = 24;
  ServerDaemon daemon(8000, 500);
  daemon.SetProgram("/bin/true", "true");
  const auto quiet = [](const std::string&) {};
  if (!daemon.StartListening("0", quiet)) Fail("listen");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(daemon.Port()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<int> devices;
  int started = 0;
  const double s = Seconds([&] {
    for (int i = 0; i < kDevices; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("connect");
      devices.push_back(fd);
    }
    const int64_t deadline = TickCount() + 30000;
    while (started < kDevices && TickCount() < deadline) started += daemon.AcceptWaiting(10, quiet);
  });
  if (started != kDevices) Fail("not every device was taken");
  Report("server.accepts_per_s", kDevices / s, "1/s");
  for (int fd : devices) close(fd);
  const int64_t deadline = TickCount() + 5000;
  while (daemon.LiveChildren() > 0 && TickCount() < deadline) {
    daemon.AcceptWaiting(0, quiet);
    SleepMs(10);
  }
}

// 1000 devices in 10 s against the daemon ticked as its window ticks it, with a stand-in
// child per device: vxkload's figures (accepts, children, longest tick, what was left over).
void Flood() {
  ChildProcess load;
  if (!load.Start({BinDir() + "/vxkload"})) Fail("vxkload");
  const int status = load.Wait(90000);
  if (status < 0) Fail("vxkload did not end");
  std::istringstream lines(load.Output());
  std::string name;
  double value = 0;
  std::string unit;
  int figures = 0;
  while (lines >> name >> value >> unit) {
    Report(name, value, unit);
    ++figures;
  }
  if (status != 0 || figures == 0) Fail("vxkload reported leftovers or no figures");
}

}  // namespace

void RunServerBenches() {
  if (Selected("server.")) Accepts();
  if (Selected("server.flood")) Flood();
}

}  // namespace vxk
