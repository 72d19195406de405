#include "FileAccess/vxkFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include <functional>
#include <memory>

#include "FileAccess/ConversionError.h"
#include "FileAccess/DosTime.h"
#include "comms/Ticks.h"
#include "sim/HidRig.h"
#include "sim/PtyRig.h"
#include "sim/TcpRig.h"

using namespace vxk;

namespace {

// The same virtual device behind either link.
class FilesTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (std::string(GetParam()) == "hid") {
      hid_ = std::make_unique<HidRig>();
      link_ = &hid_->link;
      sim_ = &hid_->sim;
    } else {
      tcp_ = std::make_unique<TcpRig>();
      link_ = &tcp_->link;
      sim_ = &tcp_->sim;
    }
    link_->SetRoundTripTime(20);
    link_->SetExtraTime(20);
    ASSERT_TRUE(link_->Open());
    term_ = std::make_unique<TvxTerminal>(*link_);
    files_ = std::make_unique<TvxkFiles>(*term_);
  }

  // Changes the device (its faults, its files) without racing its server.
  void WithDevice(const std::function<void(SimDevice&)>& fn) {
    if (hid_) {
      hid_->backend.WithDevice([&](VirtualDevice&) { fn(*sim_); });
    } else {
      tcp_->WithDevice([&](VirtualDevice&) { fn(*sim_); });
    }
  }
  FileFaults& Faults() { return sim_->Files().Faults(); }
  SimFileSystem::Node* Node(const std::string& path) {
    SimFileSystem::Node* node = nullptr;
    WithDevice([&](SimDevice& s) { node = s.Files().Files().Find(path); });
    return node;
  }

  std::unique_ptr<HidRig> hid_;
  std::unique_ptr<TcpRig> tcp_;
  TvxComms* link_ = nullptr;
  SimDevice* sim_ = nullptr;
  std::unique_ptr<TvxTerminal> term_;
  std::unique_ptr<TvxkFiles> files_;
};

std::vector<std::string> Names(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const auto& line : lines) names.push_back(TvxkFiles::ParseEntry(line).name);
  return names;
}

