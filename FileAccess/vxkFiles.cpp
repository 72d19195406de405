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
// lets go after this many blocks (or its time in the table).
constexpr int kMaxDiscardBlocks = 65536;
// A read reserves room for the size its header announces, up to this much: growing by
// doubling would hold up to twice the file (and the old copy while it moves); a false
// header of some gigabytes must not reserve them.
constexpr int64_t kMaxReadReserve = 64 << 20;
// After a file's bytes the device ends its reply; at most this much of that end is read.
constexpr size_t kMaxReadEnd = 256;
// The device confirms an upload once it has all the data: its closing-status time after the
// last of it has left the PC. While the link still drains data to a slow device the wait goes
// on, by at most a millisecond per byte that was still queued (a line of 1000 bytes/s).
constexpr int kClosingSliceMs = 200;
constexpr int kQueuePollMs = 10;
// Device text kept as the detail of a result.
constexpr size_t kMaxDetail = 200;

std::string FileNamePartOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

// The first line of text that is such a status; empty when there is none.
std::string ErrorStatusLine(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (IsErrorStatus(line)) return line.substr(0, kMaxDetail);
    start = end + 1;
  }
  return {};
}

// Device text as a result's detail: without its line ends around it, bounded.
std::string Detail(const std::string& text) {
  const size_t start = text.find_first_not_of("\r\n ");
  if (start == std::string::npos) return {};
  const size_t end = text.find_last_not_of("\r\n ");
  return text.substr(start, std::min(end - start + 1, kMaxDetail));
}

// A reply's tail that may stand between a file's bytes and the prompt: line ends, and lines
// that report success.
bool IsHarmlessTail(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start && text.substr(start, end - start).find(kOk) == std::string::npos) return false;
    start = end + 1;
  }
  return true;
}

// A name as the device may echo it: ASCII letters lowered, "_" as blank, no leading "/".
std::string ComparableName(const std::string& name) {
  std::string out;
  size_t i = 0;
  while (i < name.size() && name[i] == '/') ++i;
  for (; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c == '_') c = ' ';
    out += c;
  }
  return out;
}

}  // namespace

