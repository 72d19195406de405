// The HAProxy configuration of docs/ on loopback, as an unprivileged child, in front of two
// vxkctl serve instances and 200 virtual devices: every device served exactly once, by one
// instance or the other, and a device whose job failed says why. Skipped where HAProxy is not
// installed (scripts/install-deps.sh installs it). Runs alone: ctest -L fleet.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "CliRig.h"
#include "comms/Ticks.h"
#include "sim/ChildProcess.h"
#include "sim/FleetSim.h"

using namespace vxk;
namespace fs = std::filesystem;

namespace {

std::string FindHaproxy() {
  std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
  dirs += ":/usr/sbin:/usr/local/sbin";
  std::stringstream in(dirs);
  for (std::string dir; std::getline(in, dir, ':');) {
    const std::string path = dir + "/haproxy";
    if (!dir.empty() && ::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

// The shipped configuration with the front end and the two servers moved to loopback ports;
// everything else (TCP mode, health check, maxconn, PROXY line, time-outs) as shipped.
std::string LoopbackConfig(const std::string& front, const std::string& first,
                           const std::string& second) {
  std::ifstream in(std::string(VXK_SOURCE_DIR) + "/docs/haproxy.cfg");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  text = std::regex_replace(text, std::regex(R"(bind \S+)"), "bind 127.0.0.1:" + front);
  text = std::regex_replace(text, std::regex(R"((server serve1) \S+)"), "$1 127.0.0.1:" + first);
  text = std::regex_replace(text, std::regex(R"((server serve2) \S+)"), "$1 127.0.0.1:" + second);
  return text;
}

std::vector<Json> ResultLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<Json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(ParseJson(line));
  return lines;
}

TEST(Fleet, HaproxyInFrontOfTwoServeInstances) {
  const std::string haproxy = FindHaproxy();
  if (haproxy.empty()) GTEST_SKIP() << "haproxy is not installed (scripts/install-deps.sh)";
  TempDir dir;
  const std::string front = FreePort();
  std::vector<std::string> ports = {FreePort(), FreePort()};
  std::ofstream(dir.path + "/job.vxk")
      << "time --sync\nls /Logs\nget /Logs/device.log " << dir.path << "/out/{serial}.log\n";
  fs::create_directories(dir.path + "/out");
  CtlProcess serves[2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(serves[i].Start(
        {"--listen=" + ports[i], "--key=fleet", "serve", "--job=" + dir.path + "/job.vxk",
         "--results=" + dir.path + "/runs" + std::to_string(i) + ".jsonl", "--sessions=64",
         "--proxy-protocol"},
        {"XDG_RUNTIME_DIR=" + dir.path}));
    ASSERT_TRUE(serves[i].WaitForError("serving TCP port", 10000)) << serves[i].err;
  }
  const std::string config = dir.path + "/haproxy.cfg";
  std::ofstream(config) << LoopbackConfig(front, ports[0], ports[1]);
  ChildProcess balancer;
  ASSERT_TRUE(balancer.Start({haproxy, "-db", "-f", config}));
  // Up once the front end takes connections (a probe says nothing: no line for it).
  const int64_t deadline = TickCount() + 10000;
  bool up = false;
  while (!up && TickCount() < deadline && balancer.Running()) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(std::stoi(front)));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (!up) SleepMs(20);
  }
  ASSERT_TRUE(up) << balancer.Output();

  FleetOptions o;
  o.port = std::stoi(front);
  o.count = 200;
  o.key = "fleet";
  o.badHeaderShare = 0.05;
  o.dropShare = 0.05;
  o.lifeMs = 40000;
  FleetSim fleet(o);
  const FleetResult devices = fleet.Run();
  EXPECT_EQ(devices.connected, 200);
  for (CtlProcess& serve : serves) {
    serve.Signal(SIGTERM);
    EXPECT_EQ(serve.Wait(20000), 0) << serve.err;
  }
  balancer.Signal(SIGTERM);
  balancer.Wait(5000);

  std::map<std::string, Json> bySerial;
  size_t lines = 0;
  for (int i = 0; i < 2; ++i) {
    const std::vector<Json> runs = ResultLines(dir.path + "/runs" + std::to_string(i) + ".jsonl");
    EXPECT_GT(runs.size(), 0u) << "instance " << i << " served nobody";
    for (const Json& run : runs) bySerial[run["serial"].text] = run;
    lines += runs.size();
  }
  EXPECT_EQ(lines, 200u) << "a device served twice, or not at all";
  ASSERT_EQ(bySerial.size(), 200u);
  for (int i = 0; i < o.count; ++i) {
    const Json& run = bySerial.at(fleet.SerialOf(i));
    SCOPED_TRACE(fleet.SerialOf(i));
    // The device's own address came through the PROXY line, not the balancer's.
    EXPECT_EQ(run["peer"].text,
              "127.0.0.1:" + std::to_string(devices.devices[static_cast<size_t>(i)].localPort));
    switch (fleet.KindOf(i)) {
      case FleetDevice::Kind::Good:
        EXPECT_EQ(run["outcome"].text, "done");
        break;
      case FleetDevice::Kind::Drops:
        EXPECT_EQ(run["outcome"].text, "failed");
        EXPECT_EQ(run["reason"].text, "link_lost");
        EXPECT_FALSE(run["message"].text.empty());
        break;
      case FleetDevice::Kind::BadHeader:
        EXPECT_EQ(run["outcome"].text, "refused");
        EXPECT_EQ(run["reason"].text, "auth");
        break;
    }
  }
}

}  // namespace
