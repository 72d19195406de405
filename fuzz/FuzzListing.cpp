// Directory listing lines as the device sends them, one per input line.
#include <cstdint>
#include <string>

#include "FileAccess/ConversionError.h"
#include "FileAccess/DateTime.h"
#include "FileAccess/vxkFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    vxk::TDirEntry entry;
    if (vxk::TvxkFiles::TryParseEntry(line, entry)) {
      vxk::TvxkFiles::AttributeText(entry.attributes);
      vxk::FormatDateTime(entry.time1);
    }
    try {
      vxk::TvxkFiles::ParseReadHeader(line);
    } catch (const vxk::ConversionError&) {
    }
  }
  return 0;
}
