#pragma once

#include "FileAccess/vxkFiles.h"
#include "bench/Bench.h"
#include "sim/TcpRig.h"

namespace vxk {

// The virtual device over loopback TCP with the time-outs of a quick network, opened, and the
// terminal and file layer on it: what the file, operation and archive figures run against.
struct BenchSession {
  TcpRig rig;
  TvxTerminal term{rig.link};
  TvxkFiles files{term};

  BenchSession() {
    rig.link.SetRoundTripTime(20);
    rig.link.SetExtraTime(20);
    if (!rig.link.Open()) Fail("open");
  }
};

}  // namespace vxk