TEST_P(FilesTest, ListsDirectoriesWithDotEntries) {
  std::vector<std::string> lines;
  ASSERT_TRUE(files_->ListDirectory("/Lua", lines));
  EXPECT_EQ(Names(lines), (std::vector<std::string>{".", "..", "lib", "main.lua"}));
  const TDirEntry lib = TvxkFiles::ParseEntry(lines[2]);
  EXPECT_EQ(TvxkFiles::AttributeText(lib.attributes), "<DIR>");
  const TDirEntry main = TvxkFiles::ParseEntry(lines[3]);
  EXPECT_EQ(main.size, static_cast<int64_t>(Node("/Lua/main.lua")->data.size()));
  EXPECT_NE(main.time1, 0);
  // The empty path is the top level.
  ASSERT_TRUE(files_->ListDirectory("", lines));
  EXPECT_EQ(Names(lines), (std::vector<std::string>{"Config", "Logs", "Lua", "readme.txt", "Send",
                                                    "Store", "System"}));
  // A folder that is not there gives no listing.
  EXPECT_FALSE(files_->ListDirectory("/Nowhere", lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(link_->LockCount(), 0);
}

TEST_P(FilesTest, StaleInputBeforeACommandIsDiscarded) {
  WithDevice(
      [](SimDevice& s) { s.Device().Print("junk\r\nDirectory of /fake\r\nx\t1\t0\t0\t0\t0\r\n"); });
  std::vector<std::string> lines;
  ASSERT_TRUE(files_->ListDirectory("/Logs", lines));
  EXPECT_EQ(Names(lines),
            (std::vector<std::string>{".", "..", "2026-12-01.log", "2026-12-02.log"}));
}

TEST_P(FilesTest, ReadFileDeliversEveryByteWithProgress) {
  std::string binary;
  for (int i = 0; i < 10000; ++i)
    binary += static_cast<char>(i * 7 % 256);  // incl. 0xAB, 0xBB, CR, ESC
  WithDevice([&](SimDevice& s) { s.Files().Files().WriteFile("/Logs/raw.bin", binary, 0); });
  std::vector<std::pair<int64_t, int64_t>> progress;
  OpContext context;
  context.progress = [&](int64_t pos, int64_t total) { progress.emplace_back(pos, total); };
  std::string content;
  ASSERT_TRUE(files_->ReadFile("/Logs/raw.bin", content, context));
  EXPECT_EQ(content, binary);
  EXPECT_EQ(progress, (std::vector<std::pair<int64_t, int64_t>>{
                          {4096, 10000}, {8192, 10000}, {10000, 10000}}));
  // The device is back at its prompt: the next command works.
  std::vector<std::string> lines;
  EXPECT_TRUE(files_->ListDirectory("/Logs", lines));
}

TEST_P(FilesTest, EmptyAndMissingFiles) {
  WithDevice([](SimDevice& s) { s.Files().Files().WriteFile("/Logs/empty.txt", "", 0); });
  int calls = 0;
  OpContext context;
  context.progress = [&](int64_t, int64_t) { ++calls; };
  std::string content = "old";
  EXPECT_TRUE(files_->ReadFile("/Logs/empty.txt", content, context));
  EXPECT_EQ(content, "");
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(files_->ReadFile("/Logs/missing.txt", content));
}

TEST_P(FilesTest, WriteFileSendsBlocksAndTheTimeStamp) {
  const std::string data(10000, 'w');
  std::vector<int64_t> positions;
  OpContext context;
  context.progress = [&](int64_t pos, int64_t total) {
    EXPECT_EQ(total, 10000);
    positions.push_back(pos);
  };
  const TDateTime stamp = EncodeDateTime(2019, 3, 1, 12, 34, 56, 0);
  ASSERT_TRUE(files_->WriteFile("/Logs/new.txt", data, stamp, context));
  // Bytes that have left for the device, growing, and all of them once it confirmed.
  ASSERT_FALSE(positions.empty());
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()) &&
              std::adjacent_find(positions.begin(), positions.end()) == positions.end());
  EXPECT_EQ(positions.back(), 10000);
  SimFileSystem::Node* node = Node("/Logs/new.txt");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->data, data);
  EXPECT_EQ(node->time, (39u << 25) + (3u << 21) + (1u << 16) + (12u << 11) + (34u << 5) + 28u);
  // An empty file is a success with no data sent.
  EXPECT_TRUE(files_->WriteFile("/Logs/empty.txt", ""));
  ASSERT_NE(Node("/Logs/empty.txt"), nullptr);
  // A folder that does not exist: no "Send file", false.
  EXPECT_FALSE(files_->WriteFile("/Nowhere/x.txt", "x"));
  EXPECT_EQ(link_->LockCount(), 0);
}

TEST_P(FilesTest, NamesWithBlanksQuotedOrUnderscored) {
  files_->QuoteNames = true;
  ASSERT_TRUE(files_->WriteFile("/Logs/my file.txt", "quoted"));
  ASSERT_NE(Node("/Logs/my file.txt"), nullptr);
  std::string content;
  files_->QuoteNames = false;
  ASSERT_TRUE(files_->ReadFile("/Logs/my file.txt", content));  // sent as my_file.txt
  EXPECT_EQ(content, "quoted");
  WithDevice(
      [](SimDevice& sim) { EXPECT_EQ(sim.Device().LastCommand(), "NFTYPE @/Logs/my_file.txt"); });
}

TEST_P(FilesTest, DirectoryOperationsReportTheDeviceStatus) {
  EXPECT_TRUE(files_->MakeDirectory("/Data"));
  EXPECT_FALSE(files_->MakeDirectory("/Data"));  // exists
  EXPECT_TRUE(files_->WriteFile("/Data/a.txt", "a"));
  EXPECT_TRUE(files_->RenameFile("/Data/a.txt", "b.txt"));
  EXPECT_NE(Node("/Data/b.txt"), nullptr);
  EXPECT_TRUE(files_->DeleteFile("/Data/b.txt"));
  EXPECT_FALSE(files_->DeleteFile("/Data/b.txt"));
  EXPECT_TRUE(files_->WriteFile("/Data/c.txt", "c"));
  EXPECT_TRUE(files_->WipeDirectory("/Data"));
  EXPECT_EQ(Node("/Data"), nullptr);
  WithDevice([](SimDevice& s) { s.Files().Faults().failStatus = true; });
  EXPECT_FALSE(files_->MakeDirectory("/Other"));
  EXPECT_EQ(link_->LockCount(), 0);
}

