#include <gtest/gtest.h>

#include <string>

#include "security/sha256.h"

namespace vxk {
namespace {

// FIPS 180-4 example messages.
TEST(Sha256Test, StandardVectors) {
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Sha256Test, RawIsTheHexDigestAsBytes) {
  const std::string raw = Sha256Raw("abc");
  ASSERT_EQ(raw.size(), 32u);
  EXPECT_EQ(static_cast<unsigned char>(raw[0]), 0xba);
  EXPECT_EQ(static_cast<unsigned char>(raw[31]), 0xad);
  EXPECT_EQ(ToLowerHex(raw), Sha256Hex("abc"));
}

// Bytes (i * 7 + 3) mod 256; the expected digests come from python3:
//   hashlib.sha256(bytes((i*7+3)&0xff for i in range(n))).hexdigest()
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xff);
  return s;
}

// Lengths around the points where the padding needs a second block.
TEST(Sha256Test, PaddingBoundariesMatchReference) {
  const struct {
    size_t length;
    const char* digest;
  } cases[] = {
      {55, "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
      {56, "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
      {57, "35df609437dcfea3279283ab79fd554e2bf78f8f7ae2de532d8ee300b09e8f73"},
      {63, "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055"},
      {64, "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
      {65, "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e"},
      {119, "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e"},
      {120, "7836b787757e95e58b3ca5aec90b1b004e8deba1e50e9675af9cabf1a13a04b5"},
      {128, "d2742f1f4ac6bb7ca2b239ee18402ba8b3f9f8e652d2a72973c2b9ba11c08cf6"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha256Hex(Pattern(c.length)), c.digest) << c.length;
}

// Feeding a message in pieces of any size gives the one-shot digest, and Final starts over.
TEST(Sha256Test, PiecewiseUpdateMatchesOneShot) {
  const std::string message = Pattern(300);
  const std::string expected = Sha256Raw(message);
  for (size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 129u}) {
    Sha256 sha;
    for (size_t pos = 0; pos < message.size(); pos += piece) sha.Update(message.substr(pos, piece));
    EXPECT_EQ(sha.Final(), expected) << piece;
    sha.Update("abc");
    EXPECT_EQ(ToLowerHex(sha.Final()), Sha256Hex("abc")) << piece;
  }
}

}  // namespace
}  // namespace vxk
