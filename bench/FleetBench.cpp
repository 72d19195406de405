// vxkctl serve under a fleet: devices served per minute over a good cellular link, the
// exchanges each one takes, and the memory each session costs.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench/Bench.h"
#include "comms/TcpSocket.h"
#include "comms/Ticks.h"
#include "sim/ChildProcess.h"
#include "sim/FleetSim.h"

namespace vxk {
namespace {

namespace fs = std::filesystem;

constexpr int kDevices = 200;
constexpr int kSessions = 64;
constexpr int kLatencyMs = 50;  // each way
constexpr size_t kLogBytes = 65536;

struct Scratch {
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "vxkfleet-bench-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string path;
};

std::string FreePort() {
  TcpSocket socket;
  socket.Bind("127.0.0.1", "0");
  const std::string address = socket.LocalAddress();
  return address.substr(address.rfind(':') + 1);
}

// A "VmRSS:" or "VmHWM:" figure of a process, in MB.
double MemoryMb(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(field.size())) / 1024.0;
  }
  Fail("no memory figure of vxkctl serve");
}

int DoneLines(const std::string& path) {
  std::ifstream in(path);
  int done = 0;
  for (std::string line; std::getline(in, line);)
    done += line.find("\"outcome\": \"done\"") != std::string::npos;
  return done;
}

}  // namespace

void RunFleetBenches() {
  if (!Selected("fleet")) return;
  Scratch dir;
  const std::string port = FreePort();
  std::ofstream(dir.path + "/job.vxk")
      << "time --sync\nls /Logs\nget /Logs/device.log " << dir.path << "/out/{serial}.log\n";
  fs::create_directories(dir.path + "/out");
  ChildProcess serve;
  if (!serve.Start({BinDir() + "/vxkctl", "--listen=" + port, "--key=b", "serve",
                    "--job=" + dir.path + "/job.vxk", "--results=" + dir.path + "/runs.jsonl",
                    "--sessions=" + std::to_string(kSessions)},
                   {"XDG_RUNTIME_DIR=" + dir.path}) ||
      !serve.WaitForOutput("serving TCP port", 10000)) {
    Fail("vxkctl serve does not start");
  }
  const double idleMb = MemoryMb(serve.Pid(), "VmRSS:");
  FleetOptions o;
  o.port = std::stoi(port);
  o.count = kDevices;
  o.key = "b";
  o.logBytes = kLogBytes;
  o.timing.toDeviceLatencyMs = o.timing.toHostLatencyMs = kLatencyMs;
  const FleetResult fleet = FleetSim(o).Run();
  const double peakMb = MemoryMb(serve.Pid(), "VmHWM:");
  serve.Signal(SIGTERM);
  if (serve.Wait(30000) != 0) Fail("vxkctl serve did not drain");
  if (DoneLines(dir.path + "/runs.jsonl") != kDevices) Fail("not every device was served");
  double exchanges = 0;
  for (const FleetDevice& d : fleet.devices) exchanges += d.turns;
  exchanges /= kDevices;
  Report("fleet.devices_per_min", kDevices / fleet.elapsedS * 60, "devices/min");
  Report("fleet.exchanges_per_device", exchanges, "exchanges");
  // What the link alone allows: every session waits a round trip for each exchange.
  Report("fleet.latency_limit_per_min", kSessions / (exchanges * 2 * kLatencyMs / 1000.0) * 60,
         "devices/min");
  Report("fleet.rss_mb_per_session", (peakMb - idleMb) / kSessions, "MB");
}

}  // namespace vxk
