#include "ui/EditorText.h"

#include <QTextDocument>
#include <algorithm>

#include "ui/DeviceText.h"

namespace vxk {
namespace {

bool IsMasked(unsigned char b) {
  return b <= 7 || b == 11 || (b >= 14 && b <= 31);
}

}  // namespace

bool LooksBinary(const std::string& content) {
  for (unsigned char b : content) {
    if (b == 255 || (b != 0 && IsMasked(b))) return true;
  }
  return false;
}

std::string MaskControlChars(const std::string& content) {
  std::string text = content;
  for (char& c : text) {
    if (IsMasked(static_cast<unsigned char>(c))) c = '?';
  }
  return text;
}

int HexOffsetDigits(size_t size) {
  const size_t last = size == 0 ? 0 : (size - 1) & ~size_t(15);
  int digits = 4;
  while (digits < 16 && (last >> (4 * digits)) != 0) ++digits;
  return digits;
}

std::string HexLine(const std::string& content, size_t offset, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  constexpr size_t kHexWidth = 16 * 3 - 1;  // "hh" per byte, a blank between two
  std::string out;
  out.reserve(static_cast<size_t>(digits) + 2 + kHexWidth + 2 + 16);
  for (int d = digits - 1; d >= 0; --d) out += kDigits[(offset >> (4 * d)) & 15];
  out += ": ";
  const size_t end = std::min(content.size(), offset + 16);
  for (size_t i = offset; i < end; ++i) {
    const auto b = static_cast<unsigned char>(content[i]);
    if (i != offset) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  const size_t used = end > offset ? (end - offset) * 3 - 1 : 0;
  out.append(kHexWidth - used, ' ');
  out += "  ";
  for (size_t i = offset; i < end; ++i) {
    const auto b = static_cast<unsigned char>(content[i]);
    out += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
  }
  return out;
}

std::string HexDump(const std::string& content) {
  const int digits = HexOffsetDigits(content.size());
  std::string out;
  out.reserve(content.size() / 16 * (static_cast<size_t>(digits) + 70) + 96);
  for (size_t line = 0; line < content.size(); line += 16) {
    if (line != 0) out += "\r\n";
    out += HexLine(content, line, digits);
  }
  return out;
}

std::string LineEndOf(const std::string& content) {
  const size_t at = content.find_first_of("\r\n");
  if (at == std::string::npos) return "\r\n";
  if (content[at] == '\n') return "\n";
  return at + 1 < content.size() && content[at + 1] == '\n' ? "\r\n" : "\r";
}

QString MemoText(const QTextDocument& document) {
  // The raw text keeps non-breaking spaces, which the plain text turns into blanks; only the
  // separators between lines need translating.
  QString text = document.toRawText();
  for (QChar& c : text) {
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = QChar('\n');
  }
  return text;
}

std::string FileBytes(const QString& memoText, const std::string& lineEnd) {
  const std::string bytes = ToDevice(memoText);
  if (lineEnd == "\n") return bytes;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  for (char c : bytes) {
    if (c == '\n') {
      out += lineEnd;
    } else {
      out += c;
    }
  }
  return out;
}

QString LineInfoText(int caretLine, int lines, int characters, int lineEndLength) {
  const qint64 bytes =
      static_cast<qint64>(characters) + static_cast<qint64>(lines - 1) * (lineEndLength - 1);
  return LinePositionText(caretLine, lines, bytes);
}

QString LinePositionText(int caretLine, int lines, long long bytes) {
  return QString::asprintf("Line: %4d/%4d\n%lld bytes", caretLine, lines, bytes);
}

}  // namespace vxk
