#include "ui/LinkStatus.h"

#include <QFrame>
#include <QLabel>
#include <QStatusBar>

#include "ui/Accessibility.h"
#include "ui/DeviceText.h"

namespace vxk {
namespace {

QLabel* Part(QStatusBar* bar, const char* name, const QString& spoken) {
  auto* label = new QLabel(bar);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);  // device texts are never markup
  label->setFrameShape(QFrame::StyledPanel);
  Describe(label, spoken);
  bar->addWidget(label);
  return label;
}

void Show(QLabel* label, const QString& text) {
  label->setText(text);
  label->setVisible(!text.isEmpty());
  label->setAccessibleDescription(text);
}

// Control characters of a device text would break the bar's single line.
QString OneLine(const std::string& text) {
  QString shown = FromDevice(text);
  for (QChar& c : shown) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QChar(' ');
  }
  return shown.trimmed();
}

}  // namespace

LinkStatus::LinkStatus(const SessionSettings& settings, QStatusBar* bar, QObject* parent)
    : QObject(parent), settings_(settings) {
  statusLink = Part(bar, "statusLink", QStringLiteral("Link"));
  statusDevice = Part(bar, "statusDevice", QStringLiteral("Device"));
  SetState(State::Waiting);
  ClearDevice();
}

QString LinkStatus::LinkText(const SessionSettings& settings, State state) {
  using Kind = SessionSettings::LinkKind;
  const QString port = QString::fromLocal8Bit(settings.port.c_str());
  QString link;
  switch (settings.kind) {
    case Kind::Usb:
      link = QStringLiteral("USB");
      break;
    case Kind::Serial:
      link = port.startsWith(QLatin1Char('/')) ? QStringLiteral("Serial ") + port
                                               : QStringLiteral("Serial COM") + port;
      break;
    case Kind::Listen:
      link = QStringLiteral("TCP ") + port;
      break;
    case Kind::Socket:
      link = QStringLiteral("TCP socket");
      break;
  }
  static const char* const words[] = {"waiting for the device", "listening", "connected", "closed",
                                      "not listening"};
  return link + QStringLiteral(": ") + QString::fromLatin1(words[static_cast<int>(state)]);
}

QString LinkStatus::DeviceText(const DeviceInfo& device) {
  if (!device.alive) return QString();
  const QString serial = OneLine(device.serial);
  const QString product = OneLine(device.product);
  if (serial.isEmpty()) return product;
  return (QStringLiteral("#") + serial + QLatin1Char(' ') + product).trimmed();
}

void LinkStatus::SetState(State state) {
  state_ = state;
  Show(statusLink, LinkText(settings_, state));
}

void LinkStatus::SetDevice(const DeviceInfo& device) {
  Show(statusDevice, DeviceText(device));
}

void LinkStatus::ClearDevice() {
  Show(statusDevice, QString());
}

}  // namespace vxk
