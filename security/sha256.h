#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vxk {

// SHA-256 over byte strings, fed in pieces. The length field of the final block carries the
// bit count in its low 32 bits only (the upper four bytes stay 0), as the device does it; for
// messages below 2^29 bytes this is the standard digest.
class Sha256 {
 public:
  static constexpr size_t kDigestSize = 32;
  static constexpr size_t kBlockSize = 64;

  Sha256() { Reset(); }

  void Reset();
  void Update(const void* data, size_t size);
  void Update(const std::string& data) { Update(data.data(), data.size()); }
  // The 32 digest bytes; the object starts over afterwards.
  std::string Final();

 private:
  void Transform(const unsigned char* block);

  std::array<uint32_t, 8> state_{};
  std::array<unsigned char, kBlockSize> buffer_{};
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // message bytes so far
};

// The 32 raw digest bytes of data.
std::string Sha256Raw(const std::string& data);
// The digest of data as 64 lowercase hexadecimal characters.
std::string Sha256Hex(const std::string& data);
// Bytes as lowercase hexadecimal text, most significant nibble first.
std::string ToLowerHex(const std::string& bytes);

}  // namespace vxk
