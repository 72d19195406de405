#include "security/ConnectHeader.h"

#include <algorithm>

#include "comms/Ticks.h"
#include "security/hmac.h"

namespace vxk {

namespace {

constexpr int kWriteTimeoutMs = 10;
const char kCrLf[] = "\r\n";

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool IsBlankOrControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 0x20 || u == 0x7f;
}

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Walks a ";"-separated item list left to right. onItem gets (true, name, value) for a
// "name=value" item, both trimmed, and (false, "", item) untrimmed for an item without "=".
// Empty items (";;" or a trailing ";") carry nothing and are skipped.
template <typename OnItem>
void ForEachItem(const std::string& list, OnItem onItem) {
  size_t pos = 0;
  for (;;) {
    const size_t end = list.find(';', pos);
    const std::string item = list.substr(pos, end == std::string::npos ? end : end - pos);
    if (!item.empty()) {
      const size_t eq = item.find('=');
      if (eq == std::string::npos)
        onItem(false, std::string(), item);
      else
        onItem(true, TrimBlanks(item.substr(0, eq)), TrimBlanks(item.substr(eq + 1)));
    }
    if (end == std::string::npos) break;
    pos = end + 1;
  }
}

// The state of one header being read.
class HeaderReader {
 public:
  HeaderReader(TvxCommsSocket& link, const std::string& secret,
               const std::function<void(const std::string&)>& showStatus, int deadlineMs)
      : link_(link), secret_(secret), showStatus_(showStatus), deadlineMs_(deadlineMs) {}

  bool Run() {
    // A peer that sends its header a byte at a time must not hold the tool for long.
    const int64_t deadline = TickCount() + deadlineMs_ + std::max(0, link_.RoundTripTime());
    const std::string first = link_.ReadHeaderLine(link_.RoundTripTime(), deadline);
    bool withinBounds = first.size() + 2 <= kMaxSignedText;
    if (withinBounds && first.compare(0, 8, "CONNECT ") == 0) {
      signed_ = first + kCrLf;
      int lines = 1;
      for (;;) {
        const std::string line = link_.ReadHeaderLine(link_.RoundTripTime(), deadline);
        if (line.empty()) break;
        if (++lines > kMaxHeaderLines || signed_.size() + line.size() + 2 > kMaxSignedText) {
          withinBounds = false;
          break;
        }
        HandleLine(line);
        signed_ += line + kCrLf;
      }
    }
    if (TickCount() >= deadline) withinBounds = false;

    // With a key, only a digest made with that key opens a session.
    const bool keyRefused = accepted_ && !secret_.empty() && keyedDigest_.empty();
    if (keyRefused) Status("AUTH: the device did not prove the secret key (hmac.sha256)");
    const bool accepted = accepted_ && withinBounds && !keyRefused;
    if (!accepted) {
      Status("!Invalid TOA header!");
      link_.Write(std::string("BYE!") + kCrLf, 0, 0, kWriteTimeoutMs);
      link_.Close();
      return false;
    }
    // The proof signs only the digest that matched under the key: signing any other text
    // the peer chose would hand out the key's signatures.
    if (hmacMode_ && !keyedDigest_.empty() && link_.IsOpen())
      link_.Write(HmacSha256Hex(secret_, keyedDigest_) + kCrLf, 0, 0, kWriteTimeoutMs);
    return true;
  }

 private:
  void Status(const std::string& text) {
    if (showStatus_) showStatus_(text);
  }

  void HandleLine(const std::string& line) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    const std::string key = AsciiLower(line.substr(0, colon));
    const size_t start = line.find_first_not_of(" \t", colon + 1);
    const std::string value = start == std::string::npos ? std::string() : line.substr(start);

    if (key == "serial") {
      link_.SetSerialNumber(value);
    } else if (key == "site") {
      Status("Site: " + value);
    } else if (key == "user") {
      Status("User: " + value);
    } else if (key == "idle") {
      Status("Idle: " + value);
    } else if (key == "device") {
      ForEachItem(value, [this](bool named, const std::string& name, const std::string& v) {
        if (!named)
          link_.SetProductName(v);
        else if (name == "co")
          link_.SetManufacturer(v);
      });
    } else if (key == "version") {
      ForEachItem(value, [this](bool named, const std::string& name, const std::string& v) {
        if (!named)
          link_.SetFirmwareVersion(v);
        else if (name == "bu")
          link_.SetFirmwareBuild(v);
        else if (name == "da")
          link_.SetFirmwareDate(v);
        else if (name == "na")
          link_.SetProductName(v);
        else if (name == "ca")
          link_.SetCapabilities(v);
      });
    } else if (key == "auth") {
      if (value.find("hmac.sha256") != std::string::npos)
        hmacMode_ = true;
      else
        Status("AUTH: unknown authentication (" + value + ")");
    } else if (key == "sha") {
      CheckDigest(value);
    }
  }

  // The digest covers the signed text as it stands before this line.
  void CheckDigest(const std::string& given) {
    const std::string expected = HmacSha256Hex(hmacMode_ ? secret_ : std::string(), signed_);
    const bool match = ConstantTimeEquals(given, expected);
    if (match) {
      accepted_ = true;
      // Made with the key: in HMAC mode, or with the empty key when no key is set.
      if (hmacMode_ || secret_.empty()) keyedDigest_ = given;
    }
    if (hmacMode_)
      Status(match ? "SHA: correct for secret key." : "SHA: !Invalid for secret key!");
    else
      Status(match ? "SHA: correct." : "SHA: !Invalid!");
  }

  TvxCommsSocket& link_;
  const std::string& secret_;
  const std::function<void(const std::string&)>& showStatus_;
  std::string signed_;
  int deadlineMs_;
  std::string keyedDigest_;  // the last digest that matched under the key
  bool hmacMode_ = false;
  bool accepted_ = false;
};

}  // namespace

bool ProcessConnectHeader(TvxCommsSocket& link, const std::string& secret,
                          const std::function<void(const std::string&)>& showStatus,
                          int deadlineMs) {
  return HeaderReader(link, secret, showStatus, deadlineMs).Run();
}

}  // namespace vxk
