#include "sim/SimOptions.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace vxk {
namespace {

long Number(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end) throw std::invalid_argument(option + " needs a number");
  return n;
}

long NonNegative(const std::string& option, const std::string& text) {
  const long n = Number(option, text);
  if (n < 0) throw std::invalid_argument(option + " needs a number of 0 or more");
  return n;
}

// A time of at most a day, so that sums with a tick count cannot overflow.
int Milliseconds(const std::string& option, const std::string& text) {
  const long n = NonNegative(option, text);
  if (n > 86400000) throw std::invalid_argument(option + " needs at most 86400000 ms");
  return static_cast<int>(n);
}

}  // namespace

std::string SimUsage() {
  return "usage: vxksim --tcp HOST:PORT | --pty PATH [options]\n"
         "The virtual vx.keeper: connects to a listening vxktool (as a device does) or serves\n"
         "a pseudo-terminal for vxktool -com=PATH, and answers its command interpreter.\n"
         "\n"
         "Links:\n"
         "  --tcp HOST:PORT       connect to a tool listening with -tcp=PORT\n"
         "  --retry-ms N          keep trying to connect for N ms (default 10000)\n"
         "  --pty PATH            create a pseudo-terminal and link PATH to it\n"
         "\n"
         "Identity and header:\n"
         "  --key SECRET          authenticate the header with HMAC-SHA256 under SECRET\n"
         "  --serial S            serial number (default 100042)\n"
         "  --product P           product text (default vx.keeper.Sim)\n"
         "  --caps C              capability text (default .uft.nfi.lcd.)\n"
         "  --firmware V          firmware version (default 2.14)\n"
         "  --build B             firmware build (default 3107)\n"
         "  --date D              firmware date (default 2026-11-20)\n"
         "  --site S, --user U    informative header lines\n"
         "  --wrong-digest        send a digest no secret matches\n"
         "\n"
         "Device:\n"
         "  --password PW         the prompt asks for PW until it is typed\n"
         "  --root FOLDER         serve FOLDER as the file tree (changes are written back);\n"
         "                        default: a small demo tree in memory\n"
         "\n"
         "Faults, for tests:\n"
         "  --stall-read N        NFTYPE stops after N data bytes\n"
         "  --fail-status         status replies without \"0:No error\"\n"
         "  --drop-after N        drop the connection after N bytes of a transfer\n"
         "  --refuse-after N      NFWRITE answers \"28:No space left on device\" after N data\n"
         "                        bytes\n"
         "  --early-answer        the same as --refuse-after 4096\n"
         "  --split-refusal       the refusal's prompt follows its status line 300 ms later\n"
         "  --receive-timeout MS  a transfer stops after a pause of MS (default 2000)\n"
         "  --endless-listing     NFDIR never ends its listing\n"
         "  --silent-close        NFWRITE and LOAD take the data and never confirm it\n"
         "  --load-status TEXT    LOAD closes with TEXT (such as an error status) instead of\n"
         "                        \"0:No error\"\n"
         "  --flood-on CMD        CMD sends text without end and never a prompt (as FLOOD)\n"
         "  --flood-ab-on CMD     CMD sends 0xAB bytes without end (as FLOOD AB)\n"
         "  --lcd-marker M        LCD names M instead of U8G2 in its header\n"
         "  --lcd-size WxH        LCD declares W x H pixels (the screen stays 128 x 64 when\n"
         "                        either lies outside 0..1024)\n"
         "  --lcd-upper-hex       LCD sends its pixel text in upper-case hex\n"
         "  --lcd-short           LCD stops its pixel text halfway\n"
         "  --lcd-no-tab          LCD separates its header fields by blanks\n"
         "  --time-silent         TIME is never answered\n"
         "\n"
         "Timing of the link:\n"
         "  --latency MS          both directions are delayed by MS\n"
         "  --latency-in MS       bytes from the tool reach the device MS later\n"
         "  --latency-out MS      the device's output is sent MS after it was made\n"
         "  --chunk N             output goes out in pieces of at most N bytes ...\n"
         "  --chunk-gap MS        ... with a pause of MS after each piece\n"
         "  --line-rate BPS       both directions are paced to BPS bytes per second\n"
         "\n"
         "  --help                this text\n"
         "  --version             the program's version\n"
         "vxksim stops on SIGINT or SIGTERM, and when the tool closes a TCP connection.\n";
}

