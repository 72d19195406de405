#pragma once

#include <memory>
#include <thread>

#include "comms/vxCommsSocket.h"
#include "sim/LinkTiming.h"
#include "sim/ScratchLock.h"
#include "sim/SimDevice.h"
#include "sim/StreamServer.h"

namespace vxk {

// A virtual device served on a loopback TCP connection (in a thread of its own) and a TCP
// link attached to the tool's end, for tests and benchmarks. The timing delays and paces the
// device's side of the connection.
class TcpRig {
 public:
  explicit TcpRig(DeviceIdentity identity = {}, LinkTiming timing = {});
  explicit TcpRig(LinkTiming timing) : TcpRig(DeviceIdentity{}, timing) {}
  ~TcpRig();

  SimDevice sim;
  ScratchLock lock;
  TvxCommsSocket link;

  // Changes the device safely while its server runs.
  template <class Fn>
  void WithDevice(Fn fn) {
    server_->WithDevice(fn);
  }
  // Changes the timing; bytes already under way keep theirs.
  void SetTiming(const LinkTiming& timing) {
    if (server_) server_->SetTiming(timing);
  }
  // Ends the device's side of the connection.
  void Disconnect();

 private:
  std::unique_ptr<StreamServer> server_;
  std::thread thread_;
};

// A connected pair of loopback TCP sockets; false when the machine refuses.
bool LoopbackPair(int& toolSide, int& deviceSide);

}  // namespace vxk
