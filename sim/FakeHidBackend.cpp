#include "sim/FakeHidBackend.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "comms/Packet.h"
#include "comms/vxComms.h"

namespace vxk {
namespace {

using Clock = std::chrono::steady_clock;

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
      .count();
}

Clock::time_point AtUs(int64_t us) {
  return Clock::time_point(std::chrono::microseconds(us));
}

}  // namespace

// An open handle on one fake interface.
class FakeHidDevice : public HidDevice {
 public:
  FakeHidDevice(FakeHidBackend& backend, std::shared_ptr<FakeHidBackend::Port> port)
      : backend_(backend), port_(std::move(port)), generation_(port_->generation) {}

  int Read(unsigned char* buf, size_t len, int timeoutMs) override {
    std::unique_lock<std::mutex> guard(backend_.mutex_);
    if (!Valid()) return -2;
    auto& q = port_->queue;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    if (q.empty() && timeoutMs > 0) {
      backend_.TopUp(*port_);
      if (q.empty()) {
        backend_.changed_.wait_until(guard, deadline, [&] { return !q.empty() || !Valid(); });
      }
    }
    // A report reaches the host in its slot on the bus.
    while (Valid() && !q.empty() && q.front().readyUs > NowUs()) {
      if (Clock::now() >= deadline) return -1;
      backend_.changed_.wait_until(guard, std::min(deadline, AtUs(q.front().readyUs)));
    }
    if (!Valid()) return -2;
    if (q.empty() && Dropped()) return -2;
    if (q.empty()) return -1;
    const std::string report = std::move(q.front().data);
    q.pop_front();
    ++port_->taken;
    if (port_->writersWaiting > 0) backend_.changed_.notify_all();
    const size_t n = std::min(len, report.size());
    std::memcpy(buf, report.data(), n);
    return static_cast<int>(n);
  }

  int Write(const unsigned char* report, size_t len, int) override {
    std::unique_lock<std::mutex> guard(backend_.mutex_);
    if (!Valid() || Dropped()) return -1;
    if (port_->writesTimeOut) return 0;
    if (len < 1 + kPacketSize || report[0] != 0) return -1;
    if (backend_.periodUs_ > 0) {
      // The report goes out in the next free slot; the write lasts until then.
      const int64_t slot = std::max(backend_.FrameStartUs(), port_->outFreeUs);
      port_->outFreeUs = slot + backend_.periodUs_;
      while (Valid() && Clock::now() < AtUs(slot)) backend_.changed_.wait_until(guard, AtUs(slot));
      if (!Valid() || Dropped()) return -1;
    }
    const unsigned char* packet = report + 1;
    if (backend_.capture_) {
      backend_.written_.emplace_back(reinterpret_cast<const char*>(packet), kPacketSize);
    }
    const size_t n = std::min<size_t>(packet[2], kPacketData);
    port_->device->Receive(
        packet[0], std::string_view(reinterpret_cast<const char*>(packet) + 3, n), packet[1]);
    backend_.TopUp(*port_);
    backend_.changed_.notify_all();
    // The write lasts until a waiting reader has taken what is queued, or a frame has passed.
    const uint64_t target = port_->taken + port_->queue.size();
    if (!port_->queue.empty()) {
      ++port_->writersWaiting;
      backend_.changed_.wait_for(guard, std::chrono::milliseconds(FakeHidBackend::kFrameMs),
                                 [&] { return port_->taken >= target || !Valid(); });
      --port_->writersWaiting;
    }
    return static_cast<int>(len);
  }

  bool GetString(HidString which, int index, std::wstring& out) override {
    std::lock_guard<std::mutex> guard(backend_.mutex_);
    if (!Valid() || port_->device->DisconnectRequested()) return false;
    const DeviceIdentity& id = port_->device->Identity();
    std::string text;
    switch (which) {
      case HidString::Manufacturer:
        text = id.manufacturer;
        break;
      case HidString::Product:
        text = id.product;
        break;
      case HidString::SerialNumber:
        text = id.serial;
        break;
      case HidString::Indexed:
        switch (index) {
          case 201:
            text = id.firmwareVersion;
            break;
          case 202:
            text = id.firmwareBuild;
            break;
          case 203:
            text = id.firmwareDate;
            break;
          case 204:
            text = id.capabilities;
            break;
          case 210:
            text = id.info210;
            break;
          case 211:
            text = id.info211;
            break;
          default:
            return false;
        }
        break;
    }
    out.assign(text.begin(), text.end());
    for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
    return true;
  }

 private:
  bool Valid() const { return port_->plugged && port_->generation == generation_; }
  // A device that asked to drop the connection goes away once its last output is read.
  bool Dropped() {
    if (!port_->device->DisconnectRequested()) return false;
    port_->plugged = false;
    port_->queue.clear();
    return true;
  }

  FakeHidBackend& backend_;
  std::shared_ptr<FakeHidBackend::Port> port_;
  int generation_;
};

