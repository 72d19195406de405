#pragma once

#include <cstddef>
#include <string>

namespace vxk {

// The received packets of one channel, whole 64-byte packets back to back, oldest first.
// Packets are taken from the head without moving the rest, so draining a full buffer
// packet by packet is linear work.
class ChannelBuffer {
 public:
  size_t Size() const { return data_.size() - head_; }
  bool Empty() const { return Size() == 0; }
  bool Full() const;

  // Appends a packet when the buffer is shorter than the cap; returns false when dropped.
  bool Append(const char* packet, size_t size);
  void Clear();

  // The head of the buffer; valid while Size() > 0.
  char* Head() { return &data_[head_]; }
  // Removes n bytes from the head.
  void Consume(size_t n);

 private:
  std::string data_;
  size_t head_ = 0;
};

}  // namespace vxk
