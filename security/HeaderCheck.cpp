#include "security/HeaderCheck.h"

#include <algorithm>
#include <utility>

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

}  // namespace

HeaderCheck::HeaderCheck(TvxCommsSocket& link, std::string secret, StatusSink showStatus,
                         int deadlineMs)
    : link_(link),
      secret_(std::move(secret)),
      showStatus_(std::move(showStatus)),
      // A peer that sends its header a byte at a time must not hold the tool for long.
      deadline_(TickCount() + deadlineMs + std::max(0, link.RoundTripTime())),
      reader_(link, link.RoundTripTime(), deadline_) {
  link_.SetHeaderPending(true);
}

HeaderCheck::~HeaderCheck() {
  link_.SetHeaderPending(false);
}

HeaderCheck::State HeaderCheck::Step(int waitMs) {
  if (state_ != State::Reading) return state_;
  const int64_t stepEnd = waitMs < 0 ? -1 : TickCount() + waitMs;
  for (;;) {
    const int left =
        stepEnd < 0 ? -1 : static_cast<int>(std::max<int64_t>(0, stepEnd - TickCount()));
    if (!reader_.Continue(left)) return state_;
    const std::string line = reader_.Take();
    if (first_) {
      first_ = false;
      withinBounds_ = line.size() + 2 <= kMaxSignedText;
      // Without "CONNECT " first, no further line is read.
      if (!withinBounds_ || line.compare(0, 8, "CONNECT ") != 0) return Finish();
      signed_ = line + kCrLf;
      lines_ = 1;
      continue;
    }
    if (line.empty()) return Finish();
    if (++lines_ > kMaxHeaderLines || signed_.size() + line.size() + 2 > kMaxSignedText) {
      withinBounds_ = false;
      return Finish();
    }
    HandleLine(line);
    signed_ += line + kCrLf;
  }
}

HeaderCheck::State HeaderCheck::Finish() {
  link_.SetHeaderPending(false);
  if (TickCount() >= deadline_) withinBounds_ = false;
  // With a key, only a digest made with that key opens a session.
  const bool keyRefused = accepted_ && !secret_.empty() && keyedDigest_.empty();
  if (keyRefused) Status("AUTH: the device did not prove the secret key (hmac.sha256)");
  if (!accepted_ || !withinBounds_ || keyRefused) {
    Status("!Invalid TOA header!");
    link_.Write(std::string("BYE!") + kCrLf, 0, 0, kWriteTimeoutMs);
    link_.Close();
    state_ = State::Refused;
    return state_;
  }
  // The proof signs only the digest that matched under the key: signing any other text
  // the peer chose would hand out the key's signatures.
  if (hmacMode_ && !keyedDigest_.empty() && link_.IsOpen())
    link_.Write(HmacSha256Hex(secret_, keyedDigest_) + kCrLf, 0, 0, kWriteTimeoutMs);
  state_ = State::Accepted;
  return state_;
}

void HeaderCheck::Status(const std::string& text) {
  if (showStatus_) showStatus_(text);
}

void HeaderCheck::HandleLine(const std::string& line) {
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
void HeaderCheck::CheckDigest(const std::string& given) {
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

}  // namespace vxk
