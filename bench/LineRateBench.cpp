// File transfers over links held to their line rate: how much of what the link can carry of
// file data the file commands achieve. Two links:
//  - serial: a pseudo-terminal served by the virtual device, paced to 11,520 B/s each way
//    (115200 baud, 8N1: ten bits a byte) with 5 ms latency each way, on the serial link;
//  - usb: the fake HID bus at one 64-byte report per millisecond each way, on the USB link.
// Figures: files.{read,write,list}_line_efficiency_pct for the serial line, the same names
// with _usb for USB. Each is payload bytes per second achieved, in percent of the link's
// payload limit; the time is the whole file operation, its command exchange included.
// files.line_exchange_ms[_usb] is the fixed cost of one exchange, and
// files.write_line_link_pct_usb the rate at which this machine gets reports written at all.
// VXK_BENCH_LINE_BYTES sets the transfer size (default 1 MiB, about 91 s a direction on the
// serial line); the listings scale with it.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "FileAccess/vxkFiles.h"
#include "bench/Bench.h"
#include "comms/Packet.h"
#include "sim/HidRig.h"
#include "sim/PtyRig.h"
#include "sim/SimDevice.h"

namespace vxk {

namespace {

constexpr long kSerialBytesPerSecond = 11520;
constexpr int kSerialLatencyMs = 5;
// The serial link carries channel 0 as raw bytes: no packet framing, no escaping, so every
// byte on the line can be file data (start and stop bits are already out of the 11,520).
constexpr double kSerialPayloadLimit = kSerialBytesPerSecond;
// A USB report carries channel, flags and length besides at most 61 data bytes.
constexpr double kUsbPayloadLimit =
    static_cast<double>(FakeHidBackend::kFullSpeedReportRate) * kPacketData;
// The main window's time-outs for a serial or USB link.
constexpr int kRoundTripMs = 20;
constexpr int kExtraMs = 20;

constexpr size_t kDefaultBytes = size_t(1) << 20;
// How long a listing takes at the link's payload limit, at the default transfer size.
constexpr double kListSecondsAtDefault = 4.0;

size_t TransferBytes() {
  const char* text = std::getenv("VXK_BENCH_LINE_BYTES");
  if (!text || !*text) return kDefaultBytes;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 10);
  if (*end || n == 0) Fail("VXK_BENCH_LINE_BYTES must be a positive number");
  return static_cast<size_t>(n);
}

// The serial figure has the base name; a filter for the USB figure alone must not run it.
bool SerialWanted(const std::string& name) {
  return Selected(name) && BenchFilter().rfind(name + "_", 0) != 0;
}

// A link to a virtual device, and a way to change the device while the link runs.
struct LineLink {
  std::string suffix;
  double payloadLimit;
  TvxComms& link;
  std::function<void(const std::function<void(SimDevice&)>&)> withDevice;
};

std::string EntryName(int i) {
  return "logfile_" + std::to_string(100000 + i) + ".txt";
}

void Measure(LineLink& l, bool read, bool write, bool list) {
  l.link.SetRoundTripTime(kRoundTripMs);
  l.link.SetExtraTime(kExtraMs);
  if (!l.link.Open()) Fail("line open");
  TvxTerminal term(l.link);
  TvxkFiles files(term);
  const size_t size = TransferBytes();
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 256) % 256);
  auto percent = [&](double bytes, double seconds) {
    return 100.0 * bytes / seconds / l.payloadLimit;
  };

  if (read) {
    l.withDevice([&](SimDevice& s) { s.Files().Files().WriteFile("/Logs/line.bin", data, 0); });
    std::string content;
    bool ok = false;
    const double s = Seconds([&] { ok = files.ReadFile("/Logs/line.bin", content).ok(); });
    if (!ok || content != data) Fail("line read");
    Report("files.read_line_efficiency_pct" + l.suffix, percent(size, s), "%");
  }
  if (write) {
    l.withDevice([&](SimDevice& s) { s.Files().Files().Delete("/Logs/up.bin"); });
    bool ok = false;
    const double s = Seconds([&] { ok = files.WriteFile("/Logs/up.bin", data).ok(); });
    bool stored = false;
    l.withDevice([&](SimDevice& dev) {
      const SimFileSystem::Node* node = dev.Files().Files().Find("/Logs/up.bin");
      stored = node && node->data == data;
    });
    if (!ok) Fail("line write");
    // Success before the device has the whole file would time less than the transfer.
    if (!stored) Fail("line write: done before the device had the file");
    Report("files.write_line_efficiency_pct" + l.suffix, percent(size, s), "%");
  }
  if (list) {
    const std::string probe = EntryName(0);
    const double lineBytes = probe.size() + 40.0;  // name, size, attributes, three times, CR LF
    const int count = std::max(
        20, static_cast<int>(l.payloadLimit * kListSecondsAtDefault / lineBytes *
                             static_cast<double>(size) / static_cast<double>(kDefaultBytes)));
    l.withDevice([&](SimDevice& s) {
      SimFileSystem& fs = s.Files().Files();
      fs.MakeDirectory("/Many", 0);
      for (int i = 0; i < count; ++i) fs.WriteFile("/Many/" + EntryName(i), "x", 0x5A8B6C21);
    });
    std::vector<std::string> lines;
    bool ok = false;
    const double s = Seconds([&] { ok = files.ListDirectory("/Many", lines).ok(); });
    if (!ok || lines.size() != static_cast<size_t>(count) + 2) Fail("line list");
    // Payload: the listing lines with their CR LF, "." and ".." included.
    double bytes = 0;
    for (const std::string& line : lines) bytes += static_cast<double>(line.size() + 2);
    Report("files.list_line_efficiency_pct" + l.suffix, percent(bytes, s), "%");
  }
  // The fixed waits of one exchange (discarding stale input, the prompt after ESC, the reply's
  // first line, the closing prompt): a read of an empty file, the best of five.
  l.withDevice([&](SimDevice& s) { s.Files().Files().WriteFile("/Logs/empty.bin", "", 0); });
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    std::string content;
    best = std::min(best, Seconds([&] { files.ReadFile("/Logs/empty.bin", content); }));
  }
  Report("files.line_exchange_ms" + l.suffix, best * 1000, "ms");
  l.link.Close();
}

