#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "FileAccess/DosTime.h"
#include "comms/Ticks.h"
#include "ops/LocalFiles.h"
#include "ops/ProperPlace.h"
#include "ops/TreeSaver.h"
#include "ops/Upload.h"
#include "sim/HidRig.h"

using namespace vxk;
namespace fs = std::filesystem;

namespace {

// A fresh local folder, removed with everything in it at the end.
struct ScratchDir {
  ScratchDir() {
    char name[] = "/tmp/vxkops.XXXXXX";
    path = ::mkdtemp(name);
  }
  ~ScratchDir() { fs::remove_all(path); }
  std::string operator/(const std::string& rel) const { return path + "/" + rel; }
  std::string path;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

time_t MTime(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : -1;
}

constexpr uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return (uint32_t(y - 1980) << 25) | (uint32_t(mo) << 21) | (uint32_t(d) << 16) |
         (uint32_t(h) << 11) | (uint32_t(mi) << 5) | uint32_t(s / 2);
}

TEST(LocalFiles, NamesThatCouldLeaveTheFolderAreUnsafe) {
  for (const char* bad : {"", ".", "..", "a/b", "../x", "a\\b"}) EXPECT_FALSE(IsSafeLocalName(bad));
  EXPECT_FALSE(IsSafeLocalName(std::string("a\0b", 3)));
  for (const char* good : {"a", "...", "..a", "a b.txt", "\xE9t\xE9"})
    EXPECT_TRUE(IsSafeLocalName(good));
  EXPECT_TRUE(HasControlChars("a\rb"));
  EXPECT_TRUE(HasControlChars("a\tb"));
  EXPECT_TRUE(HasControlChars("\x1B"));
  EXPECT_FALSE(HasControlChars("caf\xE9"));
  // 0xE9 is e acute; 0x81 has no character and stays a C1 code point, still valid UTF-8.
  EXPECT_EQ(DeviceNameToLocal("\xE9\x81"), "\xC3\xA9\xC2\x81");
}

TEST(LocalFiles, AtomicWriteReplacesWholeOrLeavesTheOldFile) {
  ScratchDir dir;
  const std::string file = dir / "deep/er/f.txt";
  const TDateTime stamp = EncodeDateTime(2021, 6, 15, 10, 20, 30, 0);
  WriteLocalFile(file, "old", stamp);
  EXPECT_EQ(Slurp(file), "old");
  EXPECT_EQ(MTime(file), LocalDateTimeToTime(stamp));
  WriteLocalFile(file, "new content", 0);  // time 0 keeps the time of writing
  EXPECT_EQ(Slurp(file), "new content");
  EXPECT_GT(MTime(file), LocalDateTimeToTime(stamp));
  // A target that cannot be replaced (a folder in the way) throws and leaves no temporary.
  fs::create_directories(dir / "deep/busy/inner");
  EXPECT_THROW(WriteLocalFile(dir / "deep/busy", "x", 0), LocalFileError);
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir / "deep")) entries += e.exists();
  EXPECT_EQ(entries, 2);  // "er" and "busy", nothing else
}

TEST(LocalFiles, OnlyRegularFilesAreReadForUpload) {
  ScratchDir dir;
  WriteLocalFile(dir / "ok.lua", std::string("a\0b", 3), EncodeDateTime(2020, 1, 2, 3, 4, 6, 0));
  const LocalUpload up = PrepareUpload(dir / "ok.lua");
  EXPECT_EQ(up.content, std::string("a\0b", 3));
  EXPECT_EQ(FormatDateTime(up.time), "2020-01-02 03:04:06");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_THROW(PrepareUpload(dir / "fifo"), LocalFileError);  // and does not hang
  EXPECT_THROW(PrepareUpload(dir.path), LocalFileError);
  EXPECT_THROW(PrepareUpload(dir / "missing"), LocalFileError);
  WriteLocalFile(dir / "two\rlines", "x", 0);
  EXPECT_THROW(PrepareUpload(dir / "two\rlines"), LocalFileError);
}

