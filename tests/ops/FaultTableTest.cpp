// Faults of the device's stream at every step of the file and LCD operations: no false
// success, no local file touched by a failed transfer, a bounded wait, and the next
// operation works.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "FileAccess/ConversionError.h"
#include "comms/Ticks.h"
#include "ops/DiagArchive.h"
#include "ops/LcdSnapshot.h"
#include "ops/LocalFiles.h"
#include "ops/TreeSaver.h"
#include "ops/Upload.h"
#include "sim/HidRig.h"

using namespace vxk;
namespace fs = std::filesystem;
using Kind = StreamFault::Kind;

namespace {

enum class Op {
  ReadFile,
  WriteFile,
  ListDirectory,
  SaveToPc,
  EditSave,
  UploadDrop,
  LcdFetch,
  DiagArchive
};

const char* OpName(Op op) {
  switch (op) {
    case Op::ReadFile:
      return "ReadFile";
    case Op::WriteFile:
      return "WriteFile";
    case Op::ListDirectory:
      return "ListDirectory";
    case Op::SaveToPc:
      return "SaveToPc";
    case Op::EditSave:
      return "EditSave";
    case Op::UploadDrop:
      return "UploadDrop";
    case Op::LcdFetch:
      return "LcdFetch";
    case Op::DiagArchive:
      return "DiagArchive";
  }
  return "?";
}

// The tool's waits shrunk to a quarter (none below 400 ms), and the device's own receive
// time-out with them, so that every fault at every step runs in a few minutes.
const Timeouts kWaits = Timeouts().Scaled(0.25, 400);
constexpr int kDeviceReceiveMs = 500;

// The longest a failed operation may take: the sum of its own waits on one faulty exchange
// plus the 1 s the window is allowed beyond them.
int BudgetMs(Op op) {
  const Timeouts& w = kWaits;
  const int slack = 1000;
  const int read = w.readHeaderMs + 2 * w.readBlockMs + w.readEndMs;
  const int write =
      w.goAheadMs + std::max(w.closingStatusMs, w.abandonedWriteMs) + kDeviceReceiveMs;
  switch (op) {
    case Op::ReadFile:
    case Op::SaveToPc:
      return read + slack;
    case Op::WriteFile:
    case Op::UploadDrop:
      return write + slack;
    case Op::ListDirectory:
      return 2 * w.listLineMs + w.discardTotalMs + slack;
    case Op::EditSave:
      return read + write + slack;
    case Op::LcdFetch:
      return w.flushTotalMs + w.lcdHeaderMs + w.lcdPixelsMs + slack;
    case Op::DiagArchive:
      // A stalled report holds up the listing after it.
      return w.reportReplyMs + 2 * w.listLineMs + w.readHeaderMs + w.readBlockMs + w.readEndMs +
             slack;
  }
  return 0;
}

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 7)) & 0xFF);
  return s;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An archive as Python's zipfile (no code shared with libzip) reads it back: whether every
// entry's CRC holds, the entry names, and the content of one entry written to a file.
constexpr const char* kZipCheck = R"(import sys, zipfile
try:
    z = zipfile.ZipFile(sys.argv[1])
    bad = z.testzip()
    names = z.namelist()
    if sys.argv[2] in names: open(sys.argv[3], 'wb').write(z.read(sys.argv[2]))
    print('valid' if bad is None else 'crc', *names)
except Exception:
    print('unreadable')
)";

struct ZipCheck {
  bool valid = false;
  std::set<std::string> names;
  std::string entry;  // the content of the entry asked for, when there is one
};

ZipCheck CheckZip(const std::string& dir, const std::string& zip, const std::string& entry) {
  const std::string script = dir + "/zipcheck.py";
  const std::string out = dir + "/entry.bin";
  if (!fs::exists(script)) std::ofstream(script) << kZipCheck;
  fs::remove(out);
  std::string text;
  if (FILE* p =
          ::popen(("python3 " + script + " '" + zip + "' '" + entry + "' " + out).c_str(), "r")) {
    char buf[1024];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    ::pclose(p);
  }
  ZipCheck check;
  std::istringstream words(text);
  std::string word;
  words >> word;
  check.valid = word == "valid";
  while (words >> word) check.names.insert(word);
  if (check.names.count(entry)) check.entry = Slurp(out);
  return check;
}

