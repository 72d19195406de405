#pragma once

#include <memory>
#include <string>

#include "comms/HidBackend.h"
#include "comms/HidReader.h"

namespace vxk {

// Raw access to one HID interface: report reads and writes with time-outs, strings.
// While a device is open a HidReader reads it continuously; ReadReport takes from its queue.
// Reads thus run on that thread, writes and string reads on the caller's.
class TRawHid {
 public:
  // The largest report, without its identifier.
  static constexpr int kMaxReport = 516;

  explicit TRawHid(HidBackend* backend);
  ~TRawHid();
  TRawHid(const TRawHid&) = delete;
  TRawHid& operator=(const TRawHid&) = delete;

  // Opens the first interface that matches; true when a device is open.
  bool OpenFirst(int vendorId, int productId, int usagePage, int usage);
  bool OpenPath(const std::string& path);
  // Opens the first matching interface whose serial number string is serial.
  bool OpenBySerial(int vendorId, int productId, int usagePage, int usage,
                    const std::string& serial);
  void CloseDevice();
  bool IsValid() const { return device_ != nullptr; }

  // The oldest received report, waiting up to timeoutMs for one (0: only what has arrived;
  // negative: the default read time-out). Bytes delivered, 0 for an empty report, -1 for none
  // (or a failed device, which closes).
  int ReadReport(unsigned char* buf, int len, int timeoutMs);
  // The first byte of the next input report without taking it, waiting up to timeoutMs for
  // one; -1 for none.
  int PeekReportByte(int timeoutMs);
  // Data bytes written, 0 on time-out, -1 on failure.
  int WriteReport(const unsigned char* data, int len, int timeoutMs);

  // String descriptors as 8-bit text; empty when the device refuses them.
  std::string Manufacturer();
  std::string Product();
  std::string SerialNumber();
  std::string IndexedString(int index);

  const std::string& Path() const { return path_; }
  int DefaultReadTimeout() const { return readTimeout_; }
  int DefaultWriteTimeout() const { return writeTimeout_; }

 private:
  std::string ReadString(HidString which, int index);

  HidBackend* backend_;
  std::unique_ptr<HidDevice> device_;
  // Declared after the device: it reads the device and must stop before it closes.
  std::unique_ptr<HidReader> reader_;
  int readTimeout_ = 0;
  int writeTimeout_ = 0;
  std::string path_;
};

}  // namespace vxk
