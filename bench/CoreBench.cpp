#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/Bench.h"
#include "comms/Packet.h"
#include "comms/vxTerminal.h"
#include "sim/HidRig.h"

namespace vxk {

namespace {

constexpr size_t kReplyBytes = size_t(4) << 20;

void HidPackets() {
  HidRig rig;
  // Channel 5 sends back whatever it receives.
  rig.device.SetChannelHandler(5, [](VirtualDevice& d, std::string_view b) { d.Emit(5, b); });
  if (!rig.link.Open()) Fail("open");
  const int count = 200000;
  const std::string data(kPacketData, 'p');
  const double s = Seconds([&] {
    for (int i = 0; i < count; ++i) {
      if (!rig.link.Write(data, 5, 0, 200)) Fail("write");
      if (rig.link.Read(5, 1000).size() != kPacketData) Fail("read");
    }
  });
  Report("hid.packets_per_s", count / s, "packets/s");
}

// A 4 MiB reply of the virtual device, read by fn; returns the bytes fn delivered.
void TerminalRead(const char* name, bool untilPrompt) {
  HidRig rig;
  if (!rig.link.Open()) Fail("open");
  rig.link.SetExtraTime(20);
  TvxTerminal term(rig.link);
  term.SendLine("dump " + std::to_string(kReplyBytes));
  size_t got = 0;
  const double s = Seconds([&] {
    if (untilPrompt) {
      // One reply larger than the engine's usual bound, which the caller may raise.
      got = term.ReadUntil("\xAB", "\xAB", 1000, kReplyBytes + 64).size();
    } else {
      while (got < kReplyBytes) {
        const std::string block = term.ReadChars(4096, 1000);
        if (block.empty()) break;
        got += block.size();
      }
    }
  });
  if (got != kReplyBytes) Fail(name);
  Report(name, kReplyBytes / s / 1e6, "MB/s");
}

}  // namespace

void RunCoreBenches() {
  if (Selected("hid.")) HidPackets();
  if (Selected("terminal.readchars")) TerminalRead("terminal.readchars_MBps", false);
  if (Selected("terminal.readuntil")) TerminalRead("terminal.readuntil_MBps", true);
}

}  // namespace vxk
