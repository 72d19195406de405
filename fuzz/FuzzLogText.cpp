// Log records as they come on channel 31: type byte, then text.
#include <cstdint>
#include <string>
#include <string_view>

#include "ops/LogRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string escaped = vxk::EscapeText(bytes);
  // Only printable ASCII, TAB, CR and LF leave the escaper.
  for (const char c : escaped) {
    const auto u = static_cast<unsigned char>(c);
    if (!(u == '\t' || u == '\r' || u == '\n' || (u >= 0x20 && u < 0x7f))) __builtin_trap();
  }
  if (size > 0) {
    vxk::RecordTag(data[0]);
    vxk::PaneOfRecord(data[0]);
  }
  return 0;
}
