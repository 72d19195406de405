#include "ui/EditorText.h"

#include <QTextDocument>
#include <algorithm>
#include <cstdio>

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

std::string HexDump(const std::string& content) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(content.size() / 16 * 56 + 64);
  for (size_t line = 0; line < content.size(); line += 16) {
    if (line != 0) out += "\r\n";
    char offset[24];
    std::snprintf(offset, sizeof offset, "%04zX: ", line);
    out += offset;
    const size_t end = std::min(content.size(), line + 16);
    for (size_t i = line; i < end; ++i) {
      const auto b = static_cast<unsigned char>(content[i]);
      if (i != line) out += ' ';
      out += kDigits[b >> 4];
      out += kDigits[b & 15];
    }
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
  return QString::asprintf("Line: %4d/%4d\n%lld bytes", caretLine, lines,
                           static_cast<long long>(bytes));
}

}  // namespace vxk