TEST(Routing, ScriptsAndConfigurationGoToTheirFolders) {
  struct Case {
    const char* prefix;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"//", "/home/u/init.lua", "/Lua/init.lua"},
      {"/lua/", "init.lua", ""},
      {"/Lua/sub/", "init.LUA", ""},
      {"/Luax/", "init.lua", "/Lua/init.lua"},
      {"//", "myconfig.txt", "/Config/myconfig.txt"},
      {"/CONFIG/", "MyConfig.TXT", ""},
      {"/Config/", "x.lua", "/Lua/x.lua"},
      {"//", "readme.txt", ""},
      {"//", "lua", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ProperPlace(c.prefix, c.path), c.expected) << c.path;
}

class Saver : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.link.SetRoundTripTime(20);
    rig.link.SetExtraTime(20);
    ASSERT_TRUE(rig.link.Open());
    terminal = std::make_unique<TvxTerminal>(rig.link);
    files = std::make_unique<TvxkFiles>(*terminal);
    files->QuoteNames = true;
    Device([](SimDevice& s) {
      SimFileSystem& fs = s.Files().Files();
      fs.MakeDirectory("/T", Packed(2022, 3, 4, 5, 6, 8));
      fs.WriteFile("/T/a.txt", "alpha", Packed(2019, 3, 1, 12, 34, 56));
      fs.WriteFile("/T/zero.txt", "z", 0);
      fs.MakeDirectory("/T/sub", 0);
      fs.WriteFile("/T/sub/b.bin", std::string("\0\xFF", 2), Packed(2020, 2, 29, 23, 59, 58));
      fs.WriteFile("/T/sub/caf\xE9\x81.txt", "e", 0);
    });
  }
  void Device(const std::function<void(SimDevice&)>& fn) {
    rig.backend.WithDevice([&](VirtualDevice&) { fn(rig.sim); });
  }
  std::vector<std::string> Listing(const std::string& path) {
    std::vector<std::string> lines;
    files->ListDirectory(path, lines);
    return lines;
  }

  HidRig rig;
  std::unique_ptr<TvxTerminal> terminal;
  std::unique_ptr<TvxkFiles> files;
  ScratchDir local;
};

TEST_F(Saver, TreeIsRecreatedWithTheDeviceTimes) {
  TreeSaver saver(*terminal, *files);
  std::vector<int> counts;
  saver.OnCount = [&](int n) { counts.push_back(n); };
  const TreeSaver::Result r = saver.SaveDeviceTree(local.path, "", "T");
  EXPECT_TRUE(r.result.ok()) << DescribeResult(r.result);
  EXPECT_EQ(r.saved, 4);
  EXPECT_TRUE(r.skipped.empty());
  EXPECT_EQ(counts.back(), 4);
  EXPECT_EQ(Slurp(local / "T/a.txt"), "alpha");
  EXPECT_EQ(Slurp(local / "T/sub/b.bin"), std::string("\0\xFF", 2));
  EXPECT_EQ(Slurp(local / "T/sub/caf\xC3\xA9\xC2\x81.txt"), "e");
  EXPECT_EQ(MTime(local / "T/a.txt"),
            LocalDateTimeToTime(EncodeDateTime(2019, 3, 1, 12, 34, 56, 0)));
  EXPECT_EQ(MTime(local / "T/sub/b.bin"),
            LocalDateTimeToTime(EncodeDateTime(2020, 2, 29, 23, 59, 58, 0)));
  EXPECT_GT(MTime(local / "T/zero.txt"),
            LocalDateTimeToTime(EncodeDateTime(2024, 1, 1, 0, 0, 0, 0)));
}

