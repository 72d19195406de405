#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vxk {

// The device's log stream on channel 31: one packet is one record, byte 0 its type, the rest
// its text. The host subscribes with a filter mask, bit n for records of type n.

// Every type except the receive and transmit ones (5, 6, 9, 10, 13, 14).
constexpr uint64_t kDefaultLogFilter = 0xFFFFFFFFFFFF999FULL;
// The receive and transmit types, forwarded only with the modem option.
constexpr uint64_t kModemFilterBits = 0x6660;
constexpr uint8_t kSetFilterFlags = 0x80;
constexpr uint8_t kClearFilterFlags = 0x40;
constexpr int kFilterWriteTimeoutMs = 200;

// "FILTER " and the eight mask bytes, least significant first.
std::string SetFilterPayload(uint64_t mask);
// "FILTER-" and eight bytes 0xFF.
std::string ClearFilterPayload();

enum class RecordPane {
  Log,      // tagged line in the log pane
  ModemRx,  // modem receive data, line end added
  ModemTx,  // modem transmit data, shown as it is
};

RecordPane PaneOfRecord(uint8_t type);
// "[m.ev]", "[Lua!]" and so on; "[#007]" for a type without a tag of its own.
std::string RecordTag(uint8_t type);

// Device bytes made visible: TAB, LF, CR and printable ASCII pass, the backslash doubles,
// every other byte becomes \xHH (upper-case hex).
std::string EscapeText(std::string_view bytes);

// A moment of the local clock, as the stamps show it.
struct ClockTime {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

ClockTime LocalClockNow();
// "hh:nn:ss.zzz " (with the trailing blank).
std::string LogStamp(const ClockTime& t);
// "[nn:ss.zzz]".
std::string ModemStamp(const ClockTime& t);

}  // namespace vxk