class FaultTable : public ::testing::TestWithParam<Op> {
 protected:
  void SetUp() override {
    char name[] = "/tmp/vxkfault.XXXXXX";
    local_ = ::mkdtemp(name);
    rig_.link.SetRoundTripTime(20);
    rig_.link.SetExtraTime(20);
    ASSERT_TRUE(rig_.link.Open());
    terminal_ = std::make_unique<TvxTerminal>(rig_.link);
    terminal_->SetWaits(kWaits);
    files_ = std::make_unique<TvxkFiles>(*terminal_);
    files_->QuoteNames = true;
    rig_.backend.WithDevice([](VirtualDevice& d) { d.SetReceiveTimeout(kDeviceReceiveMs); });
    Device([](SimFileSystem& f) { f.MakeDirectory("/T", 0); });
  }
  void TearDown() override { fs::remove_all(local_); }

  void Device(const std::function<void(SimFileSystem&)>& fn) {
    rig_.backend.WithDevice([&](VirtualDevice&) { fn(rig_.sim.Files().Files()); });
  }
  void Arm(const StreamFault& fault) {
    rig_.backend.WithDevice([&](VirtualDevice& d) { d.InjectFault(fault); });
  }
  std::string DeviceFile(const std::string& path) {
    std::string out = "<none>";
    Device([&](SimFileSystem& f) {
      if (const auto* node = f.Find(path)) out = node->data;
    });
    return out;
  }

  // The state every run starts from: the device's files and a local copy that is old.
  void Reset() {
    Device([&](SimFileSystem& f) {
      f.WriteFile("/T/data.bin", oldData_, 0);
      f.Delete("/T/new.bin");
    });
    std::ofstream(local_ + "/data.bin", std::ios::binary | std::ios::trunc) << "old local";
    std::ofstream(local_ + "/drop.bin", std::ios::binary | std::ios::trunc) << newData_;
    std::ofstream(local_ + "/diag.zip", std::ios::binary | std::ios::trunc) << "old archive";
  }