SimOptions ParseSimOptions(int argc, const char* const* argv) {
  SimOptions o;
  for (int i = 0; i < argc; ++i) {
    const std::string opt = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(opt + " needs a value");
      return argv[++i];
    };
    if (opt == "--help" || opt == "-h")
      o.help = true;
    else if (opt == "--version")
      o.version = true;
    else if (opt == "--tcp")
      o.tcp = value();
    else if (opt == "--retry-ms")
      o.retryMs = static_cast<int>(Number(opt, value()));
    else if (opt == "--pty")
      o.pty = value();
    else if (opt == "--key")
      o.header.key = value();
    else if (opt == "--serial")
      o.identity.serial = value();
    else if (opt == "--product")
      o.identity.product = value();
    else if (opt == "--caps")
      o.identity.capabilities = value();
    else if (opt == "--firmware")
      o.identity.firmwareVersion = value();
    else if (opt == "--build")
      o.identity.firmwareBuild = value();
    else if (opt == "--date")
      o.identity.firmwareDate = value();
    else if (opt == "--site")
      o.header.site = value();
    else if (opt == "--user")
      o.header.user = value();
    else if (opt == "--wrong-digest")
      o.header.wrongDigest = true;
    else if (opt == "--password")
      o.password = value();
    else if (opt == "--root")
      o.root = value();
    else if (opt == "--stall-read")
      o.faults.stallReadAfter = Number(opt, value());
    else if (opt == "--fail-status")
      o.faults.failStatus = true;
    else if (opt == "--drop-after")
      o.faults.dropAfter = Number(opt, value());
    else if (opt == "--early-answer")
      o.faults.earlyAnswer = true;
    else if (opt == "--endless-listing")
      o.faults.endlessListing = true;
    else if (opt == "--silent-close")
      o.faults.silentClose = true;
    else if (opt == "--load-status")
      o.faults.loadStatus = value();
    else if (opt == "--refuse-after")
      o.faults.refuseAfter = NonNegative(opt, value());
    else if (opt == "--split-refusal")
      o.faults.splitRefusal = true;
    else if (opt == "--receive-timeout")
      o.receiveTimeoutMs = std::max(Milliseconds(opt, value()), 1);
    else if (opt == "--flood-on")
      o.floods.emplace_back(value(), false);
    else if (opt == "--flood-ab-on")
      o.floods.emplace_back(value(), true);
    else if (opt == "--lcd-marker")
      o.lcd.marker = value();
    else if (opt == "--lcd-size") {
      const std::string size = value();
      const size_t x = size.find('x');
      if (x == std::string::npos) throw std::invalid_argument(opt + " needs WxH");
      // Clamped, so a huge size stays huge instead of wrapping into range.
      o.lcd.width = static_cast<int>(std::clamp(Number(opt, size.substr(0, x)), -1L, 1L << 30));
      o.lcd.height = static_cast<int>(std::clamp(Number(opt, size.substr(x + 1)), -1L, 1L << 30));
    } else if (opt == "--lcd-upper-hex")
      o.lcd.upperHex = true;
    else if (opt == "--lcd-short")
      o.lcd.shortText = true;
    else if (opt == "--lcd-no-tab")
      o.lcd.noTab = true;
    else if (opt == "--time-silent")
      o.clock.silent = true;
    else if (opt == "--latency")
      o.timing.toDeviceLatencyMs = o.timing.toHostLatencyMs = Milliseconds(opt, value());
    else if (opt == "--latency-in")
      o.timing.toDeviceLatencyMs = Milliseconds(opt, value());
    else if (opt == "--latency-out")
      o.timing.toHostLatencyMs = Milliseconds(opt, value());
    else if (opt == "--chunk")
      o.timing.chunkBytes = static_cast<size_t>(NonNegative(opt, value()));
    else if (opt == "--chunk-gap")
      o.timing.chunkGapMs = Milliseconds(opt, value());
    else if (opt == "--line-rate")
      o.timing.bytesPerSecond = NonNegative(opt, value());
    else
      throw std::invalid_argument("unknown option " + opt);
  }
  if (!o.help && !o.version && o.tcp.empty() == o.pty.empty()) {
    throw std::invalid_argument("give exactly one of --tcp and --pty");
  }
  return o;
}

}  // namespace vxk
