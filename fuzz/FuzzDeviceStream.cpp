// What a device sends in answer to the tool's exchanges: a listing, a file, an upload's
// go-ahead and status, a firmware load, the LCD picture and the clock. The first byte picks the
// exchange and the size of the pieces the bytes arrive in; the rest is the device's stream, in
// segments separated by FF FE: each write of the tool lets the next segment come, as a device
// answers what it was sent. A device that stays silent while the tool waits, or has said all,
// goes away, so every wait ends at once. Whatever the stream, nothing crashes, memory stays
// bounded, and a failed read hands back no content.
#include <cstdint>
#include <string>
#include <vector>

#include "FileAccess/vxkFiles.h"
#include "comms/vxComms.h"
#include "comms/vxTerminal.h"
#include "ops/LcdSnapshot.h"
#include "ops/TimeSync.h"
#include "sim/ScratchLock.h"

namespace {

using namespace vxk;

// A link that plays back the device's segments, one more with each write of the tool.
class PlaybackLink : public TvxComms {
 public:
  PlaybackLink(TerminalLock& lock, const std::string& stream, size_t piece)
      : TvxComms(nullptr, lock), piece_(piece) {
    size_t start = 0;
    for (;;) {
      const size_t end = stream.find("\xFF\xFE", start);
      segments_.push_back(stream.substr(start, end == std::string::npos ? end : end - start));
      if (end == std::string::npos) break;
      start = end + 2;
    }
  }
  bool Open() override { return open_; }
  void Close() override { open_ = false; }
  bool IsOpen() override { return open_; }
  bool IsAlive() override { return open_; }
  bool Write(const std::string&, int channel, uint8_t, int) override {
    if (next_ < segments_.size()) pending_ += segments_[next_++];
    idleWaits_ = 0;
    return open_ && channel == kTerminalChannel;
  }
  bool Poll(int timeoutMs) override {
    if (!open_) return false;
    if (pending_.empty()) {
      // Silence: the device has said all, or the tool waits on it in vain.
      if (timeoutMs > 0 && (next_ >= segments_.size() || ++idleWaits_ >= kMaxIdleWaits))
        open_ = false;
      return false;
    }
    const size_t n = std::min(piece_, pending_.size());
    StoreTerminalBytes(pending_.data(), n);
    pending_.erase(0, n);
    return true;
  }
  std::string ProductName() override { return "vx.keeper.Fuzz"; }
  std::string Capabilities() override { return ".nfi.uft.lcd."; }

 private:
  static constexpr int kMaxIdleWaits = 3;
  std::vector<std::string> segments_;
  size_t piece_;
  size_t next_ = 0;
  std::string pending_;
  int idleWaits_ = 0;
  bool open_ = true;
};

TerminalLock& Lock() {
  static ScratchLock lock;
  return lock.Lock();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int exchange = data[0] % 6;
  const size_t piece = 1 + (data[0] / 6) % 61;  // a USB report carries at most 61 bytes
  PlaybackLink link(Lock(), std::string(reinterpret_cast<const char*>(data) + 1, size - 1), piece);
  link.SetRoundTripTime(20);
  link.SetExtraTime(0);
  TvxTerminal terminal(link);
  TvxkFiles files(terminal);
  files.QuoteNames = true;
  switch (exchange) {
    case 0: {
      std::vector<std::string> lines;
      files.ListDirectory("/Logs", lines);
      if (lines.size() > TvxkFiles::kMaxListing) __builtin_trap();
      for (const std::string& line : lines) {
        TDirEntry entry;
        TvxkFiles::TryParseEntry(line, entry);
      }
      break;
    }
    case 1: {
      std::string content = "stale";
      const OpResult read = files.ReadFile("/Logs/a.log", content);
      if (!read && !content.empty()) __builtin_trap();
      if (content.size() > size) __builtin_trap();  // never more than the device sent
      break;
    }
    case 2:
      files.WriteFile("/Logs/up.bin", std::string(9000, 'u'));
      break;
    case 3:
      files.LoadFirmware("fw.blf", std::string(5000, 'f'), TvxkFiles::AfterLoad::ReadStatus);
      break;
    case 4: {
      const LcdFetchResult lcd = FetchLcdSnapshot(terminal);
      if (lcd.ok() && (lcd.snapshot.width > kMaxLcdSide || lcd.snapshot.height > kMaxLcdSide))
        __builtin_trap();
      break;
    }
    case 5:
      ReadDeviceTime(terminal);
      break;
  }
  return 0;
}
