#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comms/HidBackend.h"
#include "sim/VirtualDevice.h"

namespace vxk {

// A HID backend whose interfaces are virtual devices, for tests and benchmarks.
// Each interface has a host-side queue of input reports that holds at most 30, as hidapi's
// libusb flavour keeps between reads. The device's output to the host's commands flows into
// it lazily, up to that limit, after every report the host writes and whenever the host waits
// for input; a read without waiting only takes what is already queued. Injected reports stand
// for unsolicited output: they are queued at once, and past the limit the oldest is dropped.
// A write lasts until a waiting reader has taken the reports queued so far, at most one USB
// frame: on a bus the device's answer reaches the host while the host's next report goes out.
// With a report rate set, each way carries at most that many reports a second, as a
// full-speed interrupt endpoint carries one per frame: a write waits for its slot, and a
// queued report can be read only once its slot has come.
class FakeHidBackend : public HidBackend {
 public:
  static constexpr size_t kQueueReports = 30;
  static constexpr int kFrameMs = 1;
  // One report per 1 ms frame each way.
  static constexpr int kFullSpeedReportRate = 1000;

  // The first interface: device on vendor 0x16D0, product 0x064E, usage page 0xFFB2.
  explicit FakeHidBackend(VirtualDevice* device = nullptr);
  ~FakeHidBackend() override;

  bool Init() override { return !initFails_; }
  std::vector<HidDeviceInfo> Enumerate(int vendorId, int productId) override;
  std::unique_ptr<HidDevice> Open(const std::string& path) override;

  // Adds an interface; device null means one that cannot be opened. Returns its path.
  std::string AddInterface(const HidDeviceInfo& info, VirtualDevice* device);
  void SetInitFails(bool fails) { initFails_ = fails; }
  // Unplugging invalidates open handles and loses output in flight. A device that restarts
  // (VirtualDevice::RequestRestart) unplugs and plugs itself.
  void Unplug(size_t index = 0);
  void Plug(size_t index = 0);
  // Makes writes of that interface time out (0) instead of reaching the device.
  void SetWritesTimeOut(bool timeOut, size_t index = 0);
  // Keeps a copy of every report written (64 packet bytes each).
  void CaptureWrites(bool on) { capture_ = on; }
  std::vector<std::string> WrittenPackets();
  // Queues a raw 64-byte input report as if the device had sent it; when the queue is full the
  // oldest report is lost.
  void InjectReport(const std::string& report, size_t index = 0);
  // Reports waiting in the host-side queue.
  size_t QueuedReports(size_t index = 0);
  // At most this many reports a second each way, on every interface; 0 (the default): no
  // limit. Reports already queued keep their slots.
  void SetReportRate(int reportsPerSecond);

  // An input report and the time (microseconds of the steady clock) from which the host may
  // read it.
  struct Report {
    std::string data;
    int64_t readyUs = 0;
  };

  // One interface with its host-side report queue.
  struct Port {
    HidDeviceInfo info;
    VirtualDevice* device = nullptr;
    bool plugged = true;
    bool writesTimeOut = false;
    int generation = 0;
    int nextChannel = 0;
    std::deque<Report> queue;
    uint64_t taken = 0;      // reports the host has read
    int writersWaiting = 0;  // writes waiting for reports to be taken
    int64_t inFreeUs = 0;    // the next free slot of each direction, with a report rate
    int64_t outFreeUs = 0;
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
  // Queues a report in the next free slot towards the host.
  void Queue(Port& port, std::string report);
  // Slots are the bus's frames, which run whether or not anyone is on time: a report that
  // comes late within a frame still has that frame's slot, if no other report took it.
  int64_t FrameStartUs() const;
  // A device that dropped its connection leaves the bus; one that restarts comes back when
  // its time has come, with a new handle generation and whatever identity it has then.
  void Reenumerate(Port& port);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<Port>> ports_;
  bool initFails_ = false;
  bool capture_ = false;
  int64_t periodUs_ = 0;  // time between two reports of one direction; 0: no limit
  std::vector<std::string> written_;
};

}  // namespace vxk
