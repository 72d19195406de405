// The device commands of vxkctl that are no file commands: info, exec, time, lcd, firmware.
#include <cctype>

#include "cli/CliContext.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "cli/DevicePaths.h"
#include "cli/FileCommandParts.h"
#include "cli/IdentityFields.h"
#include "cli/JsonObject.h"
#include "comms/LinkLock.h"
#include "comms/Ticks.h"
#include "ops/DeviceClock.h"
#include "ops/FirmwareUpdate.h"
#include "ops/LcdPicture.h"
#include "ops/LcdSnapshot.h"
#include "ops/LocalFiles.h"
#include "ops/PngWriter.h"
#include "ops/TimeSync.h"

namespace vxk {
namespace {

// Waits of exec, in milliseconds.
constexpr int kFlushByteMs = 20;
constexpr int kFlushTotalMs = 1000;
constexpr int kPromptSlackMs = 250;
constexpr int kPromptRestMs = 100;

// CR LF and lone CR as line feeds, for text printed by lines.
std::string UnixLines(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Trimmed(std::string text) {
  const size_t start = text.find_first_not_of("\r\n ");
  if (start == std::string::npos) return {};
  const size_t end = text.find_last_not_of("\r\n ");
  return text.substr(start, end - start + 1);
}

// The first line of a reply that reports an error: a status "N:text" with N other than 0
// (at most three digits, as the file commands answer), "ERROR", or "Unknown command ...".
std::string ErrorStatusLine(const std::string& reply) {
  size_t start = 0;
  while (start < reply.size()) {
    size_t end = reply.find_first_of("\r\n", start);
    if (end == std::string::npos) end = reply.size();
    const std::string line = Trimmed(reply.substr(start, end - start));
    size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
    const bool status = digits > 0 && digits <= 3 && digits + 1 < line.size() &&
                        line[digits] == ':' && line.find_first_not_of('0') < digits;
    if (status || line == "ERROR" || line.rfind("Unknown command", 0) == 0) return line;
    start = end + 1;
  }
  return {};
}

}  // namespace

int RunInfo(CliContext& c) {
  const std::vector<IdentityField> fields = IdentityOf(c.session);
  if (c.options.json) {
    JsonObject json;
    for (const IdentityField& f : fields) json.Device(f.name, f.value);
    c.out << json.Text() << "\n";
  } else {
    for (const IdentityField& f : fields)
      c.out << f.name << ": " << (f.value ? ShownText(*f.value) : "unknown") << "\n";
  }
  return kExitOk;
}

int RunExec(CliContext& c) {
  std::string command;
  for (const std::string& word : c.options.args) command += (command.empty() ? "" : " ") + word;
  command = DevicePathArg(command);
  if (HasControlChars(command))
    return c.Usage("the command holds control characters (CR, LF, ESC ...); refused");
  TvxTerminal& t = c.session.Terminal();
  LinkLock lock(t.Link(), c.options.lockWaitMs);
  if (!lock) return c.Fail("another program holds the device", OpResult::Fail(Reason::LockTimeout));
  // Stale input first, then a fresh prompt, so the reply read is this command's.
  const int64_t flushEnd = TickCount() + kFlushTotalMs;
  while (!t.ReadChars(1, kFlushByteMs).empty() && TickCount() < flushEnd) {
  }
  t.SendLine(std::string(1, TvxTerminal::kEsc) + command);
  t.ReadToPromptEnd(t.RoundTripTime() + kPromptSlackMs);
  std::string reply = t.ReadReply(c.options.timeoutMs);
  const bool complete = !t.TimedOut();
  t.ReadToPromptEnd(kPromptRestMs);
  // The device echoes the line it took; the reply starts after it.
  const size_t firstEnd = reply.find("\r\n");
  if (firstEnd != std::string::npos && reply.compare(0, firstEnd, command) == 0) {
    reply.erase(0, firstEnd + 2);
  }
  if (!c.options.json) {
    c.out << ShownLines(reply);
    c.out.flush();
  }
  if (!complete) {
    return c.Fail(
        "no prompt came back within " + std::to_string(c.options.timeoutMs) + " ms",
        t.Link().IsOpen() ? OpResult::Fail(Reason::TimedOut) : OpResult::Fail(Reason::LinkLost));
  }
  const std::string error = ErrorStatusLine(reply);
  if (!error.empty())
    return c.FailWith("the device answered " + ShownText(error), "refused", error);
  if (c.options.json) {
    c.out << JsonObject()
                 .Device("command", command)
                 .Device("reply", reply)
                 .Bool("complete", true)
                 .Text()
          << "\n";
  }
  return kExitOk;
}

int RunTime(CliContext& c) {
  TvxTerminal& t = c.session.Terminal();
  std::string sent;
  if (c.options.sync) {
    const int64_t now = SystemUtcMs();
    const int offset = c.options.tzMinutes.value_or(PcTimesAt(now).offsetMinutes);
    sent = TimeCommand(now, offset);
    const OpResult set = SetDeviceTime(t, sent);
    if (!set)
      return c.Fail("cannot reach the device's clock: " + ShownText(DescribeResult(set)), set);
    if (!c.options.json) c.Note("sent: " + sent);
  }
  const DeviceTimeResult device = ReadDeviceTime(t);
  if (!device.result && device.result.reason != Reason::TimedOut) {
    return c.Fail("cannot reach the device's clock: " + ShownText(DescribeResult(device.result)),
                  device.result);
  }
  const PcTimes pc = PcTimesAt(SystemUtcMs());
  const std::string reply = Trimmed(device.reply);
  // Setting the clock does not depend on the answer; showing it does.
  if (reply.empty() && !c.options.sync) {
    return c.Fail("the device did not answer TIME", OpResult::Fail(Reason::TimedOut));
  }
  if (c.options.json) {
    const DeviceClock clock = ParseDeviceClock(reply);
    JsonObject json;
    json.Device("device", reply);
    if (clock.found) {
      json.Local("device_time", IsoDateTime(clock.time, clock.utc))
          .Real("difference_s", (clock.time - (clock.utc ? pc.utc : pc.local)) * 86400.0);
    } else {
      json.Null("device_time").Null("difference_s");
    }
    json.Local("utc", FormatDateTime(pc.utc))
        .Local("local", FormatDateTime(pc.local))
        .Number("offset_minutes", pc.offsetMinutes);
    if (c.options.sync) json.Local("sent", sent);
    c.out << json.Text() << "\n";
  } else {
    c.out << "Device: " << ShownText(UnixLines(reply).empty() ? "" : reply) << "\n"
          << UnixLines(PcTimeText(pc)) << "\n";
  }
  return kExitOk;
}

int RunLcd(CliContext& c) {
  TvxTerminal& t = c.session.Terminal();
  if (c.options.pressKey != 0) {
    const OpResult pressed = PressLcdKey(t, c.options.pressKey);
    if (!pressed) {
      return c.Fail("cannot press key " + std::to_string(c.options.pressKey) + Why(pressed),
                    pressed);
    }
  }
  JsonObject json;
  if (c.options.pressKey != 0) {
    json.Number("key", c.options.pressKey);
  } else {
    json.Null("key");
  }
  if (c.options.png.empty()) {
    if (c.options.json) c.out << json.Null("png").Null("width").Null("height").Text() << "\n";
    return kExitOk;
  }
  const LcdFetchResult fetched = FetchLcdSnapshot(t, c.Context());
  if (fetched.result.reason == Reason::Cancelled) return c.Interrupted();
  if (!fetched.ok()) return c.Fail("no LCD picture" + Why(fetched.result), fetched.result);
  const RgbImage picture = DrawLcdPicture(fetched.snapshot, LcdPaint{});
  if (picture.IsNull()) {
    return c.Fail("the device's LCD has no pixels", OpResult::Fail(Reason::Unsupported));
  }
  WriteLocalOutput(c, c.options.png, EncodePng(picture), 0, c.options.parents);
  const std::string size = std::to_string(picture.width) + " x " + std::to_string(picture.height);
  c.Note("saved " + (c.options.png == "-" ? std::string("to standard output") : c.options.png) +
         " (" + size + " pixels)");
  if (c.options.json) {
    c.out << json.Local("png", c.options.png)
                 .Number("width", picture.width)
                 .Number("height", picture.height)
                 .Text()
          << "\n";
  }
  return kExitOk;
}

int RunFirmware(CliContext& c) {
  if (c.session.Link().Capabilities().find(".uft.") == std::string::npos) {
    return c.Fail("the device does not take firmware this way (no .uft. capability)",
                  OpResult::Fail(Reason::Unsupported));
  }
  const std::string& path = c.options.args[0];
  const std::string image = ReadImageFile(path, path);
  if (image.empty()) return c.FailWith(path + " is empty", "local_error");
  CliProgress progress(c.err, c.progressOnTty);
  FirmwareUpdate::Hooks hooks;
  hooks.status = [&c](const std::string& text, int) {
    if (!Trimmed(text).empty()) c.Note(ShownText(Trimmed(text)));
  };
  FirmwareUpdate update(c.session.Terminal(), c.session.Files(), hooks, c.Context(&progress));
  // The running firmware is told the name in lower case, as the window does.
  const std::string name = AsciiLower(LocalToDevice(FileNamePart(path)));
  progress.Start(name);
  const OpResult loaded = update.LoadDirect(name, image);
  progress.Finish();
  if (c.cancel || loaded.reason == Reason::Cancelled) return c.Interrupted();
  if (!loaded) return c.Fail("the device did not take " + path + Why(loaded), loaded);
  c.Note("done");
  if (c.options.json) {
    c.out << JsonObject()
                 .Local("file", path)
                 .Device("name", name)
                 .Number("bytes", static_cast<int64_t>(image.size()))
                 .Text()
          << "\n";
  }
  return kExitOk;
}

}  // namespace vxk
