#include "cli/CliText.h"

#include <cstdio>

#include "comms/Cp1252.h"
#include "ops/LocalFiles.h"

namespace vxk {

namespace {

std::string Hex(unsigned char b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", b);
  return buf;
}

// U+0080..U+009F as UTF-8: C1 controls (CSI, OSC, DCS ...), which terminals may act on.
bool IsC1(const std::string& text, size_t i, size_t len) {
  return len == 2 && static_cast<unsigned char>(text[i]) == 0xC2 &&
         static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

}  // namespace

size_t Utf8Length(const std::string& text, size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (b < 0x80) return 1;
  size_t len;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 0;
  }
  return len;
}

std::string ShownText(const std::string& deviceText) {
  std::string escaped;
  for (const char c : deviceText) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || c == '\\' || (b >= 0x80 && Cp1252ToUnicode(b) < 0xA0)) {
      escaped += Hex(b);
    } else {
      escaped += c;
    }
  }
  return DeviceNameToLocal(escaped);
}

std::string ShownLines(const std::string& deviceText) {
  std::string out, line;
  for (size_t i = 0; i < deviceText.size(); ++i) {
    const char c = deviceText[i];
    if (c != '\r' && c != '\n') {
      line += c;
      continue;
    }
    if (c == '\r' && i + 1 < deviceText.size() && deviceText[i + 1] == '\n') ++i;
    out += ShownText(line) + '\n';
    line.clear();
  }
  return out + ShownText(line);
}

std::string TerminalText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const size_t len = Utf8Length(text, i);
    const auto b = static_cast<unsigned char>(text[i]);
    if (len == 0 || (len == 1 && (b < 0x20 || b == 0x7F)) || IsC1(text, i, len)) {
      const size_t n = len == 0 ? 1 : len;
      for (size_t k = 0; k < n; ++k) out += Hex(static_cast<unsigned char>(text[i + k]));
      i += n;
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  return out;
}

std::string JsonString(const std::string& deviceText) {
  const std::string utf8 = DeviceNameToLocal(deviceText);
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    const auto b = static_cast<unsigned char>(c);
    unsigned code = b;
    if (b == 0xC2 && i + 1 < utf8.size() && IsC1(utf8, i, 2)) {
      code = static_cast<unsigned char>(utf8[++i]);  // a C1 control, escaped as well
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
      continue;
    } else if (b >= 0x20 && b != 0x7F) {
      out += c;
      continue;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", code);
    out += buf;
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
