#include "sim/HidRig.h"

namespace vxk {

HidRig::HidRig(DeviceIdentity identity)
    : sim(std::move(identity)),
      device(sim.Device()),
      backend(&device),
      link(&backend, lock.Lock()) {}

}  // namespace vxk
