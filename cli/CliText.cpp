#include "cli/CliText.h"

#include <cstdio>

#include "comms/Cp1252.h"
#include "ops/LocalFiles.h"

namespace vxk {

std::string ShownText(const std::string& deviceText) {
  std::string escaped;
  for (const char c : deviceText) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", b);
      escaped += buf;
    } else {
      escaped += c;
    }
  }
  return DeviceNameToLocal(escaped);
}

std::string JsonString(const std::string& deviceText) {
  const std::string utf8 = DeviceNameToLocal(deviceText);
  std::string out = "\"";
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20 || b == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", b);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string LocalToDevice(const std::string& localName) {
  std::string out;
  for (size_t i = 0; i < localName.size();) {
    const auto b = static_cast<unsigned char>(localName[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t ch = 0;
    bool valid = len > 0 && i + len <= localName.size();
    if (valid) {
      ch = len == 1 ? b : b & (0xFF >> (len + 1));
      for (size_t k = 1; k < len && valid; ++k) {
        const auto cb = static_cast<unsigned char>(localName[i + k]);
        valid = (cb & 0xC0) == 0x80;
        ch = (ch << 6) | (cb & 0x3F);
      }
    }
    const int byte = valid ? UnicodeToCp1252(ch) : -1;
    if (byte < 0) {
      out += localName[i];
      ++i;
    } else {
      out += static_cast<char>(byte);
      i += len;
    }
  }
  return out;
}

}  // namespace vxk
