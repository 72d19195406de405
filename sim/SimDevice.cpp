#include "sim/SimDevice.h"

#include "sim/BasicCommands.h"

namespace vxk {

SimDevice::SimDevice(DeviceIdentity identity, std::unique_ptr<SimFileSystem> fs)
    : device_(std::move(identity)), files_(fs ? std::move(fs) : SimFileSystem::Demo(PackedNow())) {
  InstallBasicCommands(device_);
  files_.Install(device_);
  bootLoader_.Install(device_);
  panel_.Install(device_);
  log_.Install(device_);
}

}  // namespace vxk
