#pragma once

#include <cstdint>
#include <string>

#include "comms/vxCommsSocket.h"

namespace vxk {

// The serial link: 115200 baud, 8N1, RTS/CTS flow control, channel 0 only. It keeps the
// identity texts and the opened flag of the TCP link, but never detects that the device went
// away: once open it stays alive until closed.
class TvxCommsComPort : public TvxCommsSocket {
 public:
  explicit TvxCommsComPort(TerminalLock& lock = TerminalLock::Machine());
  ~TvxCommsComPort() override;

  bool Open() override;
  void Close() override;
  bool IsAlive() override;
  // Hands the whole text to the port; false when it is not all sent within ExtraTime ms plus
  // twice its line time. A late text is not cut: its rest goes out with the next Write or Poll.
  // Once handed over, waits (within the same time) while the text handed over so far needs
  // more than about 4 KiB of line time still. The flags and the time-out are not used.
  bool Write(const std::string& text, int channel, uint8_t flags, int timeoutMs) override;
  bool Poll(int timeoutMs) override;
  size_t PendingOutput() override;
  virtual bool HasPortHandle() const { return port_ >= 0; }

  // Port n (1 and up) is /dev/ttyS<n-1>; 0 or less names no port at all.
  void SetPortNumber(int number);
  // A device node given directly, such as /dev/ttyACM0.
  void SetPortPath(const std::string& path) { portName_ = path; }
  const std::string& PortName() const { return portName_; }

 private:
  // Text handed over but not yet taken by the port is kept up to this size.
  static constexpr size_t kMaxPending = 1 << 20;

  bool Configure();
  void ClosePort();
  // Writes pending text until it is all taken or the deadline (a tick) passes.
  bool FlushPending(int64_t deadline);

  int port_ = -1;
  std::string portName_;
  std::string pending_;
  double lineFreeAt_ = 0;  // tick count (ms) by which the line can have sent what the port took
};

}  // namespace vxk
