#include "sim/BasicCommands.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/VirtualDevice.h"

namespace vxk {
namespace {

// A count argument, bounded so that a typo cannot exhaust memory.
size_t CountArg(const std::string& args, size_t limit) {
  const long long n = std::strtoll(args.c_str(), nullptr, 10);
  if (n <= 0) return 0;
  return static_cast<size_t>(n) > limit ? limit : static_cast<size_t>(n);
}

}  // namespace

void InstallBasicCommands(VirtualDevice& device) {
  device.RegisterCommand("help", [](VirtualDevice& d, const std::string&) {
    d.PrintLine("Commands: help ver echo empty lines dump flood ?c,i");
    d.EmitPrompt();
  });
  device.RegisterCommand("ver", [](VirtualDevice& d, const std::string&) {
    const DeviceIdentity& id = d.Identity();
    d.PrintLine(id.product + " v" + id.firmwareVersion + " (build " + id.firmwareBuild + " @ " +
                id.firmwareDate + ")");
    d.PrintLine("Serial #" + id.serial);
    d.EmitPrompt();
  });
  device.RegisterCommand("echo", [](VirtualDevice& d, const std::string& args) {
    d.PrintLine(args);
    d.EmitPrompt();
  });
  // A command whose reply is empty: the prompt comes first.
  device.RegisterCommand("empty", [](VirtualDevice& d, const std::string&) { d.EmitPrompt(); });
  // "lines N": N numbered lines.
  device.RegisterCommand("lines", [](VirtualDevice& d, const std::string& args) {
    const size_t n = CountArg(args, 1000000);
    std::string text;
    for (size_t i = 1; i <= n; ++i) text += "line " + std::to_string(i) + "\r\n";
    d.Print(text);
    d.EmitPrompt();
  });
  // "dump N": exactly N bytes of printable text without markers, then the prompt.
  device.RegisterCommand("dump", [](VirtualDevice& d, const std::string& args) {
    const size_t n = CountArg(args, size_t(64) << 20);
    std::string text(n, ' ');
    for (size_t i = 0; i < n; ++i) text[i] = static_cast<char>('0' + (i % 64));
    d.Print(text);
    d.EmitPrompt();
  });
  // "?c,i": the configuration and information report, a few kilobytes with 8-bit bytes.
  device.RegisterCommand("?c,i", [](VirtualDevice& d, const std::string&) {
    const DeviceIdentity& id = d.Identity();
    std::string text = "[config]\r\n";
    for (int ch = 1; ch <= 48; ++ch) {
      const std::string n = std::to_string(ch);
      text += "ch" + n + ".name=Sensor " + n + "\r\nch" + n + ".unit=\xB0" + "C\r\nch" + n +
              ".scale=0.1 \xB5V\r\n";
    }
    text += "[info]\r\nserial=" + id.serial + "\r\nfirmware=" + id.firmwareVersion + " build " +
            id.firmwareBuild + "\r\nsite=Stra\xDF" + "e 12, M\xFC" + "nchen\r\n";
    d.Print(text);
    d.EmitPrompt();
  });
  // "flood" / "flood AB": endless output, see StartFlood.
  device.RegisterCommand("flood", [](VirtualDevice& d, const std::string& args) {
    std::string word;
    for (char c : args) {
      if (c != ' ') word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    StartFlood(d, word == "ab" ? Flood::EmptyReplies : Flood::Text);
  });
}

void StartFlood(VirtualDevice& device, Flood kind) {
  if (kind == Flood::EmptyReplies) {
    device.SetGenerator(0, [](VirtualDevice&) { return std::string(4096, '\xAB'); });
    return;
  }
  device.SetGenerator(0, [n = uint64_t(0)](VirtualDevice&) mutable {
    std::string text;
    for (int i = 0; i < 64; ++i) text += "flood " + std::to_string(++n) + " still talking\r\n";
    return text;
  });
}

void StopFlood(VirtualDevice& device) {
  device.SetGenerator(0, nullptr);
}

}  // namespace vxk
