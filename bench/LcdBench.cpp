// Figure of the LCD viewer: how long one 128 x 64 snapshot takes to decode and draw at x4.
#ifdef VXK_BENCH_GUI

#include <algorithm>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "ui/LcdRender.h"

namespace vxk {

void RunLcdBenches() {
  if (!Selected("lcd.render_ms")) return;
  // Every other pixel lit: the most pixels with a shadow each to draw.
  LcdSnapshot snapshot{128, 64, ""};
  for (int page = 0; page < 8; ++page) {
    for (int x = 0; x < 128; ++x) snapshot.pixels += x % 2 ? "55" : "aa";
    snapshot.pixels += "\r\n";
  }
  LcdLook look;
  look.scale = 4;
  std::vector<double> times;
  for (int i = 0; i < 50; ++i) {
    QImage image;
    times.push_back(Seconds([&] { image = DrawSnapshot(snapshot, look); }) * 1000);
    if (image.width() != (128 + 12) * 4) Fail("lcd.render_ms: wrong picture size");
  }
  std::sort(times.begin(), times.end());
  Report("lcd.render_ms", times[times.size() / 2], "ms");
}

}  // namespace vxk

#endif
