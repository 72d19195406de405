#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comms/HidBackend.h"
#include "sim/VirtualDevice.h"

namespace vxk {

// A HID backend whose interfaces are virtual devices, for tests and benchmarks.
// Each interface has a host-side queue of input reports (1024, as a HID driver keeps). The
// device fills it with its output after every report the host writes and whenever the host
// waits for input; a read without waiting only takes what is already queued.
class FakeHidBackend : public HidBackend {
 public:
  static constexpr size_t kQueueReports = 1024;

  // The first interface: device on vendor 0x16D0, product 0x064E, usage page 0xFFB2.
  explicit FakeHidBackend(VirtualDevice* device = nullptr);
  ~FakeHidBackend() override;

  bool Init() override { return !initFails_; }
  std::vector<HidDeviceInfo> Enumerate(int vendorId, int productId) override;
  std::unique_ptr<HidDevice> Open(const std::string& path) override;

  // Adds an interface; device null means one that cannot be opened. Returns its path.
  std::string AddInterface(const HidDeviceInfo& info, VirtualDevice* device);
  void SetInitFails(bool fails) { initFails_ = fails; }
  // Unplugging invalidates open handles and loses output in flight.
  void Unplug(size_t index = 0);
  void Plug(size_t index = 0);
  // Makes writes of that interface time out (0) instead of reaching the device.
  void SetWritesTimeOut(bool timeOut, size_t index = 0);
  // Keeps a copy of every report written (64 packet bytes each).
  void CaptureWrites(bool on) { capture_ = on; }
  std::vector<std::string> WrittenPackets();
  // Queues a raw 64-byte input report as if the device had sent it.
  void InjectReport(const std::string& report, size_t index = 0);

  // One interface with its host-side report queue.
  struct Port {
    HidDeviceInfo info;
    VirtualDevice* device = nullptr;
    bool plugged = true;
    bool writesTimeOut = false;
    int generation = 0;
    int nextChannel = 0;
    std::deque<std::string> queue;
  };

  // Runs fn(device) under the backend's lock, then lets the device's output flow.
  template <class Fn>
  void WithDevice(Fn fn, size_t index = 0) {
    std::lock_guard<std::mutex> guard(mutex_);
    fn(*ports_.at(index)->device);
    TopUp(*ports_.at(index));
    changed_.notify_all();
  }

 private:
  friend class FakeHidDevice;
  void TopUp(Port& port);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<Port>> ports_;
  bool initFails_ = false;
  bool capture_ = false;
  std::vector<std::string> written_;
};

}  // namespace vxk