// The common frame of an operation: link open, terminal lock (fileLockMs), Busy guard. Releases
// what it took on every way out, exceptions included.
class TvxkFiles::Frame {
 public:
  Frame(TvxkFiles& files, bool guardBusy) : files_(files) {
    if (!files.terminal_.IsOpen()) {
      why_ = Reason::NotOpen;
      return;
    }
    if (!files.terminal_.Lock(files.Waits().fileLockMs)) {
      why_ = Reason::LockTimeout;
      return;
    }
    locked_ = true;
    if (guardBusy) {
      if (files.busy_) {
        why_ = Reason::Busy;
        return;
      }
      files.busy_ = true;
      ownsBusy_ = true;
    }
    why_ = Reason::None;
  }
  ~Frame() {
    if (ownsBusy_) files_.busy_ = false;
    if (locked_) files_.terminal_.Unlock();
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  explicit operator bool() const { return why_ == Reason::None; }
  OpResult Failure() const { return OpResult::Fail(why_); }

 private:
  TvxkFiles& files_;
  bool locked_ = false;
  bool ownsBusy_ = false;
  Reason why_ = Reason::NotOpen;
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

bool TvxkFiles::HeaderNamesPath(const std::string& name, const std::string& path) {
  if (name.empty()) return true;
  const std::string given = ComparableName(name);
  return given == ComparableName(path) || given == ComparableName(FileNamePartOf(path));
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
  if (!terminal_.Lock(Waits().fileLockMs)) return dropped;
  const int64_t end = TickCount() + Waits().discardTotalMs;
  for (int i = 0; i < kMaxDiscardBlocks && TickCount() < end; ++i) {
    dropped += terminal_.ReadChars(16, Waits().discardByteMs);
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
  terminal_.ReadToPromptEnd(terminal_.RoundTripTime() + Waits().promptSlackMs);
  terminal_.WaitForData();
}

std::string TvxkFiles::ReadLine(int timeoutMs) {
  return terminal_.ReadUntil(kCrLf, kCrLf, timeoutMs, TvxTerminal::kMaxLine);
}

std::string TvxkFiles::ReadStatus(int timeoutMs) {
  return terminal_.ReadReply(timeoutMs);
}

void TvxkFiles::FinishExchange() {
  terminal_.ReadToPromptEnd(Waits().finishMs);
}

void TvxkFiles::ReturnToPrompt(int64_t pendingBytes, int waitMs) {
  // The rest of a stopped read is dropped for a while at most; a slow device still sending
  // after that is left to the next command's discarding.
  const int64_t drainEnd = TickCount() + Waits().drainTotalMs;
  while (pendingBytes > 0 && TickCount() < drainEnd) {
    const int n = static_cast<int>(std::min<int64_t>(kBlockSize, pendingBytes));
    if (terminal_.ReadChars(n, Waits().drainIdleMs).empty()) break;
    pendingBytes -= n;
  }
  terminal_.ReadToPromptEnd(waitMs);
  terminal_.Send(std::string(1, TvxTerminal::kEsc));
  terminal_.ReadToPromptEnd(terminal_.RoundTripTime() + Waits().promptSlackMs);
}

OpResult TvxkFiles::Silence(const std::string& what) {
  if (!terminal_.IsOpen() || !terminal_.Link().IsAlive()) return OpResult::Fail(Reason::LinkLost);
  return OpResult::Fail(Reason::TimedOut, what);
}

OpResult TvxkFiles::ListDirectory(const std::string& path, std::vector<std::string>& lines,
                                  const OpContext& context) {
  lines.clear();
  if (!IsSafeName(path, false)) return OpResult::Fail(Reason::BadName);
  Frame frame(*this, true);
  if (!frame) return frame.Failure();
  SendCommand("NFDIR @" + QuoteName(path));
  for (size_t n = 0;; ++n) {
    const std::string line = ReadLine(Waits().listLineMs);
    if (terminal_.TimedOut()) return Silence("no listing");
    if (n >= kMaxListing) return OpResult::Fail(Reason::BadReply, "no listing header");
    if (Contains(line, "Directory of")) break;
    // A folder that is not there is answered with a status instead of a listing.
    if (IsErrorStatus(line)) {
      FinishExchange();
      return OpResult::Fail(Reason::Refused, Detail(line));
    }
  }
  // Only the closing empty line makes a listing whole. One cut by a time-out or a lost link
  // keeps what came (a partial last line too) for display, but is no success: a caller that
  // copies a tree must not take a part for the whole.
  OpResult result = OpResult::Fail(Reason::LinkLost);
  while (terminal_.IsOpen()) {
    if (context.Cancelled()) {
      result = OpResult::Fail(Reason::Cancelled);
      break;
    }
    const std::string line = ReadLine(Waits().listLineMs);
    if (line.empty()) {
      result = terminal_.TimedOut() ? Silence("listing cut short") : OpResult::Done();
      break;
    }
    if (lines.size() >= kMaxListing) {
      result = OpResult::Fail(Reason::BadReply, "listing without end");
      break;
    }
    lines.push_back(line);
    context.Progress(static_cast<int64_t>(lines.size()), 0);
    if (terminal_.TimedOut()) {
      result = Silence("listing cut short");
      break;
    }
  }
  FinishExchange();
  return result;
}

OpResult TvxkFiles::StatusCommand(const std::string& command, int timeoutMs, bool guardBusy) {
  Frame frame(*this, guardBusy);
  if (!frame) return frame.Failure();
  SendCommand(command);
  const std::string reply = ReadStatus(timeoutMs);
  if (Contains(reply, kOk)) return OpResult::Done();
  const std::string status = ErrorStatusLine(reply);
  if (!status.empty()) return OpResult::Fail(Reason::Refused, status);
  if (terminal_.TimedOut()) return Silence(Detail(reply));
  return OpResult::Fail(Reason::Refused, Detail(reply));
}

OpResult TvxkFiles::MakeDirectory(const std::string& path) {
  if (!IsSafeName(path, false)) return OpResult::Fail(Reason::BadName);
  return StatusCommand("NFMKDIR " + QuoteName(path), Waits().makeDirMs, true);
}

OpResult TvxkFiles::WipeDirectory(const std::string& path) {
  if (!IsSafeName(path, false)) return OpResult::Fail(Reason::BadName);
  return StatusCommand("NFWIPEDIR " + QuoteName(path), Waits().wipeDirMs, true);
}

OpResult TvxkFiles::DeleteFile(const std::string& path) {
  if (!IsSafeName(path, false)) return OpResult::Fail(Reason::BadName);
  return StatusCommand("NFDEL " + QuoteName(path), Waits().deleteMs, true);
}

OpResult TvxkFiles::RenameFile(const std::string& path, const std::string& newName) {
  if (!IsSafeName(path, false) || !IsSafeName(newName, false))
    return OpResult::Fail(Reason::BadName);
  return StatusCommand("NFRENAME " + QuoteName(path) + " " + QuoteName(newName), Waits().renameMs,
                       false);
}

OpResult TvxkFiles::CheckReadEnd() {
  const int waitMs =
      std::max(Waits().readEndMs, terminal_.RoundTripTime() + Waits().promptSlackMs) +
      std::max(0, terminal_.Link().ExtraTime());
  const int64_t end = TickCount() + waitMs;
  std::string tail;
  while (tail.size() <= kMaxReadEnd) {
    const int64_t left = end - TickCount();
    if (left <= 0) break;
    const std::string c = terminal_.ReadChars(1, static_cast<int>(left));
    if (c.empty()) break;
    if (c[0] == TvxTerminal::kPromptStart) {
      if (IsHarmlessTail(tail)) return OpResult::Done();
      return OpResult::Fail(Reason::BadReply, "more than the announced bytes");
    }
    tail += c;
  }
  if (!IsHarmlessTail(tail))
    return OpResult::Fail(Reason::BadReply, "more than the announced bytes");
  return Silence("no prompt after the file");
}

OpResult TvxkFiles::ReadFile(const std::string& path, std::string& content,
                             const OpContext& context) {
  content.clear();
  if (!IsSafeName(path, false)) return OpResult::Fail(Reason::BadName);
  Frame frame(*this, true);
  if (!frame) return frame.Failure();
  SendCommand("NFTYPE @" + QuoteName(path));
  const std::string header = ReadLine(Waits().readHeaderMs);
  if (terminal_.TimedOut()) return Silence("no header");
  if (!Contains(header, "\t")) {
    const std::string status = ErrorStatusLine(header);
    if (status.empty()) return OpResult::Fail(Reason::BadReply, "header without size");
    FinishExchange();
    return OpResult::Fail(Reason::Refused, status);
  }
  std::string fields = header;
  // A header naming another file is the rest of an earlier reply that came late.
  if (!HeaderNamesPath(SplitTab(fields), path))
    return OpResult::Fail(Reason::BadReply, "the reply was for another file");
  int64_t total = -1;
  try {
    total = ParseReadHeader(header);
  } catch (const ConversionError&) {
  }
  if (total < 0) return OpResult::Fail(Reason::BadReply, "header without a valid size");
  content.reserve(static_cast<size_t>(std::min(total, kMaxReadReserve)));
  int64_t remaining = total;
  while (remaining > 0) {
    const int n = static_cast<int>(std::min<int64_t>(kBlockSize, remaining));
    std::string block = terminal_.ReadChars(n, Waits().readBlockMs);
    if (block.empty()) {
      // The data stalled: a failure, so nobody mistakes the cut file for the real one.
      content.clear();
      content.shrink_to_fit();
      FinishExchange();
      return Silence("the data stopped");
    }
    remaining -= n;
    context.Progress(total - remaining, total);
    content += block;
    if (remaining > 0 && context.Cancelled()) {
      content.clear();
      content.shrink_to_fit();
      ReturnToPrompt(remaining, Waits().finishMs);
      return OpResult::Fail(Reason::Cancelled);
    }
  }
  // Bytes slipped into the data (line noise, an error breaking in, a late earlier reply)
  // shift the file's own last bytes behind the count: the end shows it.
  OpResult end = CheckReadEnd();
  FinishExchange();
  if (!end) {
    content.clear();
    content.shrink_to_fit();
  }
  return end;
}

OpResult TvxkFiles::SendData(const std::string& data, const OpContext& context) {
  const int64_t total = static_cast<int64_t>(data.size());
  lastSent_ = -1;
  std::string answer;
  for (size_t pos = 0; pos < data.size(); pos += kBlockSize) {
    const size_t n = std::min(kBlockSize, data.size() - pos);
    const bool last = pos + n >= data.size();
    if (!terminal_.Send(data.substr(pos, n))) return OpResult::Fail(Reason::LinkLost);
    sentSoFar_ = static_cast<int64_t>(pos + n);
    // The device says nothing while it takes data, so any answer before the last block is a
    // refusal, even when its prompt has not come yet (an error line may arrive alone). After
    // the last block an answer is the device's regular reply.
    if (!last) {
      answer = terminal_.ReadChars(1, 0);
      if (!answer.empty()) break;
      // A socket would take the whole file at once, and then neither the progress nor Cancel
      // could follow the device: the next block waits until little is left in the queue.
      const OpResult drained = WaitForQueueBelow(kMaxQueuedBytes, total, context, answer);
      if (!drained) return drained;
      if (!answer.empty()) break;
    }
    ReportSent(static_cast<int64_t>(pos + n), total, context);
    if (!last && context.Cancelled()) {
      ReturnToPrompt(0, Waits().abandonedWriteMs);
      return OpResult::Fail(Reason::Cancelled);
    }
  }
  if (answer.empty()) return OpResult::Done();
  // The rest of the refusal up to its prompt is not the next command's reply. An answer
  // without an error status is no refusal but line noise: the device is still taking the data
  // and would take the next command for the rest of them, so its prompt is awaited.
  answer += terminal_.ReadToPromptEnd(Waits().finishMs);
  answer += DiscardInput();
  const std::string status = ErrorStatusLine(answer);
  if (!status.empty()) return OpResult::Fail(Reason::Refused, status);
  if (terminal_.IsOpen()) terminal_.ReadToPromptEnd(Waits().abandonedWriteMs);
  if (!terminal_.IsOpen() || !terminal_.Link().IsAlive()) return OpResult::Fail(Reason::LinkLost);
  return OpResult::Fail(Reason::BadReply, "the device broke in during the upload");
}

OpResult TvxkFiles::WaitForQueueBelow(size_t limit, int64_t total, const OpContext& context,
                                      std::string& answer) {
  size_t queued = terminal_.Link().PendingOutput();
  const int stallMs = Waits().closingStatusMs;
  int64_t stallEnd = TickCount() + stallMs;
  while (queued > limit && !context.Cancelled()) {
    // The pause doubles as a look for the device's answer: a refusal stops the upload.
    answer = terminal_.ReadChars(1, kQueuePollMs);
    if (!answer.empty()) return OpResult::Done();
    if (!terminal_.IsOpen() || !terminal_.Link().IsAlive()) return OpResult::Fail(Reason::LinkLost);
    const size_t now = terminal_.Link().PendingOutput();
    if (now < queued) stallEnd = TickCount() + stallMs;
    if (TickCount() >= stallEnd) return Silence("the device took no data");
    queued = now;
    ReportSent(sentSoFar_, total, context);
  }
  return OpResult::Done();
}

// Bytes count as sent once they have left this machine's queue for the link: a socket takes a
// whole file at once, long before the device has it.
void TvxkFiles::ReportSent(int64_t handed, int64_t total, const OpContext& context) {
  const int64_t queued = static_cast<int64_t>(terminal_.Link().PendingOutput());
  const int64_t sent = handed - std::min(handed, queued);
  if (sent == lastSent_) return;
  lastSent_ = sent;
  context.Progress(sent, total);
}

OpResult TvxkFiles::ReadClosingStatus(int64_t total, const OpContext& context) {
  size_t queued = terminal_.Link().PendingOutput();
  const int closingMs = Waits().closingStatusMs;
  const int64_t cap = TickCount() + closingMs + static_cast<int64_t>(queued);
  int64_t end = TickCount() + closingMs + std::max(0, terminal_.Link().ExtraTime());
  std::string line;
  std::string seen;
  while (seen.size() < TvxTerminal::kMaxLine) {
    const int64_t now = TickCount();
    const size_t nowQueued = terminal_.Link().PendingOutput();
    if (nowQueued < queued) {
      end = std::min(cap, std::max(end, now + closingMs));
      ReportSent(total, total, context);
    }
    queued = nowQueued;
    if (now >= end) break;
    const std::string c =
        terminal_.ReadChars(1, static_cast<int>(std::min<int64_t>(kClosingSliceMs, end - now)));
    if (c.empty()) {
      if (!terminal_.IsOpen() || !terminal_.Link().IsAlive()) break;
      continue;
    }
    if (c[0] == TvxTerminal::kPromptStart) break;
    seen += c;
    if (c[0] != '\n' && c[0] != '\r') {
      line += c;
      continue;
    }
    if (Contains(line, kOk)) {
      if (lastSent_ != total) context.Progress(total, total);
      return OpResult{Reason::None, Detail(line)};
    }
    if (IsErrorStatus(line)) return OpResult::Fail(Reason::Refused, Detail(line));
    line.clear();
  }
  if (Contains(line, kOk)) return OpResult{Reason::None, Detail(line)};
  if (IsErrorStatus(line)) return OpResult::Fail(Reason::Refused, Detail(line));
  if (!Detail(seen).empty()) return OpResult::Fail(Reason::BadReply, Detail(seen));
  return Silence("no confirmation from the device");
}

OpResult TvxkFiles::WriteFile(const std::string& path, const std::string& content,
                              TDateTime timeStamp, const OpContext& context) {
  if (!IsSafeName(path, true)) return OpResult::Fail(Reason::BadName);
  Frame frame(*this, true);
  if (!frame) return frame.Failure();
  std::string command = "NFWRITE " + QuoteName(path) + "\t" + std::to_string(content.size());
  if (timeStamp != 0) command += "\t" + std::to_string(DateTimeToDosTime(timeStamp));
  command += "\tw";
  SendCommand(command);
  // A go-ahead cut short by the time-out is none: by then the device has stopped waiting for
  // the data, and would take it as typed input.
  const std::string goAhead = ReadLine(Waits().goAheadMs);
  const bool cut = terminal_.TimedOut();
  if (!Contains(goAhead, kSendFile) || cut) {
    // A whole go-ahead that came behind line noise, though, left the device taking data:
    // until it gives up on them with its prompt, whatever goes out next, a retry included,
    // would become the file's content. So that prompt is awaited here.
    const std::string seen = goAhead + DiscardInput();
    const size_t go = seen.rfind(kSendFile);
    if (!cut && go != std::string::npos &&
        seen.find(TvxTerminal::kPromptEnd, go) == std::string::npos)
      terminal_.ReadToPromptEnd(Waits().abandonedWriteMs);
    const std::string status = ErrorStatusLine(goAhead);
    if (!status.empty()) return OpResult::Fail(Reason::Refused, status);
    if (cut) return Silence("no go-ahead");
    return OpResult::Fail(Reason::BadReply, "no go-ahead: " + Detail(goAhead));
  }
  const OpResult sent = SendData(content, context);
  if (!sent) return sent;
  // Only the device's closing status tells that the file was stored: silence is no success.
  const OpResult closing = ReadClosingStatus(static_cast<int64_t>(content.size()), context);
  FinishExchange();
  return closing;
}

OpResult TvxkFiles::LoadFirmware(const std::string& fileName, const std::string& image,
                                 AfterLoad after, const OpContext& context) {
  if (!IsSafeName(fileName, false)) return OpResult::Fail(Reason::BadName);
  Frame frame(*this, true);
  if (!frame) return frame.Failure();
  SendCommand("LOAD " + std::to_string(image.size()) + " " + fileName);
  const std::string goAhead = ReadLine(Waits().goAheadMs);
  if (terminal_.TimedOut()) return Silence("no go-ahead");
  if (!Contains(goAhead, kSendFile)) {
    const std::string status = ErrorStatusLine(goAhead);
    if (!status.empty()) return OpResult::Fail(Reason::Refused, status);
    return OpResult::Fail(Reason::BadReply, "no go-ahead: " + Detail(goAhead));
  }
  const OpResult sent = SendData(image, context);
  if (!sent) return sent;
  if (after == AfterLoad::Stages) {
    // The boot loader's stage lines tell the rest; the image is all handed over.
    if (lastSent_ != static_cast<int64_t>(image.size()))
      context.Progress(static_cast<int64_t>(image.size()), static_cast<int64_t>(image.size()));
    FinishExchange();
    return OpResult::Done();
  }
  OpResult closing = ReadClosingStatus(static_cast<int64_t>(image.size()), context);
  FinishExchange();
  return closing;
}

}  // namespace vxk
