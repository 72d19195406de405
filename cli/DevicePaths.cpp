#include "cli/DevicePaths.h"

#include <fnmatch.h>

#include "cli/CliText.h"
#include "ops/LocalFiles.h"

namespace vxk {

std::string DevicePathArg(const std::string& commandLineText) {
  return LocalToDevice(commandLineText);
}

std::string ParentOf(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const size_t slash = p.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return p.substr(0, slash);
}

std::string NameOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return FileNamePart(path);
}

std::string JoinDevicePath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return "/" + name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool IsPattern(const std::string& path) {
  return NameOf(path).find_first_of("*?[") != std::string::npos;
}

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  // The program runs in the C locale: bytes compare as bytes, letter case aside for ASCII.
  return ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

}  // namespace vxk
