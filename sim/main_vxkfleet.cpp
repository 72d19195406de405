// vxkfleet: a fleet of virtual vx.keeper devices dialling in to one TCP port, for vxkctl serve
// and the load balancer in front of it.
//
//   vxkfleet --tcp HOST:PORT [--count M] [--key K] [--first-serial N] [--latency MS]
//            [--line-rate BPS] [--log-bytes N] [--bad-header-share P] [--drop-share P]
//            [--drop-after N] [--concurrent C] [--spread S] [--life-ms MS]
//
// Prints one line per device ("SERIAL KIND END COMMANDS") and then the counts; exit status 0
// when every device got through to the tool, 1 otherwise, 2 for a bad argument.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/FleetSim.h"

using namespace vxk;

namespace {

[[noreturn]] void Usage(const std::string& why) {
  std::fprintf(stderr,
               "vxkfleet: %s\n"
               "usage: vxkfleet --tcp HOST:PORT [--count M] [--key K] [--first-serial N]\n"
               "  [--latency MS] [--line-rate BPS] [--log-bytes N] [--bad-header-share P]\n"
               "  [--drop-share P] [--drop-after N] [--concurrent C] [--spread S] [--life-ms MS]\n",
               why.c_str());
  std::exit(2);
}

double Number(const std::string& option, const char* text, double low, double high) {
  char* end = nullptr;
  const double n = std::strtod(text, &end);
  if (!*text || *end || !(n >= low && n <= high)) Usage(option + " needs a number");
  return n;
}

const char* KindName(FleetDevice::Kind kind) {
  switch (kind) {
    case FleetDevice::Kind::Good:
      return "good";
    case FleetDevice::Kind::BadHeader:
      return "bad-header";
    case FleetDevice::Kind::Drops:
      return "drops";
  }
  return "?";
}

const char* EndName(FleetDevice::End end) {
  switch (end) {
    case FleetDevice::End::NotConnected:
      return "not-connected";
    case FleetDevice::End::Refused:
      return "refused";
    case FleetDevice::End::NoProof:
      return "no-proof";
    case FleetDevice::End::WrongProof:
      return "wrong-proof";
    case FleetDevice::End::Served:
      return "served";
    case FleetDevice::End::Stopped:
      return "stopped";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  FleetOptions o;
  bool target = false;
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") Usage("the virtual devices of a fleet");
    if (i + 1 >= argc) Usage(opt + " needs a value");
    const char* value = argv[++i];
    if (opt == "--tcp") {
      const std::string t = value;
      const size_t colon = t.rfind(':');
      if (colon == std::string::npos) Usage("--tcp needs HOST:PORT");
      o.host = t.substr(0, colon);
      o.port = static_cast<int>(Number(opt, t.c_str() + colon + 1, 1, 65535));
      target = true;
    } else if (opt == "--count") {
      o.count = static_cast<int>(Number(opt, value, 0, 100000));
    } else if (opt == "--key") {
      o.key = value;
    } else if (opt == "--first-serial") {
      o.firstSerial = static_cast<long>(Number(opt, value, 0, 1e12));
    } else if (opt == "--latency") {
      o.timing.toDeviceLatencyMs = o.timing.toHostLatencyMs =
          static_cast<int>(Number(opt, value, 0, 60000));
    } else if (opt == "--line-rate") {
      o.timing.bytesPerSecond = static_cast<long>(Number(opt, value, 0, 1e9));
    } else if (opt == "--log-bytes") {
      o.logBytes = static_cast<size_t>(Number(opt, value, 0, 64e6));
    } else if (opt == "--bad-header-share") {
      o.badHeaderShare = Number(opt, value, 0, 1);
    } else if (opt == "--drop-share") {
      o.dropShare = Number(opt, value, 0, 1);
    } else if (opt == "--drop-after") {
      o.dropAfterBytes = static_cast<long>(Number(opt, value, 0, 64e6));
    } else if (opt == "--concurrent") {
      o.concurrent = static_cast<int>(Number(opt, value, 0, 100000));
    } else if (opt == "--spread") {
      o.spreadSeconds = Number(opt, value, 0, 86400);
    } else if (opt == "--life-ms") {
      o.lifeMs = static_cast<int>(Number(opt, value, 1, 86400000));
    } else {
      Usage("unknown option " + opt);
    }
  }
  if (!target) Usage("--tcp HOST:PORT is needed");
  const FleetResult r = FleetSim(o).Run();
  for (const FleetDevice& d : r.devices) {
    std::printf("%s %s %s %d\n", d.serial.c_str(), KindName(d.kind), EndName(d.end), d.commands);
  }
  std::printf("fleet.connected %d\nfleet.served %d\nfleet.refused %d\nfleet.seconds %.2f\n",
              r.connected, r.served, r.refused, r.elapsedS);
  return r.connected == o.count ? 0 : 1;
}
