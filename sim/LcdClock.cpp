#include "sim/LcdClock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "FileAccess/DateTime.h"
#include "sim/VirtualDevice.h"

namespace vxk {
namespace {

constexpr int kDefaultSide[2] = {128, 64};
constexpr int kRowTop = 3;
constexpr int kRowPitch = 14;
constexpr int kRowHeight = 12;
constexpr int kTickSize = 6;

int64_t SystemMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool InRange(int side) {
  return side >= 0 && side <= LcdClock::kMaxSide;
}

// A whole decimal number of exactly the given digits.
bool Digits(const std::string& s, size_t at, size_t count, int& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

LcdClock::LcdClock() : ticked_(kMenuRows, false), pcClock_(SystemMs) {}

int LcdClock::ScreenWidth() const {
  return InRange(lcd_.width) && InRange(lcd_.height) ? lcd_.width : kDefaultSide[0];
}

int LcdClock::ScreenHeight() const {
  return InRange(lcd_.width) && InRange(lcd_.height) ? lcd_.height : kDefaultSide[1];
}

std::vector<bool> LcdClock::Draw() const {
  const int w = ScreenWidth();
  const int h = ScreenHeight();
  std::vector<bool> screen(static_cast<size_t>(w) * h, false);
  auto set = [&](int x, int y, bool on) {
    if (x >= 0 && x < w && y >= 0 && y < h) screen[static_cast<size_t>(y) * w + x] = on;
  };
  for (int x = 0; x < w; ++x) {
    set(x, 0, true);
    set(x, h - 1, true);
  }
  for (int y = 0; y < h; ++y) {
    set(0, y, true);
    set(w - 1, y, true);
  }
  for (int row = 0; row < kMenuRows; ++row) {
    const int top = kRowTop + row * kRowPitch;
    const bool highlighted = row == selected_;
    // An unhighlighted row is a bar whose length tells the rows apart.
    const int barEnd = 3 + (row + 1) * (w - 6) / (kMenuRows + 2);
    for (int y = top; y < top + kRowHeight; ++y) {
      for (int x = 3; x < w - 3; ++x) {
        bool on = highlighted || (y == top + kRowHeight / 2 && x < barEnd);
        const bool inTick =
            ticked_[row] && x >= w - 4 - kTickSize && y >= top + 3 && y < top + 3 + kTickSize;
        set(x, y, on != inTick);
      }
    }
  }
  return screen;
}

bool LcdClock::Pixel(int x, int y) const {
  const int w = ScreenWidth();
  if (x < 0 || y < 0 || x >= w || y >= ScreenHeight()) return false;
  return Draw()[static_cast<size_t>(y) * w + x];
}

void LcdClock::PressKey(int key) {
  switch (key) {
    case 1:
      if (selected_ > 0) --selected_;
      break;
    case 2:
      if (selected_ < kMenuRows - 1) ++selected_;
      break;
    case 3:
      ticked_[selected_] = !ticked_[selected_];
      break;
    case 4:
      selected_ = 0;
      ticked_.assign(kMenuRows, false);
      break;
    default:
      break;
  }
}

std::string LcdClock::Header() const {
  const char* sep = lcd_.noTab ? " " : "\t";
  return lcd_.marker + sep + std::to_string(lcd_.width) + sep + std::to_string(lcd_.height) +
         "\r\n";
}

std::string LcdClock::PixelText() const {
  const int w = ScreenWidth();
  const int h = ScreenHeight();
  const std::vector<bool> screen = Draw();
  const char* digits = lcd_.upperHex ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text;
  for (int page = 0; page * 8 < h; ++page) {
    for (int x = 0; x < w; ++x) {
      int byte = 0;
      for (int k = 0; k < 8; ++k) {
        const int y = page * 8 + k;
        if (y < h && screen[static_cast<size_t>(y) * w + x]) byte |= 1 << k;
      }
      text += digits[byte >> 4];
      text += digits[byte & 15];
    }
    text += "\r\n";
  }
  if (lcd_.shortText) text.resize(text.size() / 2);
  return text;
}

int64_t LcdClock::DeviceUtcMs() const {
  return pcClock_() + skewMs_;
}

std::string LcdClock::Time(const std::string& args) {
  if (args.empty()) {
    const int64_t ms = DeviceUtcMs();
    const int64_t s = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    return "UTC " + FormatDateTime(UnixToDateTime(s)) + " TZ " + std::to_string(zoneMinutes_);
  }
  // yyyy-mm-dd hh:nn:ss N
  int year, month, day, hour, minute, second;
  if (args.size() < 21 || !Digits(args, 0, 4, year) || args[4] != '-' ||
      !Digits(args, 5, 2, month) || args[7] != '-' || !Digits(args, 8, 2, day) || args[10] != ' ' ||
      !Digits(args, 11, 2, hour) || args[13] != ':' || !Digits(args, 14, 2, minute) ||
      args[16] != ':' || !Digits(args, 17, 2, second) || args[19] != ' ') {
    return "ERROR";
  }
  const std::string zone = args.substr(20);
  char* end = nullptr;
  const long minutes = std::strtol(zone.c_str(), &end, 10);
  TDateTime t = 0;
  if (zone.empty() || *end || zone[0] == ' ' || minutes < -1440 || minutes > 1440 ||
      !TryEncodeDateTime(year, month, day, hour, minute, second, 0, t)) {
    return "ERROR";
  }
  skewMs_ = DateTimeToUnix(t) * 1000 - pcClock_();
  zoneMinutes_ = static_cast<int>(minutes);
  ++setCount_;
  return "OK";
}

void LcdClock::Install(VirtualDevice& device) {
  device.RegisterCommand("LCD", [this](VirtualDevice& d, const std::string&) {
    d.Print(Header());
    d.Print(PixelText());
    d.EmitPrompt();
  });
  for (int key = 1; key <= 4; ++key) {
    device.RegisterCommand("/key.inj(" + std::to_string(key) + ")",
                           [this, key](VirtualDevice& d, const std::string&) {
                             PressKey(key);
                             d.EmitPrompt();
                           });
  }
  device.RegisterCommand("TIME", [this](VirtualDevice& d, const std::string& args) {
    if (clock_.silent) return;
    d.PrintLine(Time(args));
    d.EmitPrompt();
  });
}

}  // namespace vxk