TEST_P(FilesTest, StalledReadIsAFailureNotAnEmptyFile) {
  WithDevice([](SimDevice& s) { s.Files().Faults().stallReadAfter = 10; });
  std::string content;
  EXPECT_EQ(files_->ReadFile("/Logs/2026-12-01.log", content).reason, Reason::TimedOut);
  EXPECT_TRUE(content.empty());
}

TEST_P(FilesTest, MalformedSizesInTheReadHeader) {
  std::string content;
  WithDevice([](SimDevice& s) { s.Files().Faults().sizeField = "-5"; });
  EXPECT_FALSE(files_->ReadFile("/Lua/main.lua", content));
  WithDevice([](SimDevice& s) { s.Files().Faults().sizeField = "12x"; });
  EXPECT_EQ(files_->ReadFile("/Lua/main.lua", content).reason, Reason::BadReply);
  // The lock and the busy flag were given back on the way out.
  EXPECT_FALSE(files_->Busy());
  EXPECT_EQ(link_->LockCount(), 0);
  WithDevice([](SimDevice& s) { s.Files().Faults().sizeField.clear(); });
  EXPECT_TRUE(files_->ReadFile("/Lua/main.lua", content));
}

TEST_P(FilesTest, EarlyAnswerStopsTheUpload) {
  WithDevice([](SimDevice& s) { s.Files().Faults().earlyAnswer = true; });
  std::vector<int64_t> positions;
  OpContext context;
  context.progress = [&](int64_t pos, int64_t) { positions.push_back(pos); };
  EXPECT_FALSE(files_->WriteFile("/Logs/big.txt", std::string(40000, 'x'), 0, context));
  // The answer may come before the next block or only after the last one (the reader thread
  // and TCP both add their own delay); either way the upload is a failure.
  EXPECT_LE(positions.size(), 10u);
  EXPECT_EQ(Node("/Logs/big.txt"), nullptr);
  std::vector<std::string> lines;
  EXPECT_TRUE(files_->ListDirectory("/Logs", lines));
}

TEST_P(FilesTest, EndlessListingIsCutAndFails) {
  // The device goes on listing for as long as anyone reads.
  WithDevice([](SimDevice& s) { s.Files().Faults().endlessListing = true; });
  std::vector<std::string> lines;
  const int64_t start = TickCount();
  EXPECT_FALSE(files_->ListDirectory("/Logs", lines));
  EXPECT_LT(TickCount() - start, 20000);
  EXPECT_LE(lines.size(), TvxkFiles::kMaxListing);
  EXPECT_FALSE(files_->Busy());
}

// A listing that stalls halfway keeps what came for display but is no success.
TEST_P(FilesTest, StalledListingIsNoSuccess) {
  std::vector<std::string> whole;
  ASSERT_TRUE(files_->ListDirectory("/Logs", whole));
  ASSERT_GE(whole.size(), 2u);
  WithDevice([](SimDevice& s) { s.Device().InjectFault({StreamFault::Kind::Watch, false, 0}); });
  ASSERT_TRUE(files_->ListDirectory("/Logs", whole));
  std::string seen;
  WithDevice([&](SimDevice& s) { seen = s.Device().Fault().SeenOut(); });
  // Stall two bytes into the second entry.
  const size_t second = seen.find(whole[1]);
  ASSERT_NE(second, std::string::npos);
  WithDevice([&](SimDevice& s) {
    s.Device().InjectFault({StreamFault::Kind::Stall, false, second + 2});
  });
  std::vector<std::string> lines;
  EXPECT_FALSE(files_->ListDirectory("/Logs", lines));
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines.back(), whole[1].substr(0, 2));
  WithDevice([](SimDevice& s) { s.Device().InjectFault({}); });
  EXPECT_TRUE(files_->ListDirectory("/Logs", lines));
  EXPECT_EQ(lines, whole);
}

