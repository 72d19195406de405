// The RTF writer over arbitrary runs of device text: the first byte of each run picks its
// colour and style, the run ends at the next 0xFE.
#include <cstdint>
#include <string>
#include <string_view>

#include "ops/RtfWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  vxk::RtfWriter writer(16 * 1024);
  try {
    size_t pos = 0;
    while (pos < text.size()) {
      const auto style = static_cast<uint8_t>(text[pos++]);
      size_t end = text.find('\xFE', pos);
      if (end == std::string_view::npos) end = text.size();
      const vxk::RtfColour colour{static_cast<uint8_t>(style & 0x03 ? 0xFF : 0), 0,
                                  static_cast<uint8_t>(style & 0x0C ? 0x80 : 0)};
      writer.Append(text.substr(pos, end - pos), colour, style & 0x10, style & 0x20);
      pos = end + 1;
    }
  } catch (const vxk::RtfError&) {
    // The byte limit was reached: refused, not a fault.
  }
  const std::string doc = writer.Document();
  // Balanced braces and nothing outside 7-bit text: a well-formed document whatever came in.
  int depth = 0;
  bool escaped = false;
  for (const char c : doc) {
    if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') __builtin_trap();
    if (escaped) {
      escaped = false;
      continue;
    }
    if (c == '\\') escaped = true;
    if (c == '{') ++depth;
    if (c == '}' && --depth < 0) __builtin_trap();
  }
  if (depth != 0) __builtin_trap();
  return 0;
}
