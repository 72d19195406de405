#pragma once

#include <optional>
#include <string>

namespace vxk {

// How a front end (the window or a script) reaches its one device, as plain values.
struct SessionSettings {
  enum class LinkKind { Usb, Serial, Listen, Socket };

  LinkKind kind = LinkKind::Usb;
  // Serial: a port number (1 is /dev/ttyS0) or a device path starting with "/".
  // Listen: the TCP port to wait on.
  std::string port;
  std::string usbSerial;  // Usb: only the device with this serial number (empty: the first)
  int socketHandle = -1;  // Socket: a connected descriptor handed over by another process
  std::string secretKey;  // the key a TCP device's header must prove
  std::optional<int> roundTripTime;  // ms, when given
  std::optional<int> extraTime;      // ms, when given
  bool tls = false;                  // asked for, but not supported
};

}  // namespace vxk
