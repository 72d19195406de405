#include "comms/Packet.h"

#include <algorithm>

namespace vxk {

std::string MakePacket(int channel, uint8_t flags, std::string_view data) {
  std::string packet(kPacketSize, '\0');
  const size_t n = std::min(data.size(), kPacketData);
  packet[0] = static_cast<char>(channel);
  packet[1] = static_cast<char>(flags);
  packet[2] = static_cast<char>(n);
  std::copy_n(data.data(), n, packet.begin() + 3);
  return packet;
}

}  // namespace vxk
