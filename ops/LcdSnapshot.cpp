#include "ops/LcdSnapshot.h"

#include <cstdio>

#include "FileAccess/DosTime.h"
#include "comms/LinkLock.h"
#include "comms/Ticks.h"

namespace vxk {
namespace {

const char* const kLineEnd = "\r\n";
const char* const kMarker = "U8G2";

// A decimal integer with an optional sign and nothing else. Magnitudes above limit come back
// as limit + 1, so a long run of digits cannot overflow.
bool ParseDecimal(const std::string& text, long long limit, long long& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long n = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + (text[i] - '0');
    if (n > limit) n = limit + 1;
  }
  value = negative ? -n : n;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

OpResult ParseLcdHeader(const std::string& header, int& width, int& height) {
  if (header.find('\t') == std::string::npos)
    return OpResult::Fail(Reason::BadReply, "LCD header without fields");
  std::string rest = header;
  if (SplitTab(rest) != kMarker)
    return OpResult::Fail(Reason::Unsupported, "the LCD is not drawn by U8G2");
  long long w = 0;
  long long h = 0;
  constexpr long long kLimit = kMaxLcdSide;
  if (!ParseDecimal(SplitTab(rest), kLimit, w) || !ParseDecimal(SplitTab(rest), kLimit, h))
    return OpResult::Fail(Reason::BadReply, "LCD size is no number");
  if (w < 0 || w > kMaxLcdSide || h < 0 || h > kMaxLcdSide)
    return OpResult::Fail(Reason::BadReply, "LCD size out of range");
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return OpResult::Done();
}

void FlushInput(TvxTerminal& terminal) {
  const int64_t end = TickCount() + terminal.Waits().flushTotalMs;
  while (TickCount() < end) {
    terminal.ReadChars(1, terminal.Waits().flushByteMs);
    if (terminal.TimedOut()) break;
  }
}

LcdFetchResult FetchLcdSnapshot(TvxTerminal& terminal, const OpContext& context) {
  LcdFetchResult fetched;
  OpResult& result = fetched.result;
  if (!terminal.IsOpen()) {
    result = OpResult::Fail(Reason::NotOpen);
    return fetched;
  }
  const Timeouts& waits = terminal.Waits();
  // The terminal is held for the whole exchange, so no other command interleaves with it.
  LinkLock lock(terminal.Link(), waits.lcdLockMs);
  if (!lock) {
    result = OpResult::Fail(Reason::LockTimeout);
    return fetched;
  }
  // Reports a step; false when the user stopped the fetch.
  auto step = [&](int n) {
    context.Progress(n, kFetchSteps);
    if (!context.Cancelled()) return true;
    result = OpResult::Fail(Reason::Cancelled);
    return false;
  };

  terminal.IsReadyForCommands();  // a fresh prompt; a password prompt shows as a bad header
  FlushInput(terminal);
  if (!step(1)) return fetched;
  terminal.SendLine("LCD");
  const std::string header =
      terminal.ReadUntil(kLineEnd, kLineEnd, waits.lcdHeaderMs, TvxTerminal::kMaxLine);
  if (terminal.TimedOut()) {
    result = terminal.IsOpen() ? OpResult::Fail(Reason::TimedOut, "no LCD header")
                               : OpResult::Fail(Reason::LinkLost);
    return fetched;
  }
  int width = 0;
  int height = 0;
  result = ParseLcdHeader(header, width, height);
  if (!result.ok() || !step(2)) return fetched;
  fetched.snapshot.width = width;
  fetched.snapshot.height = height;
  // An empty screen has no pixel text: its prompt follows the header at once, and waiting for
  // a reply that is not empty would only run into the time-out.
  if (width > 0 && height > 0) fetched.snapshot.pixels = terminal.ReadReply(waits.lcdPixelsMs);
  terminal.ReadToPromptEnd(waits.lcdPromptMs);
  step(3);
  return fetched;
}

OpResult PressLcdKey(TvxTerminal& terminal, int key) {
  if (key < 1 || key > 4) return OpResult::Fail(Reason::BadName, "no such key");
  if (!terminal.IsOpen()) return OpResult::Fail(Reason::NotOpen);
  char command[32];
  std::snprintf(command, sizeof command, "/key.inj(%d)", key);
  terminal.ReadToPromptEnd(terminal.Waits().keyBeforeMs);
  if (!terminal.Send(std::string(command) + "\r")) return OpResult::Fail(Reason::LinkLost);
  terminal.ReadToPromptEnd(terminal.Waits().keyAfterMs);
  return OpResult::Done();
}

std::vector<std::pair<int, int>> DecodeLcdPixels(const std::string& pixels, int width, int height) {
  std::vector<std::pair<int, int>> lit;
  if (width <= 0 || height <= 0 || width > kMaxLcdSide || height > kMaxLcdSide) return lit;
  size_t at = 0;
  // The next digit of the text, or -1 at its end.
  auto next = [&]() {
    while (at < pixels.size()) {
      const int d = HexDigit(pixels[at++]);
      if (d >= 0) return d;
    }
    return -1;
  };
  for (int page = 0; page * 8 < height; ++page) {
    for (int x = 0; x < width; ++x) {
      const int high = next();
      if (high < 0) return lit;
      const int low = next();
      if (low < 0) return lit;
      const int byte = high << 4 | low;
      for (int k = 0; k < 8; ++k) {
        if (byte & (1 << k)) lit.emplace_back(x, page * 8 + k);
      }
    }
  }
  return lit;
}

}  // namespace vxk
