#pragma once

#include <string>

namespace vxk {

// Where a dropped file belongs on the device, or "" when the current folder will do: Lua
// scripts go to /Lua/ and configuration files (names ending in "config.txt") to /Config/,
// unless prefix (the current folder + "/") is already inside that folder. Letter case is
// ignored (ASCII). path may be a bare name or a "/"-separated local path.
std::string ProperPlace(const std::string& prefix, const std::string& path);

}  // namespace vxk
