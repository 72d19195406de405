#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vxk {

// Raised when the document would outgrow the writer's byte limit.
class RtfError : public std::runtime_error {
 public:
  RtfError() : std::runtime_error("Error appending RTF data.") {}
};

struct RtfColour {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const RtfColour& o) const {
    return red == o.red && green == o.green && blue == o.blue;
  }
};

// Builds an RTF document from runs of 8-bit (Windows-1252) text, each in one colour and
// style. Line ends (CR LF, CR or LF) become paragraph breaks, TAB becomes \tab; the RTF
// specials \ { } are escaped, and every other control byte and every byte from 0x80 up is
// written as \'hh, so any byte sequence gives a well-formed document.
class RtfWriter {
 public:
  static constexpr size_t kDefaultLimit = size_t(64) << 20;

  explicit RtfWriter(size_t limitBytes = kDefaultLimit);

  void Append(std::string_view text, RtfColour colour, bool bold = false, bool italic = false);
  // The whole document: header, font and colour tables, body.
  std::string Document() const;
  // Bytes of the body written so far.
  size_t BodySize() const { return body_.size(); }

 private:
  int ColourIndex(RtfColour colour);
  void Put(std::string_view bytes);

  size_t limit_;
  std::vector<RtfColour> colours_;
  std::string body_;
  int colour_ = -1;  // index in the table of the colour in force, -1 before the first run
  bool bold_ = false;
  bool italic_ = false;
  bool lastWasCr_ = false;
};

}  // namespace vxk