// The refusal's status line comes alone while data still goes out and its prompt only after
// the last block: the line alone must end the upload as a failure.
TEST_P(FilesTest, RefusalWithoutItsPromptFailsTheUpload) {
  WithDevice([](SimDevice& s) {
    s.Files().Faults().refuseAfter = 100;
    s.Files().Faults().splitRefusal = true;
  });
  EXPECT_FALSE(files_->WriteFile("/Logs/full.bin", std::string(1 << 20, 'f')));
  EXPECT_EQ(Node("/Logs/full.bin"), nullptr);
  // The device takes commands again once its prompt is out.
  SleepMs(FileFaults().refusalGapMs);
  WithDevice([](SimDevice& s) { s.Files().Faults() = FileFaults(); });
  std::vector<std::string> lines;
  EXPECT_TRUE(files_->ListDirectory("/Logs", lines));
}

// Transfers survive a slow, bursty link: latency both ways, output in small pieces with
// pauses, and a modest line rate.
// A read is taken only when the whole reply is this file's: its header names it, and its end
// follows the announced bytes at once. Anything else fails with empty content, and the next
// read works.
TEST_P(FilesTest, OnlyAWholeReplyOfThisFileIsTaken) {
  std::string data(3000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  WithDevice([&](SimDevice& s) { s.Files().Files().WriteFile("/Logs/t.bin", data, 0); });
  // Where the reply's parts lie in the device's output, from a clean run.
  WithDevice([](SimDevice& s) { s.Device().InjectFault({StreamFault::Kind::Watch, false, 0}); });
  std::string content;
  ASSERT_TRUE(files_->ReadFile("/Logs/t.bin", content));
  std::string out;
  WithDevice([&](SimDevice& s) { out = s.Device().Fault().SeenOut(); });
  const size_t dataAt = out.find("t.bin\t3000\r\n") + 12;
  const size_t promptAt = dataAt + data.size() + 2;
  ASSERT_EQ(out[promptAt], '\xAB');
  using Kind = StreamFault::Kind;
  struct Case {
    const char* name;
    std::function<void(SimDevice&)> arm;
    Reason reason;
  };
  const Case cases[] = {
      {"header names another file", [](SimDevice& s) { s.Files().Faults().nameField = "u.bin"; },
       Reason::BadReply},
      {"junk slipped into the data",
       [&](SimDevice& s) {
         s.Device().InjectFault({Kind::Garbage, false, dataAt + 100});
       },
       Reason::BadReply},
      {"an error breaks into the data",
       [&](SimDevice& s) {
         s.Device().InjectFault({Kind::EarlyAnswer, false, dataAt + 2000});
       },
       Reason::BadReply},
      {"no prompt after the data",
       [&](SimDevice& s) {
         s.Device().InjectFault({Kind::NoPrompt, false, promptAt});
       },
       Reason::TimedOut},
      {"the prompt's end comes late",
       [&](SimDevice& s) {
         s.Device().InjectFault({Kind::HalfPacket, false, promptAt + 2});
       },
       Reason::None},
  };
  for (const Case& c : cases) {
    WithDevice(c.arm);
    const OpResult read = files_->ReadFile("/Logs/t.bin", content);
    EXPECT_EQ(read.reason, c.reason) << c.name << ": " << DescribeResult(read);
    EXPECT_TRUE(read ? content == data : content.empty()) << c.name;
    WithDevice([](SimDevice& s) {
      s.Files().Faults() = FileFaults();
      s.Device().InjectFault({});
    });
    const OpResult next = files_->ReadFile("/Logs/t.bin", content);
    EXPECT_TRUE(next && content == data) << c.name << ", next read: " << DescribeResult(next);
  }
}

// The rest of an earlier reply that trickles in late (after the tool gave up on it) must not
// be taken for the next file, even where it looks like a header naming that file.
TEST(FilesTrust, LateRestOfAnEarlierReplyIsNotTheNextFile) {
  TcpRig rig;
  rig.link.SetRoundTripTime(20);
  rig.link.SetExtraTime(20);
  ASSERT_TRUE(rig.link.Open());
  TvxTerminal term(rig.link);
  TvxkFiles files(term);
  std::string old;
  while (old.size() < 320) old += "B.log\t8\r\n12345678";
  const std::string real = "the real B";
  rig.WithDevice([&](VirtualDevice&) {
    rig.sim.Files().Files().WriteFile("/Logs/A.log", old, 0);
    rig.sim.Files().Files().WriteFile("/Logs/B.log", real, 0);
    rig.sim.Files().Faults().trickleAfter = 10;
  });
  std::string content;
  EXPECT_EQ(files.ReadFile("/Logs/A.log", content).reason, Reason::TimedOut);
  rig.WithDevice([&](VirtualDevice&) { rig.sim.Files().Faults().trickleAfter = -1; });
  const OpResult next = files.ReadFile("/Logs/B.log", content);
  EXPECT_TRUE(next ? content == real : content.empty()) << DescribeResult(next);
  // Once the device has caught up, B reads whole.
  OpResult later = OpResult::Fail(Reason::TimedOut);
  const int64_t end = TickCount() + 20000;
  while (!later && TickCount() < end) later = files.ReadFile("/Logs/B.log", content);
  EXPECT_TRUE(later && content == real) << DescribeResult(later);
}

namespace {

// The file layer over loopback TCP to a virtual device whose side keeps the given timing.
struct TimedTcp {
  TimedTcp(const LinkTiming& timing, int roundTripMs, int extraMs)
      : rig(timing), opened(Open(rig, roundTripMs, extraMs)) {}
  static bool Open(TcpRig& rig, int roundTripMs, int extraMs) {
    rig.link.SetRoundTripTime(roundTripMs);
    rig.link.SetExtraTime(extraMs);
    return rig.link.Open();
  }
  TcpRig rig;
  bool opened;
  TvxTerminal term{rig.link};
  TvxkFiles files{term};
};

}  // namespace

// An upload is done when the device has confirmed it with "0:No error", not when the last
// byte left the PC: silence is a failure, a refusal carries the device's words.
TEST(FilesTrust, UploadIsDoneOnlyWhenTheDeviceConfirmsIt) {
  struct Case {
    const char* name;
    int bytesPerSecond;
    size_t size;
    std::function<void(FileFaults&)> fault;
    Reason reason;
    std::string detail;
  };
  const Case cases[] = {
      {"slow line, large file", 100000, 300000, [](FileFaults&) {}, Reason::None, "0:No error"},
      {"device never confirms", 0, 5000, [](FileFaults& f) { f.silentClose = true; },
       Reason::TimedOut, "no confirmation from the device"},
      {"device refuses", 0, 9000, [](FileFaults& f) { f.refuseAfter = 4096; }, Reason::Refused,
       "28:No space left on device"},
  };
  for (const Case& c : cases) {
    LinkTiming timing;
    timing.bytesPerSecond = c.bytesPerSecond;
    TimedTcp tcp(timing, 20, 20);
    ASSERT_TRUE(tcp.opened);
    TcpRig& rig = tcp.rig;
    TvxkFiles& files = tcp.files;
    rig.WithDevice([&](VirtualDevice&) { c.fault(rig.sim.Files().Faults()); });
    const std::string data(c.size, 'u');
    // When the progress first showed 90 %: a socket takes the whole file at once, so progress
    // that counts what was handed to it says 90 % long before the device has that much.
    const int64_t start = TickCount();
    int64_t at90 = -1;
    OpContext context;
    context.progress = [&](int64_t done, int64_t total) {
      if (at90 < 0 && done * 10 >= total * 9) at90 = TickCount() - start;
    };
    const OpResult written = files.WriteFile("/Logs/up.bin", data, 0, context);
    const int64_t took = TickCount() - start;
    EXPECT_EQ(written.reason, c.reason) << c.name << ": " << DescribeResult(written);
    if (c.bytesPerSecond > 0) EXPECT_GT(at90, took / 2) << c.name << ", done in " << took;
    EXPECT_EQ(written.detail, c.detail) << c.name;
    bool stored = false;
    rig.WithDevice([&](VirtualDevice&) {
      const auto* node = rig.sim.Files().Files().Find("/Logs/up.bin");
      stored = node && node->data == data;
    });
    // Reported done means the device holds the file at that moment.
    if (written) EXPECT_TRUE(stored) << c.name;
  }
}

// Over a slow TCP line, Cancel in the middle of an upload stops it there: the socket must not
// have taken the whole file already. Nothing is stored and the next command works.
TEST(FilesTrust, CancelStopsAnUploadOverASlowSocket) {
  LinkTiming timing;
  timing.bytesPerSecond = 50000;
  TimedTcp tcp(timing, 20, 20);
  ASSERT_TRUE(tcp.opened);
  TcpRig& rig = tcp.rig;
  TvxkFiles& files = tcp.files;
  std::atomic<bool> stop{false};
  OpContext context;
  context.cancel = &stop;
  context.progress = [&](int64_t done, int64_t total) { stop = done * 3 >= total; };
  EXPECT_EQ(files.WriteFile("/Logs/up.bin", std::string(300000, 'c'), 0, context).reason,
            Reason::Cancelled);
  bool stored = true;
  rig.WithDevice([&](VirtualDevice&) { stored = rig.sim.Files().Files().Find("/Logs/up.bin"); });
  EXPECT_FALSE(stored);
  std::vector<std::string> lines;
  EXPECT_TRUE(files.ListDirectory("/Logs", lines));
}

TEST(FilesTiming, TransfersAreExactOverALaggingChoppyLink) {
  LinkTiming timing;
  timing.toDeviceLatencyMs = 40;
  timing.toHostLatencyMs = 40;
  timing.chunkBytes = 700;
  timing.chunkGapMs = 15;
  timing.bytesPerSecond = 100000;
  TimedTcp tcp(timing, 200, 100);
  ASSERT_TRUE(tcp.opened);
  TvxkFiles& files = tcp.files;
  std::string data(12000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13 % 256);
  ASSERT_TRUE(files.WriteFile("/Logs/slow.bin", data));
  std::string back;
  ASSERT_TRUE(files.ReadFile("/Logs/slow.bin", back));
  EXPECT_TRUE(back == data);
  std::vector<std::string> lines;
  EXPECT_TRUE(files.ListDirectory("/Logs", lines));
  EXPECT_FALSE(lines.empty());
}

// A pseudo-terminal queues more than a UART does; the closing status of an upload over it
// must still be read: a refusal there is a failure, not the next command's reply.
TEST(FilesTiming, SerialUploadReadsTheStatusBehindTheQueuedData) {
  LinkTiming line;
  line.bytesPerSecond = 11520;  // 115200 baud
  PtyRig rig(line);
  rig.link.SetRoundTripTime(20);
  rig.link.SetExtraTime(20);
  ASSERT_TRUE(rig.link.Open());
  TvxTerminal term(rig.link);
  TvxkFiles files(term);
  rig.WithDevice([&](VirtualDevice&) { rig.sim.Files().Faults().failStatus = true; });
  EXPECT_FALSE(files.WriteFile("/Logs/serial.bin", std::string(40000, 's')));
  rig.WithDevice([&](VirtualDevice&) { rig.sim.Files().Faults().failStatus = false; });
  EXPECT_TRUE(files.MakeDirectory("/Logs/after"));
}

TEST_P(FilesTest, NestedOperationFromProgressIsRefused) {
  WithDevice([](SimDevice& s) {
    s.Files().Files().WriteFile("/Logs/big.bin", std::string(9000, 'b'), 0);
  });
  int refused = 0;
  OpContext context;
  context.progress = [&](int64_t, int64_t) {
    std::vector<std::string> lines;
    if (files_->ListDirectory("/Lua", lines).reason == Reason::Busy) ++refused;
    EXPECT_TRUE(files_->Busy());
  };
  std::string content;
  ASSERT_TRUE(files_->ReadFile("/Logs/big.bin", content, context));
  EXPECT_EQ(content, std::string(9000, 'b'));
  EXPECT_EQ(refused, 3);
  EXPECT_FALSE(files_->Busy());
}

TEST_P(FilesTest, FirmwareImageIsLoadedByBareName) {
  std::string image(5000, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i);
  std::vector<int64_t> positions;
  OpContext context;
  context.progress = [&](int64_t pos, int64_t) { positions.push_back(pos); };
  ASSERT_TRUE(files_->LoadFirmware("vxk-2.15.bin", image, TvxkFiles::AfterLoad::Stages, context));
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 5000);
  WithDevice([&](SimDevice& s) {
    EXPECT_EQ(s.Files().FirmwareName(), "vxk-2.15.bin");
    EXPECT_EQ(s.Files().FirmwareImage(), image);
  });
}