  // Runs the operation; checks what must hold whatever the fault: a success is a true one,
  // byte for byte (bytes slipped into file data show at the reply's end), and nothing local
  // is changed by a failure.
  bool Run(Op op, bool garbled, std::string& why) {
    switch (op) {
      case Op::ReadFile: {
        std::string content;
        const bool ok = files_->ReadFile("/T/data.bin", content).ok();
        if (ok && content != oldData_) {
          why = "read reported whole but differs";
          size_t d = 0;
          while (d < content.size() && content[d] == oldData_[d]) ++d;
          std::cout << "size " << content.size() << " first difference at " << d << "\n";
        }
        return ok;
      }
      case Op::WriteFile:
      case Op::UploadDrop: {
        const std::string content =
            op == Op::UploadDrop ? PrepareUpload(local_ + "/drop.bin").content : newData_;
        const bool ok = files_->WriteFile("/T/new.bin", content).ok();
        if (ok && DeviceFile("/T/new.bin") != newData_) why = "write reported done, file wrong";
        return ok;
      }
      case Op::ListDirectory: {
        std::vector<std::string> lines;
        const bool ok = files_->ListDirectory("/T", lines).ok();
        for (const std::string& line : lines) {
          TDirEntry e;
          if (ok && !garbled &&
              (!TvxkFiles::TryParseEntry(line, e) ||
               (e.name != "data.bin" && e.name != "." && e.name != "..")))
            why = "listing holds a line the device did not send: " + line;
        }
        return ok;
      }
      case Op::SaveToPc: {
        TreeSaver saver(*terminal_, *files_);
        const auto r = saver.SaveEntries(local_, "/T", {"data.bin\t9000\t32\t0\t0\t0"});
        const std::string now = Slurp(local_ + "/data.bin");
        if (now != "old local" && now != oldData_) why = "local file damaged";
        if (r.saved == 0 && now != "old local") why = "local file changed by a failed save";
        return r.saved == 1 && r.result.ok();
      }
      case Op::EditSave: {
        std::string content;
        if (!files_->ReadFile("/T/data.bin", content)) return false;
        content[0] = static_cast<char>(content[0] ^ 1);
        const bool ok = files_->WriteFile("/T/data.bin", content).ok();
        if (ok && DeviceFile("/T/data.bin") != content) why = "save reported done, file wrong";
        return ok;
      }
      case Op::LcdFetch: {
        const LcdFetchResult r = FetchLcdSnapshot(*terminal_);
        // A cut pixel text is shown with the missing pixels unlit, so only the size is sure.
        if (r.ok() && (r.snapshot.width != 128 || r.snapshot.height != 64))
          why = "picture of the wrong size";
        return r.ok();
      }
      case Op::DiagArchive: {
        // A device fault leaves entries out but never fails the archive; a listing line that
        // cannot be read fails it and keeps the file that was there.
        DiagRequest request;
        request.path = local_ + "/diag.zip";
        request.info = "info";
        request.folders = {"/T"};
        request.panes = {{"ui.terminal.txt", "pane"}};
        const bool written = DiagArchive(*terminal_, *files_).Save(request).result.ok();
        const std::string entry = "vx.keeper//T/data.bin";
        if (!written) {
          if (Slurp(request.path) != "old archive") why = "failed archive changed the old file";
          note_ = "refused";
          return false;
        }
        const ZipCheck zip = CheckZip(local_, request.path, entry);
        if (!zip.valid || !zip.names.count("ui.info.txt") || !zip.names.count("ui.terminal.txt")) {
          why = "archive reported written but incomplete or unreadable";
        } else if (zip.names.count(entry) && zip.entry != oldData_) {
          why = "archived device file differs";
        }
        if (!zip.names.count(entry)) note_ = "part";  // written without the device file
        return zip.names.count(entry) > 0;
      }
    }
    return false;
  }

  // After a fault: the device well again (back on the bus after a drop), the next operation
  // must work at once.
  void Recover() {
    Arm(StreamFault{});
    rig_.backend.Plug();
    if (!rig_.link.IsAlive()) {
      rig_.link.Close();
      const int64_t end = TickCount() + 3000;
      while (!rig_.link.Open() && TickCount() < end) usleep(10000);
    }
  }

  const std::string oldData_ = Pattern(9000, 1);
  const std::string newData_ = Pattern(9000, 2);
  std::string local_;
  HidRig rig_;
  std::unique_ptr<TvxTerminal> terminal_;
  std::unique_ptr<TvxkFiles> files_;
  std::string note_;  // an outcome finer than success or failure, for the table
};

// The steps of an exchange, as byte offsets of a clean run: the start, every prompt end and
// line end of the replies (the first few), the middle and the last byte; for uploads also the
// middle and the end of the data the device takes.
std::vector<StreamFault> Steps(const std::string& out, const std::string& in, bool upload) {
  std::set<size_t> at = {0, out.size() / 2, out.empty() ? 0 : out.size() - 1};
  int prompts = 0;
  int lines = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\xBB' && prompts++ < 3) at.insert(i + 1);
    if (out[i] == '\n' && lines++ < 2) at.insert(i + 1);
  }
  // The first line of a listing, which the diagnostics archive reaches only after its report.
  const size_t listing = out.find("Directory of");
  if (listing != std::string::npos && out.find('\n', listing) != std::string::npos)
    at.insert(out.find('\n', listing) + 1);
  std::vector<StreamFault> steps;
  for (const size_t a : at) steps.push_back({Kind::None, false, a});
  if (upload) {
    steps.push_back({Kind::None, true, in.size() / 2});
    steps.push_back({Kind::None, true, in.size() - 1});
  }
  return steps;
}

