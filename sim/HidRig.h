#pragma once

#include "comms/vxComms.h"
#include "sim/DeviceIdentity.h"
#include "sim/FakeHidBackend.h"
#include "sim/ScratchLock.h"
#include "sim/SimDevice.h"

namespace vxk {

// A virtual device behind the fake HID backend and a USB link to it, for tests and benchmarks.
struct HidRig {
  explicit HidRig(DeviceIdentity identity = {});

  SimDevice sim;
  VirtualDevice& device;
  FakeHidBackend backend;
  ScratchLock lock;
  TvxComms link;
};

}  // namespace vxk
