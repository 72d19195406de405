#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "comms/ChannelBuffer.h"
#include "comms/HidBackend.h"
#include "comms/Packet.h"
#include "comms/RawHid.h"
#include "comms/TerminalLock.h"

namespace vxk {

// The link interface: 32 channels of 64-byte packets, the terminal lock, two time-out
// settings and the identity texts of the device. This class is also the USB HID link;
// the TCP and serial links derive from it.
class TvxComms {
 public:
  static constexpr int kVendorId = 0x16D0;
  static constexpr int kProductId = 0x064E;
  static constexpr int kUsagePage = 0xFFB2;
  static constexpr int kUsage = -1;

  // backend may be null for links that do not use HID.
  explicit TvxComms(HidBackend* backend, TerminalLock& lock = TerminalLock::Machine());
  virtual ~TvxComms();
  TvxComms(const TvxComms&) = delete;
  TvxComms& operator=(const TvxComms&) = delete;

  virtual bool IsValidChannel(int channel) const;
  virtual bool Open();
  virtual void Close();
  virtual bool IsOpen();
  virtual bool IsAlive();
  virtual bool Write(const std::string& text, int channel, uint8_t flags, int timeoutMs);
  virtual bool Poll(int timeoutMs);
  // The data of at most one packet of the channel (at most maxBytes when not negative).
  virtual std::string Read(int channel, int timeoutMs, int maxBytes = -1);
  virtual void ClearChannel(int channel);
  // Bytes written to the link that have not yet left this machine (0 when unknown): a device
  // that is still receiving an upload cannot answer before they have.
  virtual size_t PendingOutput() { return 0; }
  virtual int RoundTripTime() const { return roundTripTime_; }
  virtual int ExtraTime() const { return extraTime_; }
  virtual std::string SerialNumber();
  virtual std::string Manufacturer();
  virtual std::string ProductName();
  virtual std::string Capabilities();
  virtual std::string Info210();
  virtual std::string Info211();
  virtual std::string FirmwareVersion();
  virtual std::string FirmwareBuild();
  virtual std::string FirmwareDate();

  bool Lock(int timeoutMs);
  void Unlock();
  // While set, Lock fails at once: the device's connection header is being read, and no
  // terminal exchange may reach the device before it has been checked.
  void SetHeaderPending(bool pending) { headerPending_ = pending; }
  bool DataAvailable(int channel);
  // USB: Open takes only the device with this serial number (empty: the first one found).
  void SetSerialFilter(const std::string& serial) { serialFilter_ = serial; }
  void SetRoundTripTime(int ms) { roundTripTime_ = ms; }
  void SetExtraTime(int ms) { extraTime_ = ms; }

  bool TimedOut() const { return timedOut_; }
  int LockFailures() const { return lockFailures_; }
  int LockCount() const { return lockCount_; }
  // Bytes held in a channel buffer (0 for an invalid channel).
  size_t BufferedBytes(int channel) const;

 protected:
  // Stores a received packet in its channel buffer; false when it was dropped.
  bool StorePacket(const char* packet);
  // Cuts received terminal bytes into channel-0 packets of at most 61 data bytes.
  void StoreTerminalBytes(const char* data, size_t size);
  // Room left in the channel-0 buffer, in data bytes of whole packets.
  size_t TerminalRoom() const;
  void SetTimedOut(bool value) { timedOut_ = value; }

  TRawHid hid_;

 private:
  TerminalLock& terminalLock_;
  int roundTripTime_ = 0;
  bool timedOut_ = false;
  int extraTime_ = 0;
  int lockFailures_ = 0;
  int lockCount_ = 0;
  bool headerPending_ = false;
  std::string serialFilter_;
  std::array<ChannelBuffer, kChannelCount> channels_;
};

}  // namespace vxk
