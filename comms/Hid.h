#pragma once

#include <string>
#include <vector>

#include "comms/HidBackend.h"

namespace vxk {

// Fills paths with the present HID interfaces that match; a negative criterion is not tested.
// Returns the number of paths, in enumeration order.
int FindHidDevices(HidBackend& backend, std::vector<std::string>& paths, int vendorId,
                   int productId, int usagePage, int usage);

}  // namespace vxk