TEST_F(Saver, SelectionSavesFilesFirstThenFoldersAndNeverTheParent) {
  std::vector<std::string> selected;
  for (const std::string& line : Listing("/T")) {
    if (line.rfind("..\t", 0) == 0 || line.rfind("sub\t", 0) == 0 || line.rfind("a.txt\t", 0) == 0)
      selected.push_back(line);
  }
  ASSERT_EQ(selected.size(), 3u);
  Device([](SimDevice& s) { s.Files().Files().WriteFile("/x.txt", "outside", 0); });
  TreeSaver saver(*terminal, *files);
  const TreeSaver::Result r = saver.SaveEntries(local.path, "/T", selected);
  EXPECT_EQ(r.saved, 3);
  EXPECT_TRUE(fs::exists(local / "a.txt"));
  EXPECT_TRUE(fs::exists(local / "sub/b.bin"));
  EXPECT_FALSE(fs::exists(local / "zero.txt"));
  EXPECT_FALSE(fs::exists(local / "x.txt"));
  // Files before folders, whatever the list order.
  std::vector<std::string> reads;
  Device([&](SimDevice& s) {
    for (const std::string& c : s.Device().CommandHistory())
      if (c.find("NFTYPE") != std::string::npos) reads.push_back(c);
  });
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_NE(reads[0].find("/T/a.txt"), std::string::npos);
}

TEST_F(Saver, HostileNamesAndSelfListingFoldersStayInside) {
  Device([](SimDevice& s) {
    s.Files().Faults().extraListing = {"..\t3\t32\t0\t0\t0", "../x\t3\t32\t0\t0\t0",
                                       "a/b\t3\t32\t0\t0\t0", "a\\b\t3\t16\t0\t0\t0",
                                       "\t3\t32\t0\t0\t0"};
    s.Files().Faults().listsItself = true;
  });
  TreeSaver saver(*terminal, *files);
  saver.MaxDepth = 4;
  const TreeSaver::Result r = saver.SaveDeviceTree(local.path + "/in", "", "T");
  EXPECT_TRUE(r.result.ok()) << DescribeResult(r.result);
  // The cap on depth ends the loop.
  EXPECT_NE(std::find_if(r.skipped.begin(), r.skipped.end(),
                         [](const TreeSaver::Skipped& s) { return s.path == "/T/T/T/T/T"; }),
            r.skipped.end());
  for (const auto& e : fs::recursive_directory_iterator(local.path)) {
    const std::string p = e.path().string();
    EXPECT_EQ(p.rfind(local.path + "/in", 0), 0u) << p;
  }
  EXPECT_FALSE(fs::exists(local / "x"));
  EXPECT_TRUE(fs::exists(local / "in/T/T/T/a.txt"));
}

TEST_F(Saver, FailedReadLeavesTheLocalFileAlone) {
  WriteLocalFile(local / "T/a.txt", "mine", 0);
  Device([](SimDevice& s) { s.Files().Faults().stallReadAfter = 2; });  // a.txt stalls
  TreeSaver saver(*terminal, *files);
  const TreeSaver::Result r = saver.SaveDeviceTree(local.path, "", "T");
  EXPECT_EQ(r.saved, 3);
  EXPECT_EQ(r.failed, 1);
  EXPECT_EQ(Slurp(local / "T/a.txt"), "mine");
}

TEST_F(Saver, CancelAndLostLinkEndTheRun) {
  std::atomic<bool> stop{false};
  OpContext context;
  context.cancel = &stop;
  TreeSaver saver(*terminal, *files, context);
  saver.OnCount = [&](int) { stop = fs::exists(local / "T/a.txt"); };
  EXPECT_EQ(saver.SaveDeviceTree(local.path, "", "T").result.reason, Reason::Cancelled);
  EXPECT_FALSE(fs::exists(local / "T/zero.txt"));
  stop = false;
  saver.OnCount = nullptr;
  rig.link.Close();
  const TreeSaver::Result r = saver.SaveDeviceTree(local.path, "", "T");
  EXPECT_EQ(r.result.reason, Reason::LinkLost);
  EXPECT_EQ(r.saved, 0);
}

