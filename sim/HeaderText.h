#pragma once

#include <string>
#include <vector>

#include "sim/DeviceIdentity.h"

namespace vxk {

// How the virtual device introduces itself on a TCP connection.
struct HeaderOptions {
  std::string key;  // with a key the header asks for HMAC authentication
  std::string site = "Simulated site";
  std::string user = "vxksim";
  std::vector<std::string> extraLines;  // further "key: value" lines before the digest
  bool wrongDigest = false;             // sends a digest that no secret matches
};

// The connection header, CR LF line ends, ending with the empty line.
std::string BuildConnectHeader(const DeviceIdentity& identity, const HeaderOptions& options);
// The digest line's value the header carries (for checking the tool's proof).
std::string HeaderDigest(const DeviceIdentity& identity, const HeaderOptions& options);
// The proof the tool must send back in HMAC mode.
std::string ExpectedProof(const DeviceIdentity& identity, const HeaderOptions& options);

}  // namespace vxk
