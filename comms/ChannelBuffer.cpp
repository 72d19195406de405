#include "comms/ChannelBuffer.h"

#include "comms/Packet.h"

namespace vxk {

bool ChannelBuffer::Full() const {
  return Size() >= kChannelCap;
}

bool ChannelBuffer::Append(const char* packet, size_t size) {
  if (Full()) return false;
  if (head_ > 0 && head_ >= data_.size() / 2) {
    data_.erase(0, head_);
    head_ = 0;
  }
  data_.append(packet, size);
  return true;
}

void ChannelBuffer::Clear() {
  data_.clear();
  head_ = 0;
}

void ChannelBuffer::Consume(size_t n) {
  head_ += n;
  if (head_ >= data_.size()) Clear();
}

}  // namespace vxk
