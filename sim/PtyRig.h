#pragma once

#include <memory>
#include <thread>

#include "comms/vxCommsComPort.h"
#include "sim/LinkTiming.h"
#include "sim/ScratchLock.h"
#include "sim/SimDevice.h"
#include "sim/StreamServer.h"

namespace vxk {

// A virtual device served on the master side of a pseudo-terminal (in a thread of its own)
// and a serial link set to its slave side, for tests and benchmarks. The link is not opened.
// The timing delays and paces the device's side of the line.
class PtyRig {
 public:
  explicit PtyRig(LinkTiming timing = {});
  ~PtyRig();
  PtyRig(const PtyRig&) = delete;
  PtyRig& operator=(const PtyRig&) = delete;

  SimDevice sim;
  ScratchLock lock;
  TvxCommsComPort link;

  // Changes the device safely while its server runs.
  template <class Fn>
  void WithDevice(Fn fn) {
    server_->WithDevice(fn);
  }

 private:
  std::unique_ptr<StreamServer> server_;
  std::thread thread_;
};

}  // namespace vxk