FakeHidBackend::FakeHidBackend(VirtualDevice* device) {
  if (device) {
    HidDeviceInfo info;
    info.vendorId = TvxComms::kVendorId;
    info.productId = TvxComms::kProductId;
    info.usagePage = TvxComms::kUsagePage;
    info.usage = 1;
    AddInterface(info, device);
  }
}

FakeHidBackend::~FakeHidBackend() = default;

std::string FakeHidBackend::AddInterface(const HidDeviceInfo& info, VirtualDevice* device) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto port = std::make_shared<Port>();
  port->info = info;
  if (port->info.path.empty()) port->info.path = "fake-hid:" + std::to_string(ports_.size());
  port->device = device;
  ports_.push_back(port);
  return port->info.path;
}

std::vector<HidDeviceInfo> FakeHidBackend::Enumerate(int vendorId, int productId) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::vector<HidDeviceInfo> result;
  for (const auto& port : ports_) {
    Reenumerate(*port);
    if (!port->plugged) continue;
    if (vendorId > 0 && port->info.vendorId != vendorId) continue;
    if (productId > 0 && port->info.productId != productId) continue;
    result.push_back(port->info);
    // What a real enumeration reads from the device's descriptors.
    if (port->device && result.back().serialNumber.empty()) {
      result.back().serialNumber = port->device->Identity().serial;
      result.back().product = port->device->Identity().product;
    }
  }
  return result;
}

std::unique_ptr<HidDevice> FakeHidBackend::Open(const std::string& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const auto& port : ports_) {
    Reenumerate(*port);
    if (port->info.path == path && port->plugged && port->device) {
      return std::make_unique<FakeHidDevice>(*this, port);
    }
  }
  return nullptr;
}

void FakeHidBackend::Unplug(size_t index) {
  std::lock_guard<std::mutex> guard(mutex_);
  Port& port = *ports_.at(index);
  port.plugged = false;
  port.queue.clear();
  if (port.device) port.device->DiscardOutput();
  changed_.notify_all();
}

void FakeHidBackend::Plug(size_t index) {
  std::lock_guard<std::mutex> guard(mutex_);
  Port& port = *ports_.at(index);
  port.plugged = true;
  ++port.generation;
  if (port.device) port.device->ClearDisconnect();
  changed_.notify_all();
}

void FakeHidBackend::SetWritesTimeOut(bool timeOut, size_t index) {
  std::lock_guard<std::mutex> guard(mutex_);
  ports_.at(index)->writesTimeOut = timeOut;
}

std::vector<std::string> FakeHidBackend::WrittenPackets() {
  std::lock_guard<std::mutex> guard(mutex_);
  return written_;
}

void FakeHidBackend::InjectReport(const std::string& report, size_t index) {
  std::lock_guard<std::mutex> guard(mutex_);
  Port& port = *ports_.at(index);
  if (port.queue.size() >= kQueueReports) port.queue.pop_front();
  Queue(port, report);
  changed_.notify_all();
}

void FakeHidBackend::SetReportRate(int reportsPerSecond) {
  std::lock_guard<std::mutex> guard(mutex_);
  periodUs_ = reportsPerSecond > 0 ? 1000000 / reportsPerSecond : 0;
}

int64_t FakeHidBackend::FrameStartUs() const {
  const int64_t now = NowUs();
  return now - now % periodUs_;
}

void FakeHidBackend::Queue(Port& port, std::string report) {
  int64_t ready = 0;
  if (periodUs_ > 0) {
    ready = std::max(FrameStartUs(), port.inFreeUs);
    port.inFreeUs = ready + periodUs_;
  }
  port.queue.push_back({std::move(report), ready});
}

size_t FakeHidBackend::QueuedReports(size_t index) {
  std::lock_guard<std::mutex> guard(mutex_);
  return ports_.at(index)->queue.size();
}

void FakeHidBackend::Reenumerate(Port& port) {
  VirtualDevice* device = port.device;
  if (!device || !device->DisconnectRequested()) return;
  port.plugged = false;
  port.queue.clear();
  const int64_t back = device->RestartAt();
  if (back < 0 || device->Now() < back) return;
  device->ClearDisconnect();
  device->DiscardOutput();
  port.plugged = true;
  ++port.generation;
  changed_.notify_all();
}

void FakeHidBackend::TopUp(Port& port) {
  if (!port.device || !port.plugged) return;
  VirtualDevice& device = *port.device;
  // Round robin over the channels that have output, one report at a time.
  int idle = 0;
  while (port.queue.size() < kQueueReports && idle < VirtualDevice::kChannels) {
    const int channel = port.nextChannel;
    port.nextChannel = (port.nextChannel + 1) % VirtualDevice::kChannels;
    if (device.PendingOutput(channel) == 0) {
      ++idle;
      continue;
    }
    idle = 0;
    Queue(port, MakePacket(channel, 0, device.TakeOutput(channel, kPacketData)));
  }
}

}  // namespace vxk
