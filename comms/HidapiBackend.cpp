#include "comms/HidapiBackend.h"

#include <hidapi/hidapi.h>

#include "comms/Cp1252.h"

namespace vxk {
namespace {

// Strings are read into a 512-byte buffer, as the device's descriptors are at most that long.
constexpr size_t kStringChars = 512 / sizeof(wchar_t) + 1;

// hidapi allows hid_read_timeout on one thread while another writes or reads strings.
class HidapiDevice : public HidDevice {
 public:
  explicit HidapiDevice(hid_device* handle) : handle_(handle) {}
  ~HidapiDevice() override { hid_close(handle_); }

  int Read(unsigned char* buf, size_t len, int timeoutMs) override {
    const int n = hid_read_timeout(handle_, buf, len, timeoutMs < 0 ? 0 : timeoutMs);
    if (n < 0) return -2;
    // hidapi cannot tell an empty report from none; both mean nothing arrived.
    return n == 0 ? -1 : n;
  }

  // hidapi's writes carry their own fixed time-out; the one asked for cannot be passed on.
  int Write(const unsigned char* report, size_t len, int /*timeoutMs*/) override {
    const int n = hid_write(handle_, report, len);
    return n < 0 ? -1 : n;
  }

  bool GetString(HidString which, int index, std::wstring& out) override {
    wchar_t buf[kStringChars] = {};
    int rc = -1;
    switch (which) {
      case HidString::Manufacturer:
        rc = hid_get_manufacturer_string(handle_, buf, kStringChars - 1);
        break;
      case HidString::Product:
        rc = hid_get_product_string(handle_, buf, kStringChars - 1);
        break;
      case HidString::SerialNumber:
        rc = hid_get_serial_number_string(handle_, buf, kStringChars - 1);
        break;
      case HidString::Indexed:
        rc = hid_get_indexed_string(handle_, index, buf, kStringChars - 1);
        break;
    }
    if (rc != 0) return false;
    out.assign(buf);
    return true;
  }

 private:
  hid_device* handle_;
};

}  // namespace

HidapiBackend::~HidapiBackend() {
  if (initialised_) hid_exit();
}

bool HidapiBackend::Init() {
  if (!initialised_) initialised_ = hid_init() == 0;
  return initialised_;
}

std::vector<HidDeviceInfo> HidapiBackend::Enumerate(int vendorId, int productId) {
  std::vector<HidDeviceInfo> result;
  if (!Init()) return result;
  hid_device_info* list = hid_enumerate(vendorId < 0 ? 0 : static_cast<unsigned short>(vendorId),
                                        productId < 0 ? 0 : static_cast<unsigned short>(productId));
  for (hid_device_info* d = list; d; d = d->next) {
    HidDeviceInfo info;
    info.path = d->path ? d->path : "";
    info.vendorId = d->vendor_id;
    info.productId = d->product_id;
    info.usagePage = d->usage_page;
    info.usage = d->usage;
    if (d->serial_number) info.serialNumber = WideToCp1252(d->serial_number);
    if (d->product_string) info.product = WideToCp1252(d->product_string);
    result.push_back(std::move(info));
  }
  hid_free_enumeration(list);
  return result;
}

std::unique_ptr<HidDevice> HidapiBackend::Open(const std::string& path) {
  if (!Init()) return nullptr;
  hid_device* handle = hid_open_path(path.c_str());
  if (!handle) return nullptr;
  return std::make_unique<HidapiDevice>(handle);
}

}  // namespace vxk
