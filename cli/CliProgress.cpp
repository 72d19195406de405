#include "cli/CliProgress.h"

#include <cstdio>

#include "comms/Ticks.h"

namespace vxk {
namespace {

constexpr int kRedrawMs = 100;
constexpr int kBarWidth = 24;
constexpr size_t kMaxLabel = 28;

std::string Duration(int64_t seconds) {
  char buf[32];
  if (seconds >= 3600) {
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return buf;
}

}  // namespace

std::string ProgressLine(const std::string& label, int64_t position, int64_t total,
                         int64_t elapsedMs) {
  const double fraction =
      total > 0 ? static_cast<double>(std::min(position, total)) / static_cast<double>(total) : 1.0;
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::string bar = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";
  std::string name =
      label.size() > kMaxLabel ? "..." + label.substr(label.size() - kMaxLabel + 3) : label;
  char buf[128];
  const double seconds = static_cast<double>(elapsedMs) / 1000.0;
  const double rate = seconds > 0 ? static_cast<double>(position) / seconds : 0.0;
  std::string left = "-:--";
  if (rate > 0 && total >= position)
    left = Duration(static_cast<int64_t>((total - position) / rate + 0.5));
  std::snprintf(buf, sizeof buf, " %3d%%  %7.2f MB/s  %s left", static_cast<int>(fraction * 100),
                rate / 1e6, left.c_str());
  return name + " " + bar + buf;
}

void CliProgress::Start(const std::string& label) {
  Finish();
  label_ = label;
  startMs_ = TickCount();
  lastDrawMs_ = 0;
}

void CliProgress::Update(int64_t position, int64_t total) {
  if (!enabled_) return;
  const int64_t now = TickCount();
  if (drawn_ && position < total && now - lastDrawMs_ < kRedrawMs) return;
  lastDrawMs_ = now;
  // Erase to the end of the line, so a shorter line leaves nothing behind.
  err_ << "\r" << ProgressLine(label_, position, total, now - startMs_) << "\x1b[K" << std::flush;
  drawn_ = true;
}

void CliProgress::Finish() {
  if (drawn_) err_ << "\n" << std::flush;
  drawn_ = false;
}

}  // namespace vxk
