#include "sim/HeaderText.h"

#include "security/hmac.h"

namespace vxk {
namespace {

// The lines before the digest, each ended by CR LF: exactly the text the digest covers.
std::string SignedLines(const DeviceIdentity& id, const HeaderOptions& options) {
  std::string text = "CONNECT " + id.serial + "\r\n";
  text += "serial: " + id.serial + "\r\n";
  text += "site: " + options.site + "\r\n";
  text += "user: " + options.user + "\r\n";
  text += "device: " + id.product + ";co=" + id.manufacturer + "\r\n";
  text += "version: " + id.firmwareVersion + ";bu=" + id.firmwareBuild + ";da=" + id.firmwareDate +
          ";ca=" + id.capabilities + "\r\n";
  for (const std::string& line : options.extraLines) text += line + "\r\n";
  if (!options.key.empty()) text += "auth: hmac.sha256\r\n";
  return text;
}

}  // namespace

std::string HeaderDigest(const DeviceIdentity& identity, const HeaderOptions& options) {
  std::string digest = HmacSha256Hex(options.key, SignedLines(identity, options));
  if (options.wrongDigest) digest[0] = digest[0] == '0' ? '1' : '0';
  return digest;
}

std::string BuildConnectHeader(const DeviceIdentity& identity, const HeaderOptions& options) {
  return SignedLines(identity, options) + "sha: " + HeaderDigest(identity, options) + "\r\n\r\n";
}

std::string ExpectedProof(const DeviceIdentity& identity, const HeaderOptions& options) {
  return HmacSha256Hex(options.key, HeaderDigest(identity, options));
}

}  // namespace vxk
