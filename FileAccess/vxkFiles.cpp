#include "FileAccess/vxkFiles.h"

#include <algorithm>

#include "FileAccess/ConversionError.h"
#include "FileAccess/DosTime.h"
#include "comms/Ticks.h"

namespace vxk {
namespace {

const std::string kCrLf = "\r\n";
const std::string kOk = "0:No error";
const std::string kSendFile = "Send file";
// DiscardInput reads 16-byte blocks until the device is quiet; a device that never is still
// lets go after this many blocks or this long.
constexpr int kMaxDiscardBlocks = 65536;
constexpr int kMaxDiscardMs = 2000;
// A stopped transfer: the longest pause in the unread rest of a read, and how long a device
// that waits for the rest of a write may take to give up on it.
constexpr int kDrainIdleMs = 500;
constexpr int kAbandonedWriteMs = 10000;
// The rest of a stopped read is dropped for at most this long; a slow device still sending
// after that is left to the next command's discarding.
constexpr int kDrainTotalMs = 3000;
// A read reserves room for the size its header announces, up to this much: growing by
// doubling would hold up to twice the file (and the old copy while it moves); a false
// header of some gigabytes must not reserve them.
constexpr int64_t kMaxReadReserve = 64 << 20;

// Bytes that would end or split a device command line if they stood in a name: CR and LF end
// it, ESC abandons it, NUL cuts it, a double quote ends a quoted name.
bool IsSafeName(const std::string& name, bool tabFields) {
  for (const char c : name) {
    if (c == '\r' || c == '\n' || c == '\x1B' || c == '\0' || c == '"') return false;
    if (tabFields && c == '\t') return false;
  }
  return true;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A status line of the device's "code:text" form with a code other than 0.
bool IsErrorStatus(const std::string& line) {
  const size_t colon = line.find(':');
  if (colon == 0 || colon == std::string::npos) return false;
  for (size_t i = 0; i < colon; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  return line.find_first_not_of('0') < colon;
}

// Whether any line of text is such a status.
bool HasErrorStatusLine(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (IsErrorStatus(text.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

// The common frame of an operation: link open, terminal lock (1000 ms), Busy guard. Releases
// what it took on every way out, exceptions included.
class TvxkFiles::Frame {
 public:
  Frame(TvxkFiles& files, bool guardBusy) : files_(files) {
    if (!files.terminal_.IsOpen()) return;
    if (!files.terminal_.Lock(1000)) return;
    locked_ = true;
    if (guardBusy) {
      if (files.busy_) return;
      files.busy_ = true;
      ownsBusy_ = true;
    }
    ok_ = true;
  }
  ~Frame() {
    if (ownsBusy_) files_.busy_ = false;
    if (locked_) files_.terminal_.Unlock();
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  explicit operator bool() const { return ok_; }

 private:
  TvxkFiles& files_;
  bool locked_ = false;
  bool ownsBusy_ = false;
  bool ok_ = false;
};

TvxkFiles::TvxkFiles(TvxTerminal& terminal) : terminal_(terminal) {}

std::string TvxkFiles::QuoteName(const std::string& path) const {
  if (QuoteNames) return "\"" + path + "\"";
  std::string text = path;
  std::replace(text.begin(), text.end(), ' ', '_');
  return text;
}

std::string TvxkFiles::AttributeText(int attributes) {
  if (attributes & kAttrDirectory) return "<DIR>";
  std::string text;
  if (attributes & kAttrArchive) text += 'A';
  if (attributes & kAttrReadOnly) text += 'R';
  if (attributes & kAttrHidden) text += 'H';
  return text;
}

TDirEntry TvxkFiles::ParseEntry(const std::string& line) {
  std::string rest = line;
  TDirEntry entry;
  entry.name = SplitTab(rest);
  entry.size = DecimalToInt64(SplitTab(rest));
  entry.attributes = static_cast<int>(DecimalToInt64(SplitTab(rest)) & 0xFF);
  entry.time1 = DosTimeToDateTime(SplitTab(rest));
  entry.time2 = DosTimeToDateTime(SplitTab(rest));
  entry.time3 = DosTimeToDateTime(SplitTab(rest));
  return entry;
}

bool TvxkFiles::TryParseEntry(const std::string& line, TDirEntry& entry) {
  try {
    entry = ParseEntry(line);
    return true;
  } catch (const ConversionError&) {
    return false;
  }
}

int64_t TvxkFiles::ParseReadHeader(std::string header) {
  if (!Contains(header, "\t")) return -1;
  SplitTab(header);
  const int64_t total = DecimalToInt64(SplitTab(header));
  // A negative size is a malformed reply, not an empty file.
  return total < 0 ? -1 : total;
}

std::string TvxkFiles::DiscardInput() {
  std::string dropped;
  if (!terminal_.Lock(1000)) return dropped;
  const int64_t end = TickCount() + kMaxDiscardMs;
  for (int i = 0; i < kMaxDiscardBlocks && TickCount() < end; ++i) {
    dropped += terminal_.ReadChars(16, 20);
    if (terminal_.TimedOut()) break;
  }
  // The bytes of a last, incomplete block would otherwise be read as the next command's reply.
  for (int i = 0; i < 16; ++i) {
    const std::string byte = terminal_.ReadChars(1, 0);
    if (byte.empty()) break;
    dropped += byte;
  }
  terminal_.Unlock();
  return dropped;
}

void TvxkFiles::SendCommand(const std::string& command) {
  DiscardInput();
  terminal_.SendLine(std::string(1, TvxTerminal::kEsc) + command);
  terminal_.ReadToPromptEnd(terminal_.RoundTripTime() + 250);
  terminal_.WaitForData();
}

std::string TvxkFiles::ReadLine(int timeoutMs) {
  return terminal_.ReadUntil(kCrLf, kCrLf, timeoutMs, TvxTerminal::kMaxLine);
}

std::string TvxkFiles::ReadStatus(int timeoutMs) {
  return terminal_.ReadReply(timeoutMs);
}

void TvxkFiles::FinishExchange() {
  terminal_.ReadToPromptEnd(100);
}

void TvxkFiles::ReturnToPrompt(int64_t pendingBytes, int waitMs) {
  const int64_t drainEnd = TickCount() + kDrainTotalMs;
  while (pendingBytes > 0 && TickCount() < drainEnd) {
    const int n = static_cast<int>(std::min<int64_t>(kBlockSize, pendingBytes));
    if (terminal_.ReadChars(n, kDrainIdleMs).empty()) break;
    pendingBytes -= n;
  }
  terminal_.ReadToPromptEnd(waitMs);
  terminal_.Send(std::string(1, TvxTerminal::kEsc));
  terminal_.ReadToPromptEnd(terminal_.RoundTripTime() + 250);
}

void TvxkFiles::Progress(int64_t position, int64_t total) {
  if (OnProgress) OnProgress(*this, position, total);
}

void TvxkFiles::Done() {
  if (OnDone) OnDone(*this);
}

bool TvxkFiles::ListDirectory(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  if (!IsSafeName(path, false)) return false;
  Frame frame(*this, true);
  if (!frame) return false;
  SendCommand("NFDIR @" + QuoteName(path));
  for (size_t n = 0;; ++n) {
    const std::string line = ReadLine(1000);
    if (terminal_.TimedOut() || n >= kMaxListing) return false;
    if (Contains(line, "Directory of")) break;
  }
  // Only the closing empty line makes a listing whole. One cut by a time-out or a lost link
  // keeps what came (a partial last line too) for display, but is no success: a caller that
  // copies a tree must not take a part for the whole.
  bool complete = false;
  while (terminal_.IsOpen()) {
    const std::string line = ReadLine(1000);
    if (line.empty()) {
      complete = !terminal_.TimedOut();
      break;
    }
    if (lines.size() >= kMaxListing) break;
    lines.push_back(line);
    if (terminal_.TimedOut()) break;
  }
  FinishExchange();
  return complete;
}

bool TvxkFiles::StatusCommand(const std::string& command, int timeoutMs, bool guardBusy) {
  Frame frame(*this, guardBusy);
  if (!frame) return false;
  SendCommand(command);
  return Contains(ReadStatus(timeoutMs), kOk);
}

bool TvxkFiles::MakeDirectory(const std::string& path) {
  if (!IsSafeName(path, false)) return false;
  return StatusCommand("NFMKDIR " + QuoteName(path), 2000, true);
}

bool TvxkFiles::WipeDirectory(const std::string& path) {
  if (!IsSafeName(path, false)) return false;
  return StatusCommand("NFWIPEDIR " + QuoteName(path), 20000, true);
}

bool TvxkFiles::DeleteFile(const std::string& path) {
  if (!IsSafeName(path, false)) return false;
  return StatusCommand("NFDEL " + QuoteName(path), 20000, true);
}

bool TvxkFiles::RenameFile(const std::string& path, const std::string& newName) {
  if (!IsSafeName(path, false) || !IsSafeName(newName, false)) return false;
  return StatusCommand("NFRENAME " + QuoteName(path) + " " + QuoteName(newName), 1000, false);
}

bool TvxkFiles::ReadFile(const std::string& path, std::string& content) {
  content.clear();
  if (!IsSafeName(path, false)) return false;
  Frame frame(*this, true);
  if (!frame) return false;
  SendCommand("NFTYPE @" + QuoteName(path));
  const int64_t total = ParseReadHeader(ReadLine(8000));
  if (total < 0) return false;
  content.reserve(static_cast<size_t>(std::min(total, kMaxReadReserve)));
  bool complete = true;
  int64_t remaining = total;
  while (remaining > 0) {
    const int n = static_cast<int>(std::min<int64_t>(kBlockSize, remaining));
    std::string block = terminal_.ReadChars(n, 2000);
    if (block.empty()) {
      // The data stalled: report failure, so nobody mistakes the cut file for the real one.
      complete = false;
      content.clear();
      break;
    }
    remaining -= n;
    Progress(total - remaining, total);
    content += block;
    if (remaining > 0 && IsCancelled()) {
      content.clear();
      Done();
      ReturnToPrompt(remaining, 100);
      return false;
    }
  }
  Done();
  FinishExchange();
  return complete;
}

bool TvxkFiles::SendBlocks(const std::string& data, const std::function<bool()>& earlyAnswer) {
  const int64_t total = static_cast<int64_t>(data.size());
  for (size_t pos = 0; pos < data.size(); pos += kBlockSize) {
    const size_t n = std::min(kBlockSize, data.size() - pos);
    if (!terminal_.Send(data.substr(pos, n))) return false;
    // After the last block an answer is the device's regular reply, not a refusal.
    if (pos + n < data.size() && earlyAnswer()) return false;
    Progress(static_cast<int64_t>(pos + n), total);
    if (pos + n < data.size() && IsCancelled()) {
      cancelledSend_ = true;
      return false;
    }
  }
  return true;
}

bool TvxkFiles::WriteFile(const std::string& path, const std::string& content,
                          TDateTime timeStamp) {
  if (!IsSafeName(path, true)) return false;
  Frame frame(*this, true);
  if (!frame) return false;
  std::string command = "NFWRITE " + QuoteName(path) + "\t" + std::to_string(content.size());
  if (timeStamp != 0) command += "\t" + std::to_string(DateTimeToDosTime(timeStamp));
  command += "\tw";
  SendCommand(command);
  // A go-ahead cut short by the time-out is none: by then the device has stopped waiting for
  // the data, and would take it as typed input.
  const std::string goAhead = ReadLine(8000);
  const bool cut = terminal_.TimedOut();
  if (!Contains(goAhead, kSendFile) || cut) {
    // A whole go-ahead that came behind line noise, though, left the device taking data:
    // until it gives up on them with its prompt, whatever goes out next, a retry included,
    // would become the file's content. So that prompt is awaited here.
    const std::string seen = goAhead + DiscardInput();
    const size_t go = seen.rfind(kSendFile);
    if (!cut && go != std::string::npos &&
        seen.find(TvxTerminal::kPromptEnd, go) == std::string::npos)
      terminal_.ReadToPromptEnd(kAbandonedWriteMs);
    return false;
  }
  // The device says nothing while it takes data, so any answer before the last block is a
  // refusal, even when its prompt has not come yet (an error line may arrive alone).
  std::string answer;
  const bool ok = SendBlocks(content, [&] {
    answer = terminal_.ReadChars(1, 0);
    return !answer.empty();
  });
  Done();
  if (cancelledSend_) {
    cancelledSend_ = false;
    ReturnToPrompt(0, kAbandonedWriteMs);
    return false;
  }
  if (!ok) {
    // The rest of the refusal up to its prompt is not the next command's reply. An answer
    // without an error status is no refusal but line noise: the device is still taking the
    // data and would take the next command for the rest of them, so its prompt is awaited.
    answer += terminal_.ReadToPromptEnd(100);
    answer += DiscardInput();
    if (terminal_.IsOpen() && !HasErrorStatusLine(answer))
      terminal_.ReadToPromptEnd(kAbandonedWriteMs);
    return false;
  }
  // The device's closing line. An error status there, or a connection the device dropped,
  // means the file was not stored, however well the sends went.
  const bool refused = IsErrorStatus(ReadLine(1000));
  FinishExchange();
  return ok && !refused && terminal_.Link().IsAlive();
}

bool TvxkFiles::LoadFirmware(const std::string& fileName, const std::string& image) {
  if (!IsSafeName(fileName, false)) return false;
  Frame frame(*this, true);
  if (!frame) return false;
  SendCommand("LOAD " + std::to_string(image.size()) + " " + fileName);
  if (!Contains(ReadLine(8000), kSendFile) || terminal_.TimedOut()) return false;
  const bool ok = SendBlocks(image, [this] { return !terminal_.ReadChars(1, 0).empty(); });
  Done();
  if (cancelledSend_) {
    cancelledSend_ = false;
    ReturnToPrompt(0, kAbandonedWriteMs);
    return false;
  }
  FinishExchange();
  return ok;
}

}  // namespace vxk
