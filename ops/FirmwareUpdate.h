#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FileAccess/vxkFiles.h"
#include "comms/OpContext.h"
#include "comms/vxTerminal.h"
#include "ops/LocalFiles.h"

namespace vxk {

// One firmware image, read whole before anything is sent.
struct FirmwareImage {
  std::string name;  // file-name part, as the device is told it
  std::string content;
};

// The firmware images of a drop.
struct DroppedFirmware {
  std::vector<std::string> paths;  // last dropped first
  bool bootLoaderImage = false;    // one path names the boot loader itself
};

// Removes every path ending in ".blf" from dropped and returns them in reverse drop order;
// a path containing "bootloader" marks a boot-loader image. Letter case is folded for ASCII
// only, so other bytes of a name never match by accident.
DroppedFirmware TakeFirmwarePaths(std::vector<std::string>& dropped);

// ASCII letters lowered, every other byte kept.
std::string AsciiLower(std::string text);

// Reads a regular file whole (at most kMaxImageBytes). A folder, FIFO, device or unreadable
// file throws LocalFileError without blocking; shownPath is the name the error text uses.
std::string ReadImageFile(const std::string& path, const std::string& shownPath);

// Puts firmware on the device: directly through the running firmware's LOAD, or through the
// boot loader with its load, verify and burn stages. Runs on the caller's thread; the only
// waits are the hooks' sleeps and the terminal's bounded reads (its table). Steps are reported
// as status lines (style 0 regular, 1 bold, 2 italic); image transfers report to the context's
// progress, and its cancel flag is looked at between steps.
class FirmwareUpdate {
 public:
  enum Style { kRegular = 0, kBold = 1, kItalic = 2 };
  using StatusSink = std::function<void(const std::string& text, int style)>;

  struct Hooks {
    StatusSink status;
    std::function<void(int ms)> sleep;  // SleepMs when empty
  };

  static constexpr int64_t kMaxImageBytes = 64LL << 20;

  FirmwareUpdate(TvxTerminal& terminal, TvxkFiles& files, Hooks hooks, OpContext context = {});

  // The running firmware loads the image itself and closes with a status: done only on
  // "0:No error"; the result's detail holds the device's closing line either way. Nothing is
  // sent for an empty image.
  OpResult LoadDirect(const std::string& name, const std::string& image);
  // Restarts the device into its boot loader and reopens the link; TimedOut when it never
  // came (a stage wait: the device's boot loader is a separate product).
  OpResult EnterBootLoader();
  // Sends one image to the boot loader and waits through its stages. Fails when the boot
  // loader did not take the image; there are no stages to wait for then. The stage replies
  // pace the sequence and are not judged.
  OpResult UploadBootImage(const FirmwareImage& image);
  // The whole boot-loader sequence for already read images: into the boot loader (unless the
  // device is there), each image in order, once more into the boot loader when the images
  // hold the boot loader itself, then "run". "run" is sent whatever happened before. Nothing
  // happens without images. Fails when the boot loader never came or the user stopped it.
  OpResult InstallImages(const std::vector<FirmwareImage>& images, bool bootLoaderImage);

 private:
  void Status(const std::string& text, int style);
  void Sleep(int ms);
  bool Cancelled() const { return context_.Cancelled(); }
  void WaitStage(int timeoutMs);

  TvxTerminal& terminal_;
  TvxkFiles& files_;
  Hooks hooks_;
  OpContext context_;
};

}  // namespace vxk
