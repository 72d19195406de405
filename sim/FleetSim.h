#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/LinkTiming.h"

namespace vxk {

// A fleet of virtual devices dialling in to one TCP port, for tests and benchmarks of vxkctl
// serve (directly or behind a load balancer). Device i has the serial firstSerial + i and the
// demo file tree with a log of logBytes in /Logs/device.log. A share of them, spread over the
// fleet, misbehave: some send a header whose digest no key matches, some drop the connection
// after dropAfterBytes of a file transfer. Each device dials once, at i * spreadSeconds /
// count after the start, with at most `concurrent` connected at once (0: no limit), and
// hangs up when the tool closes the connection. The run is bounded: whatever the other end
// does, it ends by spreadSeconds plus lifeMs.
struct FleetOptions {
  std::string host = "127.0.0.1";
  int port = 0;
  int count = 200;
  std::string key;
  long firstSerial = 300000;
  LinkTiming timing;  // latency and line rate of every device's link
  size_t logBytes = 65536;
  double badHeaderShare = 0;  // of the fleet
  double dropShare = 0;       // of the fleet
  long dropAfterBytes = 8192;
  int concurrent = 0;
  double spreadSeconds = 0;
  int connectTimeoutMs = 10000;
  int lifeMs = 120000;
  // Counted up as each device has the tool's proof and starts to be served (may be null).
  std::atomic<int>* proven = nullptr;
};

struct FleetDevice {
  enum class Kind { Good, BadHeader, Drops };
  enum class End { NotConnected, Refused, NoProof, WrongProof, Served, Stopped };
  std::string serial;
  Kind kind = Kind::Good;
  int localPort = 0;  // of its connection
  End end = End::NotConnected;
  int commands = 0;    // command lines the device ran
  int turns = 0;       // round trips the tool made with it (VirtualDevice::TurnCount)
  double seconds = 0;  // from its dial to its hang-up
};

struct FleetResult {
  std::vector<FleetDevice> devices;
  int connected = 0;
  int served = 0;   // proof right, then served until the tool hung up (or the device dropped)
  int refused = 0;  // the tool said BYE!
  double elapsedS = 0;
};

class FleetSim {
 public:
  explicit FleetSim(FleetOptions options);
  FleetResult Run();

  FleetDevice::Kind KindOf(int i) const;
  std::string SerialOf(int i) const;

 private:
  FleetOptions options_;
};

}  // namespace vxk
