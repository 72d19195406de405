#include "ops/ProperPlace.h"

#include "ops/LocalFiles.h"

namespace vxk {
namespace {

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

}  // namespace

std::string ProperPlace(const std::string& prefix, const std::string& path) {
  const std::string name = FileNamePart(path);
  const std::string lowerName = AsciiLower(name);
  const std::string lowerPrefix = AsciiLower(prefix);
  if (EndsWith(lowerName, ".lua") && !StartsWith(lowerPrefix, "/lua/")) return "/Lua/" + name;
  if (EndsWith(lowerName, "config.txt") && !StartsWith(lowerPrefix, "/config/"))
    return "/Config/" + name;
  return std::string();
}

}  // namespace vxk
