#include "FileAccess/DosTime.h"

#include <sys/stat.h>

#include <cmath>
#include <ctime>
#include <exception>

namespace vxk {

TDateTime DosTimeValueToDateTime(std::uint32_t packed) {
  if (packed == 0) return 0;
  TDateTime result = 0;
  if (!TryEncodeDateTime(static_cast<int>(packed >> 25) + 1980, (packed >> 21) & 0x0F,
                         (packed >> 16) & 0x1F, (packed >> 11) & 0x1F, (packed >> 5) & 0x3F,
                         (packed & 0x1F) * 2, 0, result))
    return 0;
  return result;
}

TDateTime DosTimeToDateTime(const std::string& text) {
  // Only plain decimal digits: the wire form has no sign or blanks. Values above the signed
  // 32-bit range are not read (the device's listing never reaches them before 2044).
  if (text.empty()) return 0;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 2147483647u) return 0;
  }
  return DosTimeValueToDateTime(static_cast<std::uint32_t>(value));
}

std::uint32_t DateTimeToDosTime(TDateTime t) {
  if (!std::isfinite(t)) return 0;
  int y, m, d, h, n, s, ms;
  try {
    DecodeDateTime(t, y, m, d, h, n, s, ms);
  } catch (const std::exception&) {
    return 0;
  }
  if (y < 1980 || y > 2107) return 0;
  return (static_cast<std::uint32_t>(y - 1980) << 25) | (static_cast<std::uint32_t>(m) << 21) |
         (static_cast<std::uint32_t>(d) << 16) | (static_cast<std::uint32_t>(h) << 11) |
         (static_cast<std::uint32_t>(n) << 5) | static_cast<std::uint32_t>(s / 2);
}

TDateTime FileTimeOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return 0;
  std::tm tm{};
  if (!localtime_r(&info.st_mtime, &tm)) return 0;
  TDateTime local = 0;
  // A leap second (60) is folded into 59; the packed form keeps even seconds only anyway.
  if (!TryEncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                         tm.tm_sec > 59 ? 59 : tm.tm_sec, 0, local))
    return 0;
  return DosTimeValueToDateTime(DateTimeToDosTime(local));
}

std::string SplitTab(std::string& text) {
  const std::string::size_type tab = text.find('\t');
  std::string field;
  if (tab == std::string::npos) {
    field.swap(text);
  } else {
    field = text.substr(0, tab);
    text.erase(0, tab + 1);
  }
  return field;
}

}  // namespace vxk
