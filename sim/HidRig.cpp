#include "sim/HidRig.h"

#include "sim/BasicCommands.h"

namespace vxk {

HidRig::HidRig(DeviceIdentity identity)
    : device(std::move(identity)), backend(&device), link(&backend, lock.Lock()) {
  InstallBasicCommands(device);
}

}  // namespace vxk