// A name from outside must never split a command: CR would run the rest as a second command
// (here a wipe of /Lua), ESC or NUL would cut it, a quote would end the quoted name.
TEST_P(FilesTest, NamesThatWouldSplitACommandAreRefusedUnsent) {
  int before = 0;
  WithDevice([&](SimDevice& s) { before = s.Device().CommandCount(); });
  std::vector<std::string> lines;
  std::string content;
  for (const bool quote : {false, true}) {
    files_->QuoteNames = quote;
    const std::string names[] = {"/Logs/a\rNFWIPEDIR /Lua\r", std::string("/a\0b", 4), "/a\nb",
                                 "/a\x1B"
                                 "b",
                                 "/a\"b"};
    for (const std::string& bad : names) {
      EXPECT_FALSE(files_->DeleteFile(bad));
      EXPECT_FALSE(files_->ListDirectory(bad, lines));
      EXPECT_FALSE(files_->MakeDirectory(bad));
      EXPECT_FALSE(files_->WipeDirectory(bad));
      EXPECT_FALSE(files_->ReadFile(bad, content));
      EXPECT_FALSE(files_->WriteFile(bad, "x"));
      EXPECT_FALSE(files_->RenameFile("/Logs/a.txt", bad));
      EXPECT_FALSE(files_->RenameFile(bad, "b.txt"));
      EXPECT_FALSE(files_->LoadFirmware(bad, "image"));
    }
    // The upload command's fields are TAB-separated.
    EXPECT_FALSE(files_->WriteFile("/Logs/a\t99\tw", "x"));
  }
  int after = 0;
  WithDevice([&](SimDevice& s) { after = s.Device().CommandCount(); });
  EXPECT_EQ(after, before);
  EXPECT_NE(Node("/Lua/main.lua"), nullptr);
  EXPECT_FALSE(files_->Busy());
}

