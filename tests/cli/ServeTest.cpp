// vxkctl serve against a fleet of virtual devices: every device that dials in gets exactly one
// line, whatever it did; SIGTERM drains.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "CliRig.h"
#include "comms/Ticks.h"
#include "sim/FleetSim.h"

using namespace vxk;
namespace fs = std::filesystem;

namespace {

// A connection to a loopback port; -1 when it is refused.
int Dial(const std::string& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  close(fd);
  return -1;
}

// Seconds since 1970 of "yyyy-mm-ddThh:nn:ss.mmmZ".
double IsoSeconds(const std::string& iso) {
  std::tm t{};
  strptime(iso.c_str(), "%Y-%m-%dT%H:%M:%S", &t);
  return static_cast<double>(timegm(&t)) + std::stod(iso.substr(19, 4));
}

// vxkctl serve on a free port with a job, its results file and its output folder.
class ServeRig {
 public:
  bool Start(const std::string& job, const std::vector<std::string>& extra = {}) {
    std::ofstream(dir.path + "/job.vxk") << job;
    fs::create_directories(Out());
    std::vector<std::string> args = {"--listen=" + port, "--key=k", "serve",
                                     "--job=" + dir.path + "/job.vxk",
                                     "--results=" + dir.path + "/runs.jsonl"};
    args.insert(args.end(), extra.begin(), extra.end());
    return process.Start(args, {"XDG_RUNTIME_DIR=" + dir.path}) &&
           process.WaitForError("serving TCP port", 10000);
  }
  std::string Out() const { return dir.path + "/out"; }
  std::vector<Json> Results() const {
    std::ifstream in(dir.path + "/runs.jsonl");
    std::vector<Json> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(ParseJson(line));
    return lines;
  }
  FleetOptions Fleet(int count) const {
    FleetOptions o;
    o.port = std::stoi(port);
    o.count = count;
    o.key = "k";
    o.lifeMs = 60000;
    return o;
  }

  TempDir dir;
  std::string port = FreePort();
  CtlProcess process;
};

TEST(Serve, EveryDeviceOnceWithDropsAndBadHeaders) {
  ServeRig serve;
  ASSERT_TRUE(serve.Start(
      "time --sync\nls /Logs\nget /Logs/device.log " + serve.Out() + "/{serial}.log\nexec ver\n",
      {"--sessions=4", "--rtt=100"}))
      << serve.process.err;
  // Health checks of a load balancer: connect and close, saying nothing. No line for them.
  for (int i = 0; i < 3; ++i) close(Dial(serve.port));
  // A peer that never says anything holds its session for the header's deadline (10 s and
  // the round-trip time), no longer, and is recorded.
  const int silent = Dial(serve.port);
  FleetOptions o = serve.Fleet(24);
  o.badHeaderShare = 0.25;
  o.dropShare = 0.25;
  FleetSim fleet(o);
  const FleetResult devices = fleet.Run();
  ASSERT_TRUE(serve.process.WaitForError("no connection header in time", 15000));
  close(silent);
  serve.process.Signal(SIGTERM);
  EXPECT_EQ(serve.process.Wait(30000), 0) << serve.process.err;

  std::map<std::string, Json> bySerial;
  const std::vector<Json> lines = serve.Results();
  for (const Json& line : lines) {
    if (line["serial"].kind == Json::Null) {
      EXPECT_EQ(line["outcome"].text, "refused");
      const double seconds = IsoSeconds(line["end"].text) - IsoSeconds(line["start"].text);
      EXPECT_GE(seconds, 10.0);
      EXPECT_LT(seconds, 11.0);
      continue;
    }
    bySerial[line["serial"].text] = line;
  }
  EXPECT_EQ(lines.size(), 25u);
  ASSERT_EQ(bySerial.size(), 24u) << "a serial twice, or one missing";
  for (int i = 0; i < o.count; ++i) {
    const std::string serial = fleet.SerialOf(i);
    SCOPED_TRACE(serial);
    const Json& run = bySerial.at(serial);
    switch (fleet.KindOf(i)) {
      case FleetDevice::Kind::Good:
        EXPECT_EQ(run["outcome"].text, "done");
        EXPECT_EQ(run["steps"].items.size(), 4u);
        EXPECT_EQ(fs::file_size(serve.Out() + "/" + serial + ".log"), o.logBytes);
        break;
      case FleetDevice::Kind::Drops:
        // The device went away in the middle of the file: the line says where and why.
        EXPECT_EQ(run["outcome"].text, "failed");
        EXPECT_EQ(run["reason"].text, "link_lost");
        EXPECT_EQ(run["steps"].items.size(), 3u);
        EXPECT_EQ(run["steps"].items.back()["exit"].number, 3);
        EXPECT_FALSE(fs::exists(serve.Out() + "/" + serial + ".log"));
        break;
      case FleetDevice::Kind::BadHeader:
        EXPECT_EQ(run["outcome"].text, "refused");
        EXPECT_EQ(run["reason"].text, "auth");
        EXPECT_FALSE(run["authenticated"].boolean);
        EXPECT_EQ(devices.devices[static_cast<size_t>(i)].end, FleetDevice::End::Refused);
        break;
    }
  }
}

// SIGTERM: the port closes at once, running jobs finish and are recorded; a second signal
// stops them, and their lines still come.
TEST(Serve, SigtermDrains) {
  for (const bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "two signals" : "one signal");
    ServeRig serve;
    ASSERT_TRUE(serve.Start("get /Logs/device.log " + serve.Out() + "/{serial}.log\n"))
        << serve.process.err;
    std::atomic<int> proven{0};
    FleetOptions o = serve.Fleet(4);
    o.logBytes = 32768;
    o.timing.bytesPerSecond = 16384;  // two seconds a file
    o.proven = &proven;
    std::thread fleet([&] { FleetSim(o).Run(); });
    const int64_t deadline = TickCount() + 20000;
    while (proven < o.count && TickCount() < deadline) SleepMs(10);
    ASSERT_EQ(proven, o.count);
    serve.process.Signal(SIGTERM);
    if (twice) {
      ASSERT_TRUE(serve.process.WaitForError("draining", 5000));
      serve.process.Signal(SIGTERM);
    }
    int fd = 0;
    while ((fd = Dial(serve.port)) >= 0 && TickCount() < deadline) {
      close(fd);
      SleepMs(10);
    }
    EXPECT_LT(fd, 0) << "the port stays open while draining";
    EXPECT_EQ(serve.process.Wait(20000), twice ? 130 : 0) << serve.process.err;
    fleet.join();
    const std::vector<Json> lines = serve.Results();
    ASSERT_EQ(lines.size(), 4u);
    for (const Json& run : lines) {
      EXPECT_EQ(run["outcome"].text, twice ? "interrupted" : "done");
      const std::string local = serve.Out() + "/" + run["serial"].text + ".log";
      // Whole or not at all.
      if (twice) {
        EXPECT_FALSE(fs::exists(local));
      } else {
        EXPECT_EQ(fs::file_size(local), o.logBytes);
      }
    }
  }
}

}  // namespace