// Full reports written back to back through the USB link, in percent of the report rate: the
// most a write can get on this machine, whose scheduler may miss a frame now and then.
void UsbReportCeiling(TvxComms& link) {
  if (!link.Open()) Fail("usb open");
  const int reports = 2000;
  const std::string text(reports * kPacketData, 'r');
  bool ok = false;
  const double s = Seconds([&] { ok = link.Write(text, 5, 0, 1000); });
  if (!ok) Fail("usb reports");
  Report("files.write_line_link_pct_usb",
         100.0 * reports / s / FakeHidBackend::kFullSpeedReportRate, "%");
}

void Serial() {
  const bool read = SerialWanted("files.read_line_efficiency_pct");
  const bool write = SerialWanted("files.write_line_efficiency_pct");
  const bool list = SerialWanted("files.list_line_efficiency_pct");
  if (!read && !write && !list) return;
  LinkTiming timing;
  timing.toDeviceLatencyMs = timing.toHostLatencyMs = kSerialLatencyMs;
  timing.bytesPerSecond = kSerialBytesPerSecond;
  PtyRig rig(timing);
  LineLink l{"", kSerialPayloadLimit, rig.link, [&](const std::function<void(SimDevice&)>& fn) {
               rig.WithDevice([&](VirtualDevice&) { fn(rig.sim); });
             }};
  Measure(l, read, write, list);
}

void Usb() {
  const bool read = Selected("files.read_line_efficiency_pct_usb");
  const bool write = Selected("files.write_line_efficiency_pct_usb");
  const bool list = Selected("files.list_line_efficiency_pct_usb");
  if (!read && !write && !list) return;
  HidRig rig;
  rig.backend.SetReportRate(FakeHidBackend::kFullSpeedReportRate);
  LineLink l{"_usb", kUsbPayloadLimit, rig.link, [&](const std::function<void(SimDevice&)>& fn) {
               rig.backend.WithDevice([&](VirtualDevice&) { fn(rig.sim); });
             }};
  if (write) UsbReportCeiling(rig.link);
  Measure(l, read, write, list);
}

}  // namespace

void RunLineRateBenches() {
  if (!Selected("files.")) return;
  Serial();
  Usb();
}

}  // namespace vxk