TEST_P(FilesTest, ClosedLinkFailsAtOnce) {
  link_->Close();
  std::vector<std::string> lines;
  std::string content;
  EXPECT_FALSE(files_->ListDirectory("/", lines));
  EXPECT_FALSE(files_->ReadFile("/Lua/main.lua", content));
  EXPECT_FALSE(files_->WriteFile("/x", "x"));
  EXPECT_FALSE(files_->RenameFile("/a", "b"));
}

TEST_P(FilesTest, DroppedConnectionDuringUploadIsAFailure) {
  WithDevice([](SimDevice& s) { s.Files().Faults().dropAfter = 4096; });
  EXPECT_FALSE(files_->WriteFile("/Logs/cut.txt", std::string(12000, 'c')));
}

TEST_P(FilesTest, StoppedTransfersFailAndLeaveTheDeviceAtItsPrompt) {
  const std::string big(100000, 'z');
  WithDevice([&](SimDevice& s) { s.Files().Files().WriteFile("/Logs/big.bin", big, 0); });
  int blocks = 0;
  int stopAt = 2;
  std::atomic<bool> stop{false};
  OpContext context;
  context.cancel = &stop;
  context.progress = [&](int64_t, int64_t) { stop = ++blocks >= stopAt; };
  std::string content;
  EXPECT_EQ(files_->ReadFile("/Logs/big.bin", content, context).reason, Reason::Cancelled);
  EXPECT_TRUE(content.empty());
  EXPECT_EQ(blocks, 2);
  // The next command gets its own reply, not the rest of the file.
  std::vector<std::string> lines;
  ASSERT_TRUE(files_->ListDirectory("/Logs", lines));
  EXPECT_TRUE(files_->ReadFile("/Logs/big.bin", content));
  EXPECT_EQ(content, big);

  // An upload's progress counts what has left for the device, which over TCP may stay 0 for
  // a while: it is stopped at its first report.
  blocks = 0;
  stopAt = 1;
  stop = false;
  EXPECT_EQ(files_->WriteFile("/Logs/new.bin", big, 0, context).reason, Reason::Cancelled);
  EXPECT_EQ(blocks, 1);
  EXPECT_EQ(Node("/Logs/new.bin"), nullptr);
  EXPECT_TRUE(files_->MakeDirectory("/After"));
}

