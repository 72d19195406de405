#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comms/HidDevice.h"

namespace vxk {

// One HID interface found by enumeration.
struct HidDeviceInfo {
  std::string path;
  int vendorId = 0;
  int productId = 0;
  int usagePage = 0;
  int usage = 0;
  // The serial number and product text as enumeration reports them, without opening the
  // device (Windows-1252 bytes); empty when unknown.
  std::string serialNumber;
  std::string product;
};

// Access to the machine's HID devices; the program uses hidapi, the tests a fake device.
class HidBackend {
 public:
  virtual ~HidBackend() = default;

  // Loads the HID support; false means "Could not load HID".
  virtual bool Init() = 0;
  // Present interfaces in enumeration order; a negative ID matches any.
  virtual std::vector<HidDeviceInfo> Enumerate(int vendorId, int productId) = 0;
  // Opens an interface by path; null when it cannot be opened.
  virtual std::unique_ptr<HidDevice> Open(const std::string& path) = 0;

  // Serialises the report writes of all devices of this backend.
  std::mutex& WriteLock() { return writeLock_; }

 private:
  std::mutex writeLock_;
};

}  // namespace vxk
