#include "comms/RawHid.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "comms/Cp1252.h"
#include "comms/Hid.h"

namespace vxk {

TRawHid::TRawHid(HidBackend* backend) : backend_(backend) {}

TRawHid::~TRawHid() {
  CloseDevice();
}

bool TRawHid::OpenFirst(int vendorId, int productId, int usagePage, int usage) {
  if (!backend_) return false;
  std::vector<std::string> paths;
  if (FindHidDevices(*backend_, paths, vendorId, productId, usagePage, usage) > 0) {
    OpenPath(paths.front());
  }
  return IsValid();
}

bool TRawHid::OpenBySerial(int vendorId, int productId, int usagePage, int usage,
                           const std::string& serial) {
  if (!backend_) return false;
  std::vector<std::string> paths;
  FindHidDevices(*backend_, paths, vendorId, productId, usagePage, usage);
  for (const std::string& path : paths) {
    if (OpenPath(path) && SerialNumber() == serial) return true;
    CloseDevice();
  }
  return false;
}

bool TRawHid::OpenPath(const std::string& path) {
  CloseDevice();
  path_ = path;
  if (backend_) device_ = backend_->Open(path);
  // Room for the largest report and its identifier.
  if (device_) reader_ = std::make_unique<HidReader>(*device_, kMaxReport + 1);
  return IsValid();
}

void TRawHid::CloseDevice() {
  reader_.reset();  // joins the reader thread before the handle goes
  device_.reset();
}

int TRawHid::ReadReport(unsigned char* buf, int len, int timeoutMs) {
  if (!device_) return -1;
  len = std::clamp(len, 0, kMaxReport);
  if (timeoutMs < 0) timeoutMs = readTimeout_;
  const int n = reader_->Take(buf, static_cast<size_t>(len), timeoutMs);
  if (n < -1) {
    CloseDevice();
    return -1;
  }
  return n;
}

int TRawHid::PeekReportByte(int timeoutMs) {
  if (!device_) return -1;
  return reader_->PeekFirstByte(timeoutMs < 0 ? readTimeout_ : timeoutMs);
}

int TRawHid::WriteReport(const unsigned char* data, int len, int timeoutMs) {
  if (len < 0 || len + 1 > kMaxReport || !device_) return -1;
  if (timeoutMs < 0) timeoutMs = writeTimeout_;
  unsigned char report[kMaxReport + 1];
  report[0] = 0;  // report identifier
  std::memcpy(report + 1, data, len);
  int n;
  {
    std::lock_guard<std::mutex> guard(backend_->WriteLock());
    n = device_->Write(report, len + 1, timeoutMs);
  }
  if (n == 0) return 0;
  if (n < 0) return -1;
  return n - 1;
}

std::string TRawHid::ReadString(HidString which, int index) {
  if (!device_) return std::string();
  std::wstring text;
  if (!device_->GetString(which, index, text)) return std::string();
  return WideToCp1252(text);
}

std::string TRawHid::Manufacturer() {
  return ReadString(HidString::Manufacturer, 0);
}
std::string TRawHid::Product() {
  return ReadString(HidString::Product, 0);
}
std::string TRawHid::SerialNumber() {
  return ReadString(HidString::SerialNumber, 0);
}
std::string TRawHid::IndexedString(int index) {
  return ReadString(HidString::Indexed, index);
}

}  // namespace vxk
