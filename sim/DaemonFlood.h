#pragma once

#include <string>

#include "sim/FloodLoad.h"

namespace vxk {

// A flood of unauthenticated connections (closed at once, garbage, silent) against the real
// server daemon, `vxktool -server`, whose real tool processes run on the offscreen platform
// with settings of their own; loopback only. A device with a valid header tries halfway
// through the flood and another once it has ended; each tries again while it is turned away.
// The daemon's children are watched after the flood: those not serving one of the two devices
// are the flood's. Everything the run started is killed at its end.
struct DaemonFloodOptions {
  std::string tool;  // the vxktool program
  int count = 300;
  double seconds = 3;
  // Longer than the children's header time-out (the daemon's default round-trip time), so that
  // they have to cut silent connections off themselves.
  int holdMs = 15000;
  int watchMs = 30000;  // after the flood
  // Ends the watch once the flood's children have been gone for kClearMs and both devices
  // are through, instead of at its end.
  bool stopWhenClear = false;
  int deviceTryMs = 25000;  // how long each device keeps trying
  std::string key = "fl00d";
};

struct DaemonFloodResult {
  bool started = false;  // the daemon listened
  FloodResult flood;
  int childrenPeak = 0;
  int childrenLeft = -1;      // of the flood, when the watch ended
  double clearAfterS = -1;    // since the flood's last connection until its children had gone
  double duringServedS = -1;  // since each device's first try until its proof came; -1 never
  double afterServedS = -1;
  bool daemonAlive = false;
};

class DaemonFlood {
 public:
  static constexpr int kClearMs = 3000;

  explicit DaemonFlood(DaemonFloodOptions options);
  DaemonFloodResult Run();

 private:
  DaemonFloodOptions options_;
};

}  // namespace vxk
