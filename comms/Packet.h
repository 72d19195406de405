#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vxk {

// A link packet: channel, flags, data length, 61 data bytes.
constexpr size_t kPacketSize = 64;
constexpr size_t kPacketData = 61;
constexpr int kChannelCount = 32;
constexpr int kTerminalChannel = 0;
constexpr int kLogChannel = 31;
// A channel buffer is only appended to while it is shorter than this.
constexpr size_t kChannelCap = 131072;

// Builds one 64-byte packet; data beyond 61 bytes is ignored, filler is zero.
std::string MakePacket(int channel, uint8_t flags, std::string_view data);

}  // namespace vxk
