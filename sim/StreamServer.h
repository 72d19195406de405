#pragma once

#include <mutex>
#include <string>

#include "sim/VirtualDevice.h"

namespace vxk {

// Serves a virtual device's channel 0 on a connected stream descriptor (a socket, or the
// master side of a pseudo-terminal): bytes read go to the device, its output is written back.
class StreamServer {
 public:
  // fd is owned and closed by the server.
  StreamServer(VirtualDevice& device, int fd);
  ~StreamServer();
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  // Until the peer closes, the device drops the connection, or Stop. With keepOnHangup (a
  // pseudo-terminal whose other side may be opened again) a hang-up only pauses the service.
  void Run(bool keepOnHangup = false);
  // Safe from another thread and from a signal handler.
  void Stop();

  // Runs fn(device) between the server's own turns, e.g. to change the device from a test.
  template <class Fn>
  void WithDevice(Fn fn) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      fn(device_);
    }
    Wake('w');
  }

  // Bytes of device output written so far.
  size_t BytesSent() const { return sent_; }

 private:
  void Serve(bool keepOnHangup);
  bool Flush();
  void Wake(char why);

  VirtualDevice& device_;
  int fd_;
  int wake_[2] = {-1, -1};
  std::mutex mutex_;
  std::string pending_;
  size_t sent_ = 0;
};

}  // namespace vxk
