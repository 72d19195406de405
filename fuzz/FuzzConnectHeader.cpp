// The connection header as a device sends it, through a real socket link. The first input
// byte picks the mode: bit 0 sets a secret key, bit 1 replaces the value of every "sha:" line
// with the right digest, so that accepted headers (and what follows them) are reached too.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "comms/vxCommsSocket.h"
#include "security/ConnectHeader.h"
#include "security/hmac.h"
#include "sim/ScratchLock.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Lines as the reader sees them (LF dropped, CR ends a line), with right digests put in.
std::string WithDigests(const std::string& text, const std::string& secret) {
  std::string out;
  std::string signedText;
  bool hmac = false;
  bool started = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\r', pos);
    const bool whole = end != std::string::npos;
    if (!whole) end = text.size();
    std::string line;
    for (size_t i = pos; i < end; ++i)
      if (text[i] != '\n') line += text[i];
    pos = end + 1;
    if (!started) {
      started = true;
    } else if (Lower(line.substr(0, 4)) == "sha:") {
      line = "sha: " + vxk::HmacSha256Hex(hmac ? secret : std::string(), signedText);
    } else if (Lower(line.substr(0, 5)) == "auth:" &&
               line.find("hmac.sha256") != std::string::npos) {
      hmac = true;
    }
    signedText += line + "\r\n";
    out += line + (whole ? "\r\n" : "");
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 32 * 1024) return 0;
  const std::string secret = (data[0] & 1) ? "fuzz-key" : "";
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 2) text = WithDigests(text, secret);

  static vxk::ScratchLock lock;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  const int big = 256 * 1024;
  setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
  if (write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    close(fds[0]);
    close(fds[1]);
    return 0;
  }
  shutdown(fds[1], SHUT_WR);
  {
    vxk::TvxCommsSocket link(lock.Lock());
    link.SetRoundTripTime(20);
    link.SetExtraTime(0);
    link.AttachSocket(fds[0]);
    if (link.Open())
      vxk::ProcessConnectHeader(
          link, secret, [](const std::string&) {}, 200);
    link.Close();
  }
  close(fds[1]);
  return 0;
}
