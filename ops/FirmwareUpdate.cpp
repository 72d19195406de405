#include "ops/FirmwareUpdate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "comms/Ticks.h"

namespace vxk {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Closes a descriptor on every way out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void CannotRead(const std::string& shownPath, const char* why) {
  throw LocalFileError("Cannot open file \"" + shownPath + "\". " + why);
}

}  // namespace

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

DroppedFirmware TakeFirmwarePaths(std::vector<std::string>& dropped) {
  DroppedFirmware found;
  for (size_t i = dropped.size(); i-- > 0;) {
    const std::string lower = AsciiLower(dropped[i]);
    if (!EndsWith(lower, ".blf")) continue;
    if (lower.find("bootloader") != std::string::npos) found.bootLoaderImage = true;
    found.paths.push_back(dropped[i]);
    dropped.erase(dropped.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return found;
}

std::string ReadImageFile(const std::string& path, const std::string& shownPath) {
  // Non-blocking, so that a FIFO cannot hang the window; only a regular file is read.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) CannotRead(shownPath, std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) CannotRead(shownPath, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) CannotRead(shownPath, "It is not a file.");
  if (st.st_size > FirmwareUpdate::kMaxImageBytes) CannotRead(shownPath, "It is too large.");
  std::string content;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) CannotRead(shownPath, std::strerror(errno));
    if (n == 0) break;
    content.append(buf, static_cast<size_t>(n));
    if (static_cast<int64_t>(content.size()) > FirmwareUpdate::kMaxImageBytes) {
      CannotRead(shownPath, "It is too large.");
    }
  }
  return content;
}

FirmwareUpdate::FirmwareUpdate(TvxTerminal& terminal, TvxkFiles& files, Hooks hooks,
                               OpContext context)
    : terminal_(terminal), files_(files), hooks_(std::move(hooks)), context_(std::move(context)) {}

void FirmwareUpdate::Status(const std::string& text, int style) {
  if (hooks_.status) hooks_.status(text, style);
}

void FirmwareUpdate::Sleep(int ms) {
  if (hooks_.sleep) {
    hooks_.sleep(ms);
  } else {
    SleepMs(ms);
  }
}

OpResult FirmwareUpdate::LoadDirect(const std::string& name, const std::string& image) {
  if (image.empty()) return OpResult::Fail(Reason::LocalError, "the image is empty");
  return files_.LoadFirmware(name, image, TvxkFiles::AfterLoad::ReadStatus, context_);
}

OpResult FirmwareUpdate::EnterBootLoader() {
  const Timeouts& waits = terminal_.Waits();
  TvxComms& link = terminal_.Link();
  Status("Rebooting...", kItalic);
  terminal_.IsReadyForCommands();
  terminal_.SendLine("boot");
  Sleep(waits.bootWaitMs);
  link.Close();
  for (int attempt = 0; attempt < waits.bootAttempts && !Cancelled(); ++attempt) {
    if (terminal_.IsBootLoader()) {
      Status("\r\n", kItalic);
      return OpResult::Done();
    }
    link.Close();
    Sleep(waits.bootAttemptMs);
    Status(".", kItalic);
    link.Open();
  }
  Status("FAILED", kBold);
  if (Cancelled()) return OpResult::Fail(Reason::Cancelled);
  return OpResult::Fail(Reason::TimedOut, "the device never showed its boot loader");
}

void FirmwareUpdate::WaitStage(int timeoutMs) {
  // A stage that takes longer than its time-out still gets its reply waited for, so that the
  // next stage is not paced by this one's answer; a lost link or the bound ends the wait.
  const int64_t end = TickCount() + int64_t(terminal_.Waits().stageLimitFactor) * timeoutMs;
  while (terminal_.IsOpen() && terminal_.Link().IsAlive() && !Cancelled()) {
    if (!terminal_.ReadReply(timeoutMs).empty()) return;
    if (TickCount() >= end) return;
  }
}

OpResult FirmwareUpdate::UploadBootImage(const FirmwareImage& image) {
  const Timeouts& waits = terminal_.Waits();
  Status("\r\nUpload BLF\r\n", kItalic);
  Status(image.name, kBold);
  Status(" / " + std::to_string(image.content.size()) + "\r\n", kRegular);
  terminal_.IsReadyForCommands();
  const OpResult loaded =
      files_.LoadFirmware(image.name, image.content, TvxkFiles::AfterLoad::Stages, context_);
  if (!loaded) {
    terminal_.ClearInput();
    return loaded;
  }
  Status(" load\r\n", kItalic);
  WaitStage(waits.loadStageMs);
  Status(" verify\r\n", kItalic);
  WaitStage(waits.verifyStageMs);
  Status(" burn\r\n", kItalic);
  WaitStage(waits.burnStageMs);
  terminal_.ClearInput();
  return Cancelled() ? OpResult::Fail(Reason::Cancelled) : OpResult::Done();
}

OpResult FirmwareUpdate::InstallImages(const std::vector<FirmwareImage>& images,
                                       bool bootLoaderImage) {
  OpResult outcome;
  if (images.empty()) return outcome;
  bool send = true;
  if (!terminal_.IsBootLoader()) {
    outcome = EnterBootLoader();
    send = outcome.ok();
  }
  for (size_t i = 0; send && i < images.size(); ++i) {
    if (Cancelled()) {
      outcome = OpResult::Fail(Reason::Cancelled);
      break;
    }
    UploadBootImage(images[i]);
  }
  if (bootLoaderImage && !Cancelled()) EnterBootLoader();
  // Whatever happened, the device is asked to start its firmware again.
  Status("Run firmware...", kItalic);
  terminal_.SendLine("run");
  Status("\r\n", kItalic);
  return outcome;
}

}  // namespace vxk
