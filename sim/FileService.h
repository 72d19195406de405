#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/SimFileSystem.h"

namespace vxk {

class VirtualDevice;

// Ways the file commands misbehave on purpose, for tests.
struct FileFaults {
  long stallReadAfter = -1;  // NFTYPE sends this many data bytes, then nothing more
  bool failStatus = false;   // status replies without "0:No error"
  long dropAfter = -1;       // the connection drops after this many data bytes of a transfer
  // NFWRITE answers "28:No space left on device" and its prompt after this many data bytes
  // (when the file is longer); what the tool still sends arrives as typed input.
  long refuseAfter = -1;
  bool earlyAnswer = false;  // the same as refuseAfter = 4096
  // The refusal's status line comes first, its prompt refusalGapMs later; the device takes
  // no input in between.
  bool splitRefusal = false;
  int refusalGapMs = 300;
  // NFDIR lists lines without end for as long as the host reads; the interpreter is busy
  // meanwhile.
  bool endlessListing = false;
  std::string sizeField;  // replaces the byte count of the NFTYPE header when not empty
  // Raw lines added to every listing after the real entries (names such as "..", "../x",
  // "a/b" that no real device should send).
  std::vector<std::string> extraListing;
  // Every folder lists a folder of its own name inside itself: /A holds A, which is /A again.
  bool listsItself = false;
  // NFWRITE never answers "Send file" (nor anything else).
  bool silentWrite = false;
  // NFWRITE and LOAD take all the data and then say nothing, not even a prompt.
  bool silentClose = false;
  // LOAD's closing status in place of "0:No error" when not empty.
  std::string loadStatus;
  // Replaces the name field of the NFTYPE header when not empty.
  std::string nameField;
  // NFTYPE sends this many data bytes, then nothing for kTrickleStallMs, then the rest of its
  // reply a byte every kTrickleByteMs. Input is held (not lost) meanwhile and taken after.
  long trickleAfter = -1;
  static constexpr int kTrickleStallMs = 2300;
  static constexpr int kTrickleByteMs = 12;
};

// The device's file commands (NFDIR, NFMKDIR, NFWIPEDIR, NFDEL, NFTYPE, NFWRITE, NFRENAME,
// LOAD) over a file tree. Must outlive the device it is installed on.
class FileService {
 public:
  explicit FileService(std::unique_ptr<SimFileSystem> fs);
  void Install(VirtualDevice& device);

  SimFileSystem& Files() { return *fs_; }
  FileFaults& Faults() { return faults_; }
  // The last image received by LOAD.
  const std::string& FirmwareName() const { return firmwareName_; }
  const std::string& FirmwareImage() const { return firmwareImage_; }

 private:
  std::string Resolve(const std::string& raw);
  void Status(VirtualDevice& d, SimFileSystem::Result result);
  void List(VirtualDevice& d, std::string args);
  void Type(VirtualDevice& d, std::string args);
  void Write(VirtualDevice& d, std::string args);
  void Load(VirtualDevice& d, std::string args);

  std::unique_ptr<SimFileSystem> fs_;
  FileFaults faults_;
  std::string firmwareName_;
  std::string firmwareImage_;
};

// The packed date-time of the PC's clock now.
uint32_t PackedNow();

}  // namespace vxk
