#pragma once

#include <string>

namespace vxk {

// What a virtual device says about itself (USB strings, or its connection header).
struct DeviceIdentity {
  std::string manufacturer = "Corvane";
  std::string product = "vx.keeper.Sim";
  std::string serial = "100042";
  std::string capabilities = ".uft.nfi.lcd.";
  std::string firmwareVersion = "2.14";
  std::string firmwareBuild = "3107";
  std::string firmwareDate = "2026-11-20";
  std::string info210 = "sim";
  std::string info211 = "";
};

}  // namespace vxk