// Line noise ahead of the go-ahead, or amid the upload, fails the write, but the device is
// still taking data: a retry must not go out as the file's content or be swallowed by it.
TEST_P(FilesTest, RetryAfterLineNoiseInAWriteWritesTheFile) {
  const std::string content(9000, 'n');
  WithDevice([](SimDevice& s) { s.Device().InjectFault({StreamFault::Kind::Watch, false, 0}); });
  ASSERT_TRUE(files_->WriteFile("/Logs/x.cfg", content));
  std::string out, in;
  WithDevice([&](SimDevice& s) {
    out = s.Device().Fault().SeenOut();
    in = s.Device().Fault().SeenIn();
  });
  ASSERT_NE(out.find("Send file"), std::string::npos);
  const StreamFault cases[] = {{StreamFault::Kind::Garbage, false, out.find("Send file")},
                               {StreamFault::Kind::Garbage, true, in.size() / 2}};
  for (const StreamFault& fault : cases) {
    WithDevice([&](SimDevice& s) {
      s.Files().Files().WriteFile("/Logs/x.cfg", "old", 0);
      s.Device().InjectFault(fault);
    });
    // Noise amid the upload may come too late to be noticed: then the data went out whole.
    if (files_->WriteFile("/Logs/x.cfg", content)) {
      EXPECT_TRUE(fault.onInput);
      EXPECT_EQ(Node("/Logs/x.cfg")->data, content);
    }
    WithDevice([](SimDevice& s) { s.Device().InjectFault({}); });
    EXPECT_TRUE(files_->WriteFile("/Logs/x.cfg", "a=1\r\n")) << fault.onInput;
    EXPECT_EQ(Node("/Logs/x.cfg")->data, "a=1\r\n");
  }
}

