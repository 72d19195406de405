#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comms/HeaderLineReader.h"
#include "comms/TcpSocket.h"
#include "comms/vxComms.h"

namespace vxk {

// The link over one connected TCP socket that the device opened towards the tool. It carries
// channel 0 only and keeps the device's identity texts as fields, filled with defaults and
// then from the connection header.
class TvxCommsSocket : public TvxComms {
 public:
  explicit TvxCommsSocket(TerminalLock& lock = TerminalLock::Machine());
  ~TvxCommsSocket() override;

  bool Open() override;
  void Close() override;
  bool IsOpen() override;
  bool IsAlive() override;
  bool Write(const std::string& text, int channel, uint8_t flags, int timeoutMs) override;
  bool Poll(int timeoutMs) override;
  size_t PendingOutput() override;
  std::string SerialNumber() override { return serialNumber_; }
  std::string Manufacturer() override { return manufacturer_; }
  std::string ProductName() override { return productName_; }
  std::string Capabilities() override { return capabilities_; }
  std::string Info210() override { return info210_; }
  std::string Info211() override { return info211_; }
  std::string FirmwareVersion() override { return firmwareVersion_; }
  std::string FirmwareBuild() override { return firmwareBuild_; }
  std::string FirmwareDate() override { return firmwareDate_; }

  // Adopts a connected stream socket (anything else is left alone and the link stays closed);
  // lingers for RoundTripTime milliseconds on close.
  void AttachSocket(int handle);
  static constexpr size_t kMaxHeaderLine = HeaderLineReader::kMaxLine;

  // One line of channel-0 text up to CR, LF dropped; empty when a byte is late or the
  // deadline (a tick; negative for none) has passed. A line is cut at kMaxHeaderLine bytes.
  std::string ReadHeaderLine(int timeoutMs, int64_t deadline = -1);

  void SetSerialNumber(const std::string& v) { serialNumber_ = v; }
  void SetManufacturer(const std::string& v) { manufacturer_ = v; }
  void SetProductName(const std::string& v) { productName_ = v; }
  void SetCapabilities(const std::string& v) { capabilities_ = v; }
  void SetFirmwareVersion(const std::string& v) { firmwareVersion_ = v; }
  void SetFirmwareBuild(const std::string& v) { firmwareBuild_ = v; }
  void SetFirmwareDate(const std::string& v) { firmwareDate_ = v; }
  // Back to the texts of a link no header has spoken to yet.
  void ResetIdentity();

  TcpSocket& Socket() { return *socket_; }

 protected:
  void SetOpened(bool opened) { opened_ = opened; }
  bool Opened() const { return opened_; }

 private:
  std::unique_ptr<TcpSocket> socket_;
  std::string serialNumber_;
  std::string manufacturer_;
  std::string productName_;
  std::string capabilities_;
  std::string info210_;
  std::string info211_;
  std::string firmwareVersion_;
  std::string firmwareBuild_;
  std::string firmwareDate_;
  bool opened_ = false;
  std::vector<char> chunk_;  // receive buffer of Poll
};

}  // namespace vxk
