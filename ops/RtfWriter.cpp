#include "ops/RtfWriter.h"

namespace vxk {
namespace {

constexpr char kHex[] = "0123456789abcdef";

}  // namespace

RtfWriter::RtfWriter(size_t limitBytes) : limit_(limitBytes) {}

int RtfWriter::ColourIndex(RtfColour colour) {
  for (size_t i = 0; i < colours_.size(); ++i) {
    if (colours_[i] == colour) return static_cast<int>(i) + 1;
  }
  colours_.push_back(colour);
  // Entry 0 of the table is the automatic colour.
  return static_cast<int>(colours_.size());
}

void RtfWriter::Put(std::string_view bytes) {
  if (body_.size() + bytes.size() > limit_) throw RtfError();
  body_.append(bytes);
}

void RtfWriter::Append(std::string_view text, RtfColour colour, bool bold, bool italic) {
  if (text.empty()) return;
  std::string out;
  const int index = ColourIndex(colour);
  if (index != colour_) out += "\\cf" + std::to_string(index) + ' ';
  if (bold != bold_) out += bold ? "\\b " : "\\b0 ";
  if (italic != italic_) out += italic ? "\\i " : "\\i0 ";
  colour_ = index;
  bold_ = bold;
  italic_ = italic;
  out.reserve(out.size() + text.size() + text.size() / 4);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    const bool cr = b == '\r';
    if (b == '\n') {
      if (!lastWasCr_) out += "\\par\n";
    } else if (cr) {
      out += "\\par\n";
    } else if (b == '\t') {
      out += "\\tab ";
    } else if (b == '\\' || b == '{' || b == '}') {
      out += '\\';
      out += c;
    } else if (b < 0x20 || b >= 0x7F) {
      out += "\\'";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
    lastWasCr_ = cr;
  }
  Put(out);
}

std::string RtfWriter::Document() const {
  std::string doc =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0"
      "{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\n{\\colortbl;";
  for (const RtfColour& c : colours_) {
    doc += "\\red" + std::to_string(c.red) + "\\green" + std::to_string(c.green) + "\\blue" +
           std::to_string(c.blue) + ';';
  }
  doc += "}\n\\f0\\fs20 ";
  doc += body_;
  doc += "}\n";
  return doc;
}

}  // namespace vxk