TEST_P(FilesTest, WriteDoesNotWaitARoundTripForAnAnswerAlreadyRead) {
  // With a long round-trip time (a TCP device's default) the device's "Send file", which
  // arrives with the prompt, must not wait behind that time while the device gives up.
  link_->SetRoundTripTime(8000);
  const int64_t start = TickCount();
  EXPECT_TRUE(files_->WriteFile("/Logs/w.txt", "abc"));
  EXPECT_LT(TickCount() - start, 1500);
  ASSERT_NE(Node("/Logs/w.txt"), nullptr);
  EXPECT_EQ(Node("/Logs/w.txt")->data, "abc");
}

INSTANTIATE_TEST_SUITE_P(Links, FilesTest, ::testing::Values("hid", "tcp"));

TEST(FileEntries, QuotingAttributesAndParsing) {
  ScratchLock lock;
  TvxComms link(nullptr, lock.Lock());
  TvxTerminal term(link);
  TvxkFiles files(term);
  EXPECT_EQ(files.QuoteName("/Logs/my file.txt"), "/Logs/my_file.txt");
  files.QuoteNames = true;
  EXPECT_EQ(files.QuoteName("/Logs/my file.txt"), "\"/Logs/my file.txt\"");

  EXPECT_EQ(TvxkFiles::AttributeText(0x21), "AR");
  EXPECT_EQ(TvxkFiles::AttributeText(0x23), "ARH");
  EXPECT_EQ(TvxkFiles::AttributeText(0x33), "<DIR>");  // the directory bit wins
  EXPECT_EQ(TvxkFiles::AttributeText(0x10), "<DIR>");
  EXPECT_EQ(TvxkFiles::AttributeText(0x31), "<DIR>");
  EXPECT_EQ(TvxkFiles::AttributeText(0), "");

  const TDirEntry e = TvxkFiles::ParseEntry("a b.txt\t123\t289\t1382972444\tx");
  EXPECT_EQ(e.name, "a b.txt");
  EXPECT_EQ(e.size, 123);
  EXPECT_EQ(e.attributes, 289 & 0xFF);
  EXPECT_NE(e.time1, 0);
  EXPECT_EQ(e.time2, 0);  // not a number
  EXPECT_EQ(e.time3, 0);  // missing
  TDirEntry bad;
  EXPECT_FALSE(TvxkFiles::TryParseEntry("name\tbig\t0", bad));
  EXPECT_FALSE(TvxkFiles::TryParseEntry("name only", bad));
  EXPECT_THROW(TvxkFiles::ParseEntry("n\t1"), ConversionError);
}

TEST(FileEntries, DecimalReader) {
  EXPECT_EQ(DecimalToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(DecimalToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(DecimalToInt64("9223372036854775808"), ConversionError);
  EXPECT_THROW(DecimalToInt64(""), ConversionError);
  EXPECT_THROW(DecimalToInt64("1 "), ConversionError);
}

}  // namespace
