#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FileAccess/DateTime.h"
#include "comms/OpContext.h"
#include "comms/OpResult.h"
#include "comms/vxTerminal.h"

namespace vxk {

// One line of a directory listing, parsed.
struct TDirEntry {
  std::string name;
  int64_t size = 0;
  int attributes = 0;
  TDateTime time1 = 0;  // the time the tool shows and archives
  TDateTime time2 = 0;
  TDateTime time3 = 0;
};

// The device's file commands over the terminal engine. Each operation is one exchange run as
// a unit under the terminal lock; failures are results with a reason (a device's error status
// carries its text). A listing line is parsed by the caller (ParseEntry may throw). The waits
// are the terminal's table.
//
// Transfers report each block to the context's progress and look at its cancel flag after
// each block: a stopped transfer fails as Cancelled, with the device brought back to its
// prompt first (the rest of a read is taken and dropped, a write waits for the device to give
// up on the missing data).
class TvxkFiles {
 public:
  static constexpr int kAttrReadOnly = 0x01;
  static constexpr int kAttrHidden = 0x02;
  static constexpr int kAttrDirectory = 0x10;
  static constexpr int kAttrArchive = 0x20;
  static constexpr size_t kBlockSize = 4096;
  // Most upload bytes left waiting in this machine's queue for the link.
  static constexpr size_t kMaxQueuedBytes = 16384;
  // A listing longer than this is taken as a device that never ends it.
  static constexpr size_t kMaxListing = 65536;

  // terminal is not owned and must outlive this object.
  explicit TvxkFiles(TvxTerminal& terminal);

  bool QuoteNames = false;
  bool Busy() const { return busy_; }

  // What follows a firmware image: the running firmware closes LOAD with a status, which is
  // read and judged; the boot loader goes on with its stages, which the caller waits for.
  enum class AfterLoad { ReadStatus, Stages };

  // The lines collected are kept after a failure too (for display): only a listing that ended
  // with its empty line is a success.
  OpResult ListDirectory(const std::string& path, std::vector<std::string>& lines,
                         const OpContext& context = {});
  OpResult MakeDirectory(const std::string& path);
  OpResult WipeDirectory(const std::string& path);
  OpResult DeleteFile(const std::string& path);
  OpResult RenameFile(const std::string& path, const std::string& newName);
  // Content is the whole file or, on any failure, empty: a reply is taken only when its header
  // names this file and nothing but line ends (or "0:No error") follows the announced bytes.
  OpResult ReadFile(const std::string& path, std::string& content, const OpContext& context = {});
  // Done only when the device confirmed with "0:No error" after the data. timeStamp 0 sends
  // no time stamp.
  OpResult WriteFile(const std::string& path, const std::string& content, TDateTime timeStamp = 0,
                     const OpContext& context = {});
  // With ReadStatus the result's detail holds the device's closing line, success or not.
  OpResult LoadFirmware(const std::string& fileName, const std::string& image,
                        AfterLoad after = AfterLoad::Stages, const OpContext& context = {});

  // Splits a listing line; throws ConversionError for a bad size or attribute field.
  static TDirEntry ParseEntry(const std::string& line);
  // As ParseEntry, false instead of the exception.
  static bool TryParseEntry(const std::string& line, TDirEntry& entry);
  static std::string AttributeText(int attributes);
  // The byte count of ReadFile's header line (name TAB size ...); -1 for a line without a
  // TAB or with a negative size. Throws ConversionError for a size that is not a number.
  static int64_t ParseReadHeader(std::string header);
  // Whether the name field of a read header belongs to path: empty (nothing to compare),
  // the path itself or its last component, letter case and "_" for blank aside.
  static bool HeaderNamesPath(const std::string& name, const std::string& path);
  std::string QuoteName(const std::string& path) const;

 private:
  class Frame;

  void SendCommand(const std::string& command);
  // Drops what the device has sent so far and returns it.
  std::string DiscardInput();
  std::string ReadLine(int timeoutMs);
  std::string ReadStatus(int timeoutMs);
  void FinishExchange();
  // After a stopped transfer: drops up to pendingBytes of unread data, waits up to waitMs for
  // the prompt, then sends ESC and takes the prompt it brings.
  void ReturnToPrompt(int64_t pendingBytes, int waitMs);
  OpResult StatusCommand(const std::string& command, int timeoutMs, bool guardBusy);
  // A failed read: TimedOut, or LinkLost when the link went down meanwhile.
  OpResult Silence(const std::string& what);
  // After a file's announced bytes, the rest of the reply up to the prompt.
  OpResult CheckReadEnd();
  // The device's status after an upload, waited for while the link still drains the data.
  OpResult ReadClosingStatus(int64_t total, const OpContext& context);
  void ReportSent(int64_t handed, int64_t total, const OpContext& context);
  OpResult WaitForQueueBelow(size_t limit, int64_t total, const OpContext& context,
                             std::string& answer);
  int64_t lastSent_ = -1;  // the last progress of the running upload
  int64_t sentSoFar_ = 0;  // bytes of it handed to the link
  // Sends an upload's data in blocks with progress; stops when the user cancels or the device
  // breaks in, and leaves the device at its prompt then.
  OpResult SendData(const std::string& data, const OpContext& context);
  const Timeouts& Waits() const { return terminal_.Waits(); }

  TvxTerminal& terminal_;
  bool busy_ = false;
};

}  // namespace vxk
