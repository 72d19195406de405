#include "security/hmac.h"

#include "security/sha256.h"

namespace vxk {

std::string HmacSha256Hex(const std::string& key, const std::string& message) {
  const std::string k = key.size() > Sha256::kBlockSize ? Sha256Hex(key) : key;
  std::string innerPad(Sha256::kBlockSize, '\x36');
  std::string outerPad(Sha256::kBlockSize, '\x5c');
  for (size_t i = 0; i < k.size(); ++i) {
    innerPad[i] = static_cast<char>(innerPad[i] ^ k[i]);
    outerPad[i] = static_cast<char>(outerPad[i] ^ k[i]);
  }

  Sha256 sha;
  sha.Update(innerPad);
  sha.Update(message);
  const std::string inner = sha.Final();
  sha.Update(outerPad);
  sha.Update(inner);
  return ToLowerHex(sha.Final());
}

bool ConstantTimeEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  // Every byte is visited; the volatile accumulator keeps the loop from ending early.
  volatile unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff = diff | static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace vxk
