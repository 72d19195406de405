#include "comms/Hid.h"

namespace vxk {

std::vector<HidDeviceInfo> PresentHidDevices(HidBackend& backend, int vendorId, int productId,
                                             int usagePage) {
  std::vector<HidDeviceInfo> found;
  for (HidDeviceInfo& info : backend.Enumerate(vendorId, productId)) {
    if (info.vendorId == vendorId && info.productId == productId && info.usagePage == usagePage)
      found.push_back(std::move(info));
  }
  return found;
}

int FindHidDevices(HidBackend& backend, std::vector<std::string>& paths, int vendorId,
                   int productId, int usagePage, int usage) {
  paths.clear();
  // Enumeration filters by vendor and product first, so devices of other makers are never opened.
  for (const HidDeviceInfo& info : backend.Enumerate(vendorId, productId)) {
    if (vendorId > 0 && info.vendorId != vendorId) continue;
    if (productId > 0 && info.productId != productId) continue;
    if (usagePage >= 0 && info.usagePage != usagePage) continue;
    if (usage >= 0 && info.usage != usage) continue;
    // A device that cannot be opened (for example held exclusively elsewhere) does not match.
    if (!backend.Open(info.path)) continue;
    paths.push_back(info.path);
  }
  return static_cast<int>(paths.size());
}

}  // namespace vxk