// A symbolic link planted in the destination never carries a save elsewhere: a linked folder
// below the chosen one is refused, a linked file is replaced, not written through. The chosen
// folder itself may be a link.
TEST_F(Saver, LinksPlantedInTheDestinationAreNotFollowed) {
  struct Case {
    const char* what;
    const char* plant;  // the link's place below the chosen folder
    bool viaSelection;  // Save to PC's selection instead of one tree
    bool refused;
  };
  const Case cases[] = {
      {"linked folder T", "T", false, true},
      {"linked sub-folder", "T/sub", false, true},
      {"linked folder in a selection", "sub", true, true},
      {"linked file", "T/a.txt", false, false},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const std::string chosen = dir / "chosen", outside = dir / "outside";
    fs::create_directories(outside);
    WriteLocalFile(outside + "/a.txt", "victim", 0);
    fs::create_directories(fs::path(chosen + "/" + c.plant).parent_path());
    fs::create_symlink(std::string(c.plant) == "T/a.txt" ? outside + "/a.txt" : outside,
                       chosen + "/" + c.plant);
    // The user's own choice is a link to the real folder.
    fs::create_directory_symlink(chosen, dir / "link-to-chosen");
    TreeSaver saver(*terminal, *files);
    const auto save = [&] {
      if (!c.viaSelection) return saver.SaveDeviceTree(dir / "link-to-chosen", "", "T");
      std::vector<std::string> sub;
      for (const std::string& line : Listing("/T"))
        if (line.rfind("sub\t", 0) == 0) sub.push_back(line);
      return saver.SaveEntries(dir / "link-to-chosen", "/T", sub);
    };
    if (c.refused) {
      EXPECT_THROW(save(), LocalFileError) << c.what;
    } else {
      EXPECT_EQ(save().saved, 4) << c.what;
      EXPECT_EQ(Slurp(chosen + "/T/a.txt"), "alpha");
      EXPECT_FALSE(fs::is_symlink(chosen + "/T/a.txt"));
    }
    std::vector<std::string> there;
    for (const auto& e : fs::directory_iterator(outside)) there.push_back(e.path().filename());
    EXPECT_EQ(there, std::vector<std::string>{"a.txt"}) << c.what;
    EXPECT_EQ(Slurp(outside + "/a.txt"), "victim") << c.what;
  }
}

// Names up to the file system's longest save (the temporary name is short); longer ones, here
// after Windows-1252 became UTF-8, are skipped with a reason and the save goes on.
TEST_F(Saver, LongNamesSaveAndTooLongOnesAreSkipped) {
  const std::string tooLong(130, '\xE9');  // 260 bytes as UTF-8
  Device([&](SimDevice& s) {
    SimFileSystem& fs = s.Files().Files();
    fs.MakeDirectory("/L", 0);
    for (size_t n : {248, 251, 255}) fs.WriteFile("/L/" + std::string(n, 'n'), "long", 0);
    fs.WriteFile("/L/" + tooLong, "x", 0);
    fs.MakeDirectory("/L/" + tooLong + "d", 0);
    fs.WriteFile("/L/z.txt", "last", 0);
  });
  TreeSaver saver(*terminal, *files);
  const TreeSaver::Result r = saver.SaveDeviceTree(local.path, "", "L");
  EXPECT_TRUE(r.result.ok()) << DescribeResult(r.result);
  EXPECT_EQ(r.saved, 4);
  for (size_t n : {248, 251, 255}) EXPECT_EQ(Slurp(local / "L/" + std::string(n, 'n')), "long");
  EXPECT_EQ(Slurp(local / "L/z.txt"), "last");
  ASSERT_EQ(r.skipped.size(), 2u);
  for (const TreeSaver::Skipped& skipped : r.skipped) {
    EXPECT_EQ(skipped.path.rfind("/L/" + tooLong, 0), 0u);
    EXPECT_NE(skipped.why.find("too long"), std::string::npos);
  }
  // Nothing else, no temporary file, is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(local / "L"), fs::directory_iterator()), 4);
}

TEST_F(Saver, UnparsableLineInsideATreeEndsTheRun) {
  Device([](SimDevice& s) { s.Files().Faults().extraListing = {"bad\tbig\t32"}; });
  TreeSaver saver(*terminal, *files);
  EXPECT_EQ(saver.SaveDeviceTree(local.path, "", "T").result.reason, Reason::BadReply);
}

}  // namespace
