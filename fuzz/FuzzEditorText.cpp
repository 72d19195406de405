// How the editor shows device content: binary check, masking, hex dump, line ends.
#include <cstdint>
#include <string>

#include "ui/EditorText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  vxk::LooksBinary(content);
  const std::string masked = vxk::MaskControlChars(content);
  if (masked.size() != content.size()) __builtin_trap();
  const std::string dump = vxk::HexDump(content);
  // 16 bytes a line: "0000: " then "hh " per byte, CR LF between lines.
  const size_t lines = (size + 15) / 16;
  if ((size == 0) != dump.empty() || (lines > 0 && dump.size() < size * 3)) __builtin_trap();
  vxk::LineEndOf(content);
  return 0;
}
