#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "comms/OpContext.h"
#include "comms/OpResult.h"
#include "comms/vxTerminal.h"

namespace vxk {

// One picture of the device's LCD: its size and the pixel text exactly as the device sent it
// (hex digits in the display controller's page layout).
struct LcdSnapshot {
  int width = 0;
  int height = 0;
  std::string pixels;
};

// A fetch: the picture, or why there is none. Unsupported: the LCD is not drawn by the
// device's own graphics library; BadReply: a header without a TAB, or a width or height that
// is no number or outside 0..kMaxLcdSide; TimedOut: no header in time.
struct LcdFetchResult {
  OpResult result;
  LcdSnapshot snapshot;
  bool ok() const { return result.ok(); }
};

// The largest width or height accepted from a device; 0 (an empty screen) is legal.
constexpr int kMaxLcdSide = 1024;

// Steps of a fetch, reported to the context's progress as (step, kFetchSteps).
constexpr int kFetchSteps = 3;

// Reads the header line's fields: "U8G2", TAB, width, TAB, height, further fields ignored.
// Sizes are checked before anything is allocated for them.
OpResult ParseLcdHeader(const std::string& header, int& width, int& height);

// Discards what the device sent before the request, byte by byte, so no remainder stays in
// the engine to prefix the next reply; ends at the first quiet flushByteMs or after
// flushTotalMs, however much the device sends.
void FlushInput(TvxTerminal& terminal);

// Sends "LCD" and reads the header and the pixel text.
LcdFetchResult FetchLcdSnapshot(TvxTerminal& terminal, const OpContext& context = {});

// Presses one of the device's four keys (1..4) with "/key.inj(N)"; fails for another number
// or a closed link.
OpResult PressLcdKey(TvxTerminal& terminal, int key);

// Lit pixels of the pixel text in decoding order (page by page, column by column, bit 0 the
// top row of a page). Only 0-9 and a-f are digits; other characters are skipped. Rows below
// the height that a last page's bits reach are included.
std::vector<std::pair<int, int>> DecodeLcdPixels(const std::string& pixels, int width, int height);

}  // namespace vxk
