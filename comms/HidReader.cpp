#include "comms/HidReader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace vxk {

HidReader::HidReader(HidDevice& device, size_t reportBytes)
    : device_(device), reportBytes_(reportBytes), thread_([this] { Run(); }) {}

HidReader::~HidReader() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  thread_.join();
}

int HidReader::Take(unsigned char* buf, size_t len, int timeoutMs) {
  std::unique_lock<std::mutex> guard(mutex_);
  if (queue_.empty() && !failed_ && timeoutMs > 0) {
    arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                      [&] { return !queue_.empty() || failed_; });
  }
  if (queue_.empty()) return failed_ ? -2 : -1;
  const std::string report = std::move(queue_.front());
  queue_.pop_front();
  guard.unlock();
  room_.notify_one();
  const size_t n = std::min(len, report.size());
  if (n > 0) std::memcpy(buf, report.data(), n);
  return static_cast<int>(n);
}

int HidReader::PeekFirstByte(int timeoutMs) {
  std::unique_lock<std::mutex> guard(mutex_);
  if (queue_.empty() && !failed_ && timeoutMs > 0) {
    arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                      [&] { return !queue_.empty() || failed_; });
  }
  if (queue_.empty() || queue_.front().empty()) return -1;
  return static_cast<unsigned char>(queue_.front()[0]);
}

void HidReader::Run() {
  std::vector<unsigned char> buf(reportBytes_);
  for (;;) {
    {
      // A full queue leaves further reports with the driver until the host takes some.
      std::unique_lock<std::mutex> guard(mutex_);
      room_.wait(guard, [&] { return stop_ || queue_.size() < kQueueReports; });
      if (stop_) return;
    }
    const int n = device_.Read(buf.data(), buf.size(), kSliceMs);
    if (n == -1) continue;  // nothing within this slice
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (n < 0) {
        failed_ = true;
      } else {
        queue_.emplace_back(reinterpret_cast<const char*>(buf.data()),
                            std::min(static_cast<size_t>(n), buf.size()));
      }
    }
    arrived_.notify_all();
    if (n < 0) return;  // a failed device is not read again
  }
}

}  // namespace vxk
