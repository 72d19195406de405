#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/LinkTiming.h"
#include "sim/VirtualDevice.h"

namespace vxk {

// Serves a virtual device's channel 0 on a connected stream descriptor (a socket, or the
// master side of a pseudo-terminal): bytes read go to the device, its output is written back,
// delayed and paced as the link timing asks.
class StreamServer {
 public:
  // fd is owned and closed by the server.
  StreamServer(VirtualDevice& device, int fd, LinkTiming timing = {});
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
  // Safe at any time; bytes already under way keep the times they were given.
  void SetTiming(const LinkTiming& timing);

  // Bytes of device output written so far.
  size_t BytesSent() const { return sent_; }

 private:
  // Bytes on their way, due at a tick count.
  struct Piece {
    int64_t due;
    std::string data;
    size_t head = 0;
  };

  void Serve(bool keepOnHangup);
  void Deliver(int64_t now);
  // Takes host bytes read from the connection: straight to the device, or queued behind the
  // latency and the line rate.
  void Arrive(std::string_view bytes);
  // The most host bytes to read now; 0 while the paced line is still busy.
  size_t InboundRoom(int64_t now) const;
  void Take(int64_t now);
  bool Flush(int64_t now, int64_t& wakeAt, bool& blocked);
  void ApplyTiming();
  void Wake(char why);

  VirtualDevice& device_;
  int fd_;
  int wake_[2] = {-1, -1};
  std::mutex mutex_;
  LinkTiming timing_;
  std::deque<Piece> inbound_;
  size_t inboundBytes_ = 0;
  std::deque<Piece> outbound_;
  size_t outboundBytes_ = 0;
  int64_t nextWrite_ = 0;  // no write before this tick count (chunk gaps, line rate)
  double paceAt_ = 0;      // where the line rate has got to, in ms
  double inPaceAt_ = 0;    // the same for the host's bytes
  size_t chunkLeft_ = 0;
  std::atomic<size_t> sent_{0};
};

}  // namespace vxk
