#pragma once

#include <cstddef>
#include <string>

namespace vxk {

// Which USB string descriptor to read.
enum class HidString { Manufacturer, Product, SerialNumber, Indexed };

// One open HID interface, as the backend gives it. Read is called on one thread while Write
// and GetString may be called on another at the same time; implementations must allow that.
class HidDevice {
 public:
  virtual ~HidDevice() = default;

  // Reads one input report without its report identifier into buf (at most len bytes).
  // Returns the bytes delivered, 0 for an empty report, -1 when none came within timeoutMs,
  // -2 when the device failed (unplugged).
  virtual int Read(unsigned char* buf, size_t len, int timeoutMs) = 0;
  // Writes one output report: report identifier first, then the data. Returns the bytes
  // written including the identifier, 0 on time-out, -1 on failure.
  virtual int Write(const unsigned char* report, size_t len, int timeoutMs) = 0;
  // Reads a string descriptor; false when the device refuses it.
  virtual bool GetString(HidString which, int index, std::wstring& out) = 0;
};

}  // namespace vxk
