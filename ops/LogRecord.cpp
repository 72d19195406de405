#include "ops/LogRecord.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace vxk {
namespace {

std::string FilterPayload(const char* head, uint64_t mask) {
  std::string payload(head, 7);
  for (int i = 0; i < 8; ++i) payload += static_cast<char>((mask >> (8 * i)) & 0xFF);
  return payload;
}

}  // namespace

std::string SetFilterPayload(uint64_t mask) {
  return FilterPayload("FILTER ", mask);
}

std::string ClearFilterPayload() {
  return FilterPayload("FILTER-", ~uint64_t(0));
}

RecordPane PaneOfRecord(uint8_t type) {
  if (type == 5) return RecordPane::ModemRx;
  if (type == 6) return RecordPane::ModemTx;
  return RecordPane::Log;
}

std::string RecordTag(uint8_t type) {
  switch (type) {
    case 4:
      return "[m.ev]";
    case 5:
      return "[m.rx]";
    case 6:
      return "[m.tx]";
    case 8:
      return "[d.ev]";
    case 9:
      return "[d.rx]";
    case 10:
      return "[d.tx]";
    case 12:
      return "[e.ev]";
    case 13:
      return "[e.rx]";
    case 14:
      return "[e.tx]";
    case 16:
      return "[Lua!]";
    case 17:
      return "[Lua.]";
    default: {
      char tag[8];
      std::snprintf(tag, sizeof tag, "[#%03d]", type);
      return tag;
    }
  }
}

std::string EscapeText(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\\') {
      out += "\\\\";
    } else if (b == '\t' || b == '\n' || b == '\r' || (b >= 0x20 && b <= 0x7E)) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

ClockTime LocalClockNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  return ClockTime{local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms)};
}

std::string LogStamp(const ClockTime& t) {
  char text[24];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", t.hour, t.minute, t.second,
                t.millisecond);
  return text;
}

std::string ModemStamp(const ClockTime& t) {
  char text[24];
  std::snprintf(text, sizeof text, "[%02d:%02d.%03d]", t.minute, t.second, t.millisecond);
  return text;
}

}  // namespace vxk
