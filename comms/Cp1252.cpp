#include "comms/Cp1252.h"

namespace vxk {
namespace {

// 0x80..0x9F; 0 marks the undefined bytes, which keep their own value.
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

char32_t Cp1252ToUnicode(uint8_t byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const char16_t c = kHigh[byte - 0x80];
  return c ? c : byte;
}

int UnicodeToCp1252(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<int>(ch);
  for (int i = 0; i < 32; ++i) {
    const char16_t c = kHigh[i];
    if (c == ch || (c == 0 && ch == static_cast<char32_t>(0x80 + i))) return 0x80 + i;
  }
  return -1;
}

std::string WideToCp1252(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    const int b = UnicodeToCp1252(static_cast<char32_t>(w));
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
  }
  return out;
}

}  // namespace vxk
