#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vxk {

class VirtualDevice;

// Ways the LCD command misbehaves on purpose, for tests.
struct LcdFaults {
  std::string marker = "U8G2";  // first header field
  int width = 128;              // sizes the header declares; the screen takes them when they
  int height = 64;              // lie within 0..1024 and stays 128 x 64 otherwise
  bool upperHex = false;        // pixel text in upper-case hex
  bool shortText = false;       // the pixel text stops halfway
  bool noTab = false;           // header fields separated by blanks
};

// Ways the TIME command misbehaves on purpose.
struct ClockFaults {
  bool silent = false;  // TIME is never answered (no text, no prompt)
};

// The device's LCD with its four keys and its real-time clock:
// "LCD" answers "U8G2", TAB, width, TAB, height, CR LF, then one line of lower-case hex per
// page of 8 rows (one byte per column, bit 0 the top row), then the prompt.
// "/key.inj(1)".."/key.inj(4)" press a key: 1 and 2 move the highlighted menu row up and down,
// 3 ticks or unticks the highlighted row, 4 goes back to the first row and clears the ticks.
// "TIME" answers the clock as "UTC yyyy-mm-dd hh:nn:ss TZ N"; "TIME yyyy-mm-dd hh:nn:ss N"
// sets it (UTC and the zone offset N in minutes, -1440..1440) and answers "OK", or "ERROR"
// with the clock unchanged for any other form.
// Must outlive the device it is installed on.
class LcdClock {
 public:
  static constexpr int kMaxSide = 1024;
  static constexpr int kMenuRows = 4;

  LcdClock();
  void Install(VirtualDevice& device);

  LcdFaults& Lcd() { return lcd_; }
  ClockFaults& Clock() { return clock_; }

  // The screen as drawn now.
  int ScreenWidth() const;
  int ScreenHeight() const;
  bool Pixel(int x, int y) const;
  int Selected() const { return selected_; }
  bool Ticked(int row) const { return ticked_.at(row); }
  void PressKey(int key);
  // The LCD command's pixel text for the screen as it is now, with the faults applied.
  std::string PixelText() const;
  std::string Header() const;

  // The PC clock the device's clock runs from (milliseconds since 1970 UTC); tests set their own.
  void SetPcClock(std::function<int64_t()> clock) { pcClock_ = std::move(clock); }
  int64_t DeviceUtcMs() const;
  int ZoneMinutes() const { return zoneMinutes_; }
  int SetCount() const { return setCount_; }

 private:
  std::string Time(const std::string& args);
  std::vector<bool> Draw() const;

  LcdFaults lcd_;
  ClockFaults clock_;
  int selected_ = 0;
  std::vector<bool> ticked_;
  std::function<int64_t()> pcClock_;
  int64_t skewMs_ = 0;  // device clock minus PC clock
  int zoneMinutes_ = 0;
  int setCount_ = 0;
};

}  // namespace vxk
