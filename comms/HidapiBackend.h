#pragma once

#include "comms/HidBackend.h"

namespace vxk {

// HID access through hidapi's libusb flavour, which can read the device's indexed strings.
class HidapiBackend : public HidBackend {
 public:
  ~HidapiBackend() override;
  bool Init() override;
  std::vector<HidDeviceInfo> Enumerate(int vendorId, int productId) override;
  std::unique_ptr<HidDevice> Open(const std::string& path) override;

 private:
  bool initialised_ = false;
};

}  // namespace vxk
