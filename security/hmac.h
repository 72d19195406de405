#pragma once

#include <string>

namespace vxk {

// HMAC-SHA256 of message under key (block size 64) as 64 lowercase hexadecimal characters.
// Keys longer than 64 bytes are first replaced by the 64-character lowercase hex text of their
// SHA-256 digest. This matches RFC 2104 for keys of up to 64 bytes only; RFC 2104 would use
// the 32 raw digest bytes instead.
std::string HmacSha256Hex(const std::string& key, const std::string& message);

// Same result as a == b, but for texts of equal length the time taken does not depend on
// where they differ. Texts of different length return false at once.
bool ConstantTimeEquals(const std::string& a, const std::string& b);

}  // namespace vxk
