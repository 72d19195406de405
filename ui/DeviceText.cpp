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

}  // namespace vxk
