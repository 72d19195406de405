#include "ops/TimeSync.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "comms/LinkLock.h"
#include "ops/DeviceClock.h"

namespace vxk {
namespace {

// The terminal is held for each exchange, so no other command interleaves with it.

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

int64_t SystemUtcMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

PcTimes PcTimesAt(int64_t utcMs) {
  const int64_t seconds = FloorDiv(utcMs, 1000);
  const int millisecond = static_cast<int>(utcMs - seconds * 1000);
  PcTimes t;
  t.utc = UnixToDateTime(seconds, millisecond);
  const TDateTime localSecond = TimeToLocalDateTime(static_cast<std::time_t>(seconds));
  t.local = localSecond + millisecond / 86400000.0;
  t.offsetMinutes = static_cast<int>(std::lround((localSecond - UnixToDateTime(seconds)) * 1440.0));
  return t;
}

std::string PcTimeText(const PcTimes& times) {
  return "   UTC: " + FormatDateTime(times.utc) + "\r\n" +
         " Local: " + FormatDateTime(times.local) + "\r\n" +
         "    TZ: " + std::to_string(times.offsetMinutes) + " min";
}

int ParseOffsetMinutes(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return 0;
  long long n = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    n = n * 10 + (text[i] - '0');
    if (n > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return 0;
  }
  if (negative) n = -n;
  if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max()) return 0;
  return static_cast<int>(n);
}

std::string TimeCommand(int64_t utcMs, int offsetMinutes) {
  const PcTimes ahead = PcTimesAt(utcMs + 1000);
  return "TIME " + FormatDateTime(ahead.utc) + " " + std::to_string(offsetMinutes);
}

std::optional<int64_t> DeviceMinusPcSeconds(const std::string& reply, const PcTimes& pc) {
  const DeviceClock clock = ParseDeviceClock(reply);
  if (!clock.found) return std::nullopt;
  // Whole seconds on both sides; the margin keeps a PC time that is a whole second from
  // falling just below it in floating point.
  const int64_t device = std::llround(clock.time * 86400.0);
  const int64_t at =
      static_cast<int64_t>(std::floor((clock.utc ? pc.utc : pc.local) * 86400.0 + 1e-4));
  return device - at;
}

DeviceTimeResult ReadDeviceTime(TvxTerminal& terminal) {
  DeviceTimeResult time;
  if (!terminal.IsOpen()) {
    time.result = OpResult::Fail(Reason::NotOpen);
    return time;
  }
  const Timeouts& waits = terminal.Waits();
  LinkLock lock(terminal.Link(), waits.timeLockMs);
  if (!lock) {
    time.result = OpResult::Fail(Reason::LockTimeout);
    return time;
  }
  terminal.SendLine("TIME");
  time.reply = terminal.ReadReply(waits.timeReplyMs);
  if (time.reply.empty() && terminal.TimedOut())
    time.result = OpResult::Fail(terminal.IsOpen() ? Reason::TimedOut : Reason::LinkLost);
  terminal.ReadToPromptEnd(waits.timePromptMs);
  return time;
}

OpResult SetDeviceTime(TvxTerminal& terminal, const std::string& command) {
  if (!terminal.IsOpen()) return OpResult::Fail(Reason::NotOpen);
  const Timeouts& waits = terminal.Waits();
  LinkLock lock(terminal.Link(), waits.timeLockMs);
  if (!lock) return OpResult::Fail(Reason::LockTimeout);
  if (!terminal.Send(command + "\r")) return OpResult::Fail(Reason::LinkLost);
  terminal.ReadReply(waits.timeSetReplyMs);
  terminal.ReadToPromptEnd(waits.timeSetPromptMs);
  return OpResult::Done();
}

}  // namespace vxk
