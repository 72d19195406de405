#include "ui/DeviceText.h"

#include "comms/Cp1252.h"

namespace vxk {

QString FromDevice(const std::string& bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (unsigned char b : bytes) text.append(QChar(static_cast<char16_t>(Cp1252ToUnicode(b))));
  return text;
}

std::string ToDevice(const QString& text) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(text.size()));
  for (const QChar c : text) {
    const int b = UnicodeToCp1252(c.unicode());
    bytes.push_back(b < 0 ? '?' : static_cast<char>(b));
  }
  return bytes;
}

QString CrLineEnds(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c == QChar('\n')) {
      if (i == 0 || text.at(i - 1) != QChar('\r')) out.append(QChar('\r'));
    } else {
      out.append(c);
    }
  }
  return out;
}

QString ShownPath(const std::string& path) {
  QString out;
  out.reserve(static_cast<qsizetype>(path.size()));
  for (const QChar c : FromDevice(path)) {
    if (c == QLatin1Char('/') && out.endsWith(QLatin1Char('/'))) continue;
    const bool control = c.unicode() < 0x20 || c.unicode() == 0x7F;
    out.append(control ? QChar('?') : c);
  }
  return out;
}

}  // namespace vxk
