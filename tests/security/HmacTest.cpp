#include <gtest/gtest.h>

#include <string>

#include "security/hmac.h"

namespace vxk {
namespace {

std::string Bytes(size_t n, char c) {
  return std::string(n, c);
}

// RFC 4231 test cases 1 to 5 (keys of at most 64 bytes).
TEST(HmacTest, Rfc4231Cases) {
  EXPECT_EQ(HmacSha256Hex(Bytes(20, '\x0b'), "Hi There"),
            "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
  EXPECT_EQ(HmacSha256Hex("Jefe", "what do ya want for nothing?"),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(HmacSha256Hex(Bytes(20, '\xaa'), Bytes(50, '\xdd')),
            "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe");
  std::string key4;
  for (int i = 1; i <= 25; ++i) key4 += static_cast<char>(i);
  EXPECT_EQ(HmacSha256Hex(key4, Bytes(50, '\xcd')),
            "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b");
  EXPECT_EQ(HmacSha256Hex(Bytes(20, '\x0c'), "Test With Truncation").substr(0, 32),
            "a3b6167473100ee06e0c796c2955552b");
}

// Expected values from python3, key = bytes(range(1, n + 1)), message b"Long key, hex rule":
//   64 bytes: hmac.new(key, msg, hashlib.sha256).hexdigest()
//   65 bytes: hmac.new(hashlib.sha256(key).hexdigest().encode(), msg, hashlib.sha256).hexdigest()
TEST(HmacTest, KeysLongerThanABlockAreReplacedByTheirHexDigest) {
  std::string key;
  for (int i = 1; i <= 65; ++i) key += static_cast<char>(i);
  const std::string message = "Long key, hex rule";
  EXPECT_EQ(HmacSha256Hex(key.substr(0, 64), message),
            "caa44467a33c49721ac21e502e789734f7864db3fb4e43dc0b29e255beaccc9b");
  EXPECT_EQ(HmacSha256Hex(key, message),
            "fee6d96a7bde4300ae88570736a3cedd26eeea0cd18bcae280052ee6d0a44e04");
  // RFC 4231 case 6 key and message under the same rule (python3 as above).
  EXPECT_EQ(
      HmacSha256Hex(Bytes(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"),
      "bf9d36d96ac660802c7afd695192f8465259adc243fa8f6a45999063271a6ce2");
}

TEST(HmacTest, EmptyKeyAndMessage) {
  // python3: hmac.new(b"", b"", hashlib.sha256).hexdigest()
  EXPECT_EQ(HmacSha256Hex("", ""),
            "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
}

TEST(HmacTest, ConstantTimeEqualsAgreesWithEquality) {
  const std::string digest = "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7";
  EXPECT_TRUE(ConstantTimeEquals(digest, digest));
  EXPECT_TRUE(ConstantTimeEquals("", ""));
  std::string first = digest, last = digest;
  first[0] = 'c';
  last[63] = '8';
  EXPECT_FALSE(ConstantTimeEquals(digest, first));
  EXPECT_FALSE(ConstantTimeEquals(digest, last));
  EXPECT_FALSE(ConstantTimeEquals(digest, digest + " "));
  EXPECT_FALSE(ConstantTimeEquals(digest.substr(0, 63), digest));
  EXPECT_FALSE(ConstantTimeEquals("", "a"));
  // Bytes that differ only in the high bit.
  EXPECT_FALSE(ConstantTimeEquals(std::string(1, '\x01'), std::string(1, '\x81')));
}

}  // namespace
}  // namespace vxk
