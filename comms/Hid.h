#pragma once

#include <string>
#include <vector>

#include "comms/HidBackend.h"

namespace vxk {

// The present interfaces with the vendor, product and usage page given, in enumeration order,
// none of them opened: a device another program holds is listed too, for a person to see.
std::vector<HidDeviceInfo> PresentHidDevices(HidBackend& backend, int vendorId, int productId,
                                             int usagePage);

// Fills paths with the present HID interfaces that match; a negative criterion is not tested.
// Returns the number of paths, in enumeration order.
int FindHidDevices(HidBackend& backend, std::vector<std::string>& paths, int vendorId,
                   int productId, int usagePage, int usage);

}  // namespace vxk