TEST_P(FaultTable, EveryFaultAtEveryStep) {
  const Op op = GetParam();
  Reset();
  Arm({Kind::Watch, false, 0});
  std::string why;
  ASSERT_TRUE(Run(op, false, why)) << "clean run";
  ASSERT_EQ(why, "");
  std::string out;
  std::string in;
  rig_.backend.WithDevice([&](VirtualDevice& d) {
    out = d.Fault().SeenOut();
    in = d.Fault().SeenIn();
  });
  const bool upload = op == Op::WriteFile || op == Op::UploadDrop || op == Op::EditSave;
  int cases = 0;
  int64_t slowest = 0;
  int late = 0;
  const Kind kinds[] = {Kind::Stall,      Kind::Drop,        Kind::EarlyAnswer, Kind::Garbage,
                        Kind::HalfPacket, Kind::SingleBytes, Kind::NoPrompt};
  // The table for the record: a row per step, a cell per fault: ok (a true success), fail (a
  // clean failure), for the archive part (written without the device file) or refused (not
  // written, the old file kept); "!" when a check failed, "L" for a late next operation; then
  // the seconds taken.
  std::ostringstream table;
  table << "\n" << std::left << std::setw(14) << OpName(op);
  for (const Kind kind : kinds) table << std::setw(13) << StreamFault::Name(kind);
  table << "\n";
  for (StreamFault step : Steps(out, in, upload)) {
    table << std::setw(14) << ((step.onInput ? "in@" : "out@") + std::to_string(step.at));
    for (const Kind kind : kinds) {
      step.kind = kind;
      const std::string label = std::string(OpName(op)) + ", " + StreamFault::Name(kind) +
                                (step.onInput ? " at input byte " : " at output byte ") +
                                std::to_string(step.at);
      Reset();
      Arm(step);
      why.clear();
      note_.clear();
      const int64_t start = TickCount();
      const bool garbled = kind == Kind::Garbage || kind == Kind::EarlyAnswer;
      bool ok = false;
      try {
        ok = Run(op, garbled, why);
      } catch (const ConversionError&) {
        // A malformed number in a reply is a local error the window shows; still a failure.
      }
      const int64_t took = TickCount() - start;
      slowest = std::max(slowest, took);
      const bool failedCheck = !why.empty() || took > BudgetMs(op);
      EXPECT_EQ(why, "") << label;
      EXPECT_LE(took, BudgetMs(op)) << label;
      // A stream that is only cut differently must not make anything fail.
      if (kind == Kind::HalfPacket || kind == Kind::SingleBytes) {
        EXPECT_TRUE(ok) << label;
      }
      Recover();
      Reset();
      why.clear();
      // A device left waiting for upload data takes the next command as data until its own
      // receive time-out; after that the next operation must work.
      const bool nextLate = !Run(Op::ReadFile, false, why);
      if (nextLate) {
        ++late;
        std::cout << label << ": next operation only after the device's receive time-out\n";
        usleep((kDeviceReceiveMs + 500) * 1000);
        Reset();
        EXPECT_TRUE(Run(Op::ReadFile, false, why)) << label << ": next operation";
      }
      EXPECT_EQ(why, "") << label << ": next operation";
      ++cases;
      std::ostringstream cell;
      cell << (!note_.empty() ? note_
               : ok           ? "ok"
                              : "fail")
           << (failedCheck ? "!" : "") << (nextLate ? "L" : "") << " " << std::fixed
           << std::setprecision(1) << took / 1000.0;
      table << std::setw(13) << cell.str();
    }
    table << "\n";
  }
  std::cout << table.str();
  std::cout << OpName(op) << ": " << cases << " cases, slowest " << slowest << " ms, " << late
            << " with a late next operation\n";
}

INSTANTIATE_TEST_SUITE_P(Ops, FaultTable,
                         ::testing::Values(Op::ReadFile, Op::WriteFile, Op::ListDirectory,
                                           Op::SaveToPc, Op::EditSave, Op::UploadDrop, Op::LcdFetch,
                                           Op::DiagArchive),
                         [](const auto& info) { return std::string(OpName(info.param)); });

}  // namespace
