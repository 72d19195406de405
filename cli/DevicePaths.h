#pragma once

#include <string>

namespace vxk {

// A device path typed on the command line (UTF-8) as the device's Windows-1252 bytes.
std::string DevicePathArg(const std::string& commandLineText);

// The device folder part of a path ("/" for a top-level name).
std::string ParentOf(const std::string& path);
// The last part of a path, trailing "/" aside.
std::string NameOf(std::string path);
// The device path of name inside folder ("/" joins once).
std::string JoinDevicePath(const std::string& folder, const std::string& name);

// Whether the last part of a path is a pattern (holds *, ? or [).
bool IsPattern(const std::string& path);
// Whether a device name matches a pattern: * any text, ? one byte, [...] one of a set;
// letter case aside, as the device's names are.
bool MatchesPattern(const std::string& pattern, const std::string& name);

}  // namespace vxk
