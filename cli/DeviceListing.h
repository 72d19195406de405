#pragma once

#include <string>
#include <vector>

#include "FileAccess/vxkFiles.h"

namespace vxk {

bool IsDirectory(const TDirEntry& entry);

// The parsed entries of a listing, "." and ".." and unparsable lines left out; raw gets the
// lines of the entries kept.
OpResult ListEntries(TvxkFiles& files, const std::string& folder, std::vector<TDirEntry>& entries,
                     std::vector<std::string>* raw = nullptr);

enum class Lookup { Found, Missing, ListFailed };

// The listing entry of a device path; the exact name first, then one that differs only in
// letter case (the device's names are not case-sensitive).
Lookup FindEntry(TvxkFiles& files, const std::string& path, TDirEntry& entry,
                 OpResult* listed = nullptr);

// A device path given on the command line, with the entry it names: a plain path gives one
// (when it exists), a pattern every entry of its folder that matches, in listing order.
struct DeviceMatch {
  std::string path;  // the folder of the argument joined with the entry's own name
  TDirEntry entry;
};
struct Expansion {
  Lookup lookup = Lookup::Found;  // Missing: nothing matched; ListFailed: see listed
  OpResult listed;
  std::vector<DeviceMatch> matches;
};
Expansion ExpandDevicePath(TvxkFiles& files, const std::string& path);

}  // namespace vxk
