// The LCD snapshot reply: header line, then the pixel text.
#include <cstdint>
#include <string>

#include "ops/LcdSnapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t eol = text.find('\n');
  const std::string header = text.substr(0, eol);
  const std::string pixels = eol == std::string::npos ? std::string() : text.substr(eol + 1);
  int width = 0;
  int height = 0;
  if (vxk::ParseLcdHeader(header, width, height).ok()) {
    for (const auto& [x, y] : vxk::DecodeLcdPixels(pixels, width, height)) {
      if (x < 0 || y < 0 || x >= width || y >= (height + 7) / 8 * 8) __builtin_trap();
    }
  }
  return 0;
}
