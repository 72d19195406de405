#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "comms/vxTerminal.h"

namespace vxk {

// One picture of the device's LCD: its size and the pixel text exactly as the device sent it
// (hex digits in the display controller's page layout).
struct LcdSnapshot {
  int width = 0;
  int height = 0;
  std::string pixels;
};

// Why a fetch gave no picture.
enum class LcdFetchError {
  None,
  NotOpen,        // the link is closed
  LockTimeout,    // another exchange holds the terminal
  Cancelled,      // the cancel flag was set between steps
  NoHeader,       // no header line in time, or one without a TAB
  NotU8g2,        // the LCD is not drawn by the device's own graphics library
  BadSize,        // width or height is not a decimal integer
  SizeOutOfRange  // width or height outside 0..kMaxLcdSide
};

struct LcdFetchResult {
  LcdFetchError reason = LcdFetchError::None;
  LcdSnapshot snapshot;
  bool ok() const { return reason == LcdFetchError::None; }
};

// The largest width or height accepted from a device; 0 (an empty screen) is legal.
constexpr int kMaxLcdSide = 1024;

// Waits of the LCD exchanges, in milliseconds.
struct LcdTimeouts {
  static constexpr int kFlushByteMs = 20;     // a stale byte of input must arrive within this
  static constexpr int kFlushTotalMs = 1000;  // the whole flush ends after this
  static constexpr int kHeaderMs = 10000;
  static constexpr int kPixelsMs = 10000;
  static constexpr int kPromptEndMs = 100;
  static constexpr int kKeyBeforeMs = 50;
  static constexpr int kKeyAfterMs = 150;
};

// Steps done of a fetch (1..kFetchSteps), for a progress display.
constexpr int kFetchSteps = 3;
using LcdProgress = std::function<void(int step, int steps)>;

// Reads the header line's fields: "U8G2", TAB, width, TAB, height, further fields ignored.
// Sizes are checked before anything is allocated for them.
LcdFetchError ParseLcdHeader(const std::string& header, int& width, int& height);

// Discards what the device sent before the request, byte by byte, so no remainder stays in
// the engine to prefix the next reply; ends at the first quiet kFlushByteMs or after
// kFlushTotalMs, however much the device sends.
void FlushInput(TvxTerminal& terminal);

// Sends "LCD" and reads the header and the pixel text.
LcdFetchResult FetchLcdSnapshot(TvxTerminal& terminal, const LcdProgress& progress = {},
                                const std::atomic<bool>* cancel = nullptr);

// Presses one of the device's four keys (1..4) with "/key.inj(N)"; false for another number
// or a closed link.
bool PressLcdKey(TvxTerminal& terminal, int key);

// Lit pixels of the pixel text in decoding order (page by page, column by column, bit 0 the
// top row of a page). Only 0-9 and a-f are digits; other characters are skipped. Rows below
// the height that a last page's bits reach are included.
std::vector<std::pair<int, int>> DecodeLcdPixels(const std::string& pixels, int width, int height);

}  // namespace vxk
