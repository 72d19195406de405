// The device commands of vxkctl that are no file commands: exec, time, lcd, firmware.
#include <sstream>

#include "cli/CliContext.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "comms/LinkLock.h"
#include "comms/Ticks.h"
#include "ops/FirmwareUpdate.h"
#include "ops/LcdPicture.h"
#include "ops/LcdSnapshot.h"
#include "ops/LocalFiles.h"
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

}  // namespace

OpContext CliContext::Context(CliProgress* progress) const {
  OpContext context;
  if (progress)
    context.progress = [progress](int64_t done, int64_t total) { progress->Update(done, total); };
  context.cancel = &cancel;
  return context;
}

int CliContext::Fail(const std::string& text) const {
  err << "vxkctl: " << TerminalText(text) << "\n";
  return kExitFailed;
}

void CliContext::Note(const std::string& text) const {
  if (!options.quiet) err << TerminalText(text) << "\n";
}

int RunExec(CliContext& c) {
  const std::string& command = c.options.args[0];
  if (HasControlChars(command)) {
    c.err << "vxkctl: the command holds control characters (CR, LF, ESC ...); refused\n";
    return kExitUsage;
  }
  TvxTerminal& t = c.session.Terminal();
  LinkLock lock(t.Link(), c.options.lockWaitMs);
  if (!lock) return c.Fail("another program holds the device");
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
  c.out << ShownLines(reply);
  c.out.flush();
  if (!complete)
    return c.Fail("no prompt came back within " + std::to_string(c.options.timeoutMs) + " ms");
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
    if (!set) return c.Fail("cannot reach the device's clock: " + ShownText(DescribeResult(set)));
    if (!c.options.json) c.Note("sent: " + sent);
  }
  const DeviceTimeResult device = ReadDeviceTime(t);
  if (!device.result && device.result.reason != Reason::TimedOut)
    return c.Fail("cannot reach the device's clock: " + ShownText(DescribeResult(device.result)));
  const PcTimes pc = PcTimesAt(SystemUtcMs());
  const std::string reply = Trimmed(device.reply);
  if (c.options.json) {
    c.out << "{\"device\": " << JsonString(reply) << ", \"utc\": \"" << FormatDateTime(pc.utc)
          << "\", \"local\": \"" << FormatDateTime(pc.local)
          << "\", \"offset_minutes\": " << pc.offsetMinutes;
    if (c.options.sync) c.out << ", \"sent\": " << JsonString(sent);
    c.out << "}\n";
  } else {
    c.out << "Device: " << ShownText(UnixLines(reply).empty() ? "" : reply) << "\n"
          << UnixLines(PcTimeText(pc)) << "\n";
  }
  // Setting the clock does not depend on the answer; showing it does.
  if (reply.empty() && !c.options.sync) return c.Fail("the device did not answer TIME");
  return kExitOk;
}

int RunLcd(CliContext& c) {
  TvxTerminal& t = c.session.Terminal();
  if (c.options.pressKey != 0) {
    const OpResult pressed = PressLcdKey(t, c.options.pressKey);
    if (!pressed)
      return c.Fail("cannot press key " + std::to_string(c.options.pressKey) + ": " +
                    ShownText(DescribeResult(pressed)));
  }
  if (c.options.png.empty()) return kExitOk;
  const LcdFetchResult fetched = FetchLcdSnapshot(t, c.Context());
  if (fetched.result.reason == Reason::Cancelled) {
    c.err << "vxkctl: interrupted\n";
    return kExitInterrupted;
  }
  if (!fetched.ok()) return c.Fail("no LCD picture: " + ShownText(DescribeResult(fetched.result)));
  const RgbImage picture = DrawLcdPicture(fetched.snapshot, LcdPaint{});
  if (picture.IsNull()) return c.Fail("the device's LCD has no pixels");
  SavePngFile(picture, c.options.png);
  c.Note("saved " + c.options.png + " (" + std::to_string(fetched.snapshot.width) + " x " +
         std::to_string(fetched.snapshot.height) + ")");
  return kExitOk;
}

int RunFirmware(CliContext& c) {
  if (c.session.Link().Capabilities().find(".uft.") == std::string::npos) {
    return c.Fail("the device does not take firmware this way (no .uft. capability)");
  }
  const std::string& path = c.options.args[0];
  const std::string image = ReadImageFile(path, path);
  if (image.empty()) return c.Fail(path + " is empty");
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
  if (c.cancel || loaded.reason == Reason::Cancelled) {
    c.err << "vxkctl: interrupted\n";
    return kExitInterrupted;
  }
  if (!loaded)
    return c.Fail("the device did not take " + path + ": " + ShownText(DescribeResult(loaded)));
  c.Note("done");
  return kExitOk;
}

}  // namespace vxk
