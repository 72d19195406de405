#pragma once

#include <memory>

#include "sim/BootLoader.h"
#include "sim/DeviceIdentity.h"
#include "sim/FileService.h"
#include "sim/LcdClock.h"
#include "sim/LogService.h"
#include "sim/VirtualDevice.h"

namespace vxk {

// The whole virtual vx.keeper: the interpreter with its general and file commands over a file
// tree (the demo tree unless one is given), its boot loader, its LCD with the four keys, its
// clock, and its log stream on channel 31.
class SimDevice {
 public:
  explicit SimDevice(DeviceIdentity identity = {}, std::unique_ptr<SimFileSystem> fs = nullptr);
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  VirtualDevice& Device() { return device_; }
  FileService& Files() { return files_; }
  BootLoader& Loader() { return bootLoader_; }
  LcdClock& Panel() { return panel_; }
  LogService& Log() { return log_; }

 private:
  VirtualDevice device_;
  FileService files_;
  BootLoader bootLoader_;
  LcdClock panel_;
  LogService log_;
};

}  // namespace vxk
