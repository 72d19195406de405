#include "ops/FirmwareUpdate.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "comms/Ticks.h"
#include "sim/HidRig.h"

using namespace vxk;

namespace {

TEST(FirmwarePaths, ImagesLeaveTheDropLastFirstWithCaseFoldedTests) {
  struct Case {
    std::vector<std::string> dropped;
    std::vector<std::string> images;
    std::vector<std::string> rest;
    bool bootLoader;
  };
  const Case cases[] = {
      {{"/d/a.blf", "/d/notes.txt", "/d/b.blf"}, {"/d/b.blf", "/d/a.blf"}, {"/d/notes.txt"}, false},
      {{"/d/X.BLF", "/d/x.blfx", "/d/blf"}, {"/d/X.BLF"}, {"/d/x.blfx", "/d/blf"}, false},
      {{"/Bootloader/x.blf"}, {"/Bootloader/x.blf"}, {}, true},
      {{"/d/BootLoader.txt", "/d/app.blf"}, {"/d/app.blf"}, {"/d/BootLoader.txt"}, false},
      // Only ASCII folds: the dotless capital I (0xC4 0xB0) is not an "i".
      {{"/d/bootloader.blf", "/d/BOOTLOADER.blf"},
       {"/d/BOOTLOADER.blf", "/d/bootloader.blf"},
       {},
       true},
      {{"/d/BOOTLOADER\xC4\xB0.txt"}, {}, {"/d/BOOTLOADER\xC4\xB0.txt"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> dropped = c.dropped;
    const DroppedFirmware found = TakeFirmwarePaths(dropped);
    EXPECT_EQ(found.paths, c.images) << c.dropped.front();
    EXPECT_EQ(dropped, c.rest) << c.dropped.front();
    EXPECT_EQ(found.bootLoaderImage, c.bootLoader) << c.dropped.front();
  }
  EXPECT_EQ(AsciiLower("FIRM\xC3\x89.BLF"), "firm\xC3\x89.blf");
}

TEST(FirmwarePaths, OnlyRegularFilesAreRead) {
  char dir[] = "/tmp/vxkfwXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string base = dir;
  std::ofstream(base + "/ok.blf", std::ios::binary) << std::string("\0\x01\xFFimage", 8);
  ASSERT_EQ(mkfifo((base + "/fifo.blf").c_str(), 0600), 0);
  EXPECT_EQ(ReadImageFile(base + "/ok.blf", "ok.blf"), std::string("\0\x01\xFFimage", 8));
  const int64_t start = TickCount();
  EXPECT_THROW(ReadImageFile(base + "/fifo.blf", "fifo.blf"), LocalFileError);
  EXPECT_LT(TickCount() - start, 1000);  // a FIFO with no writer does not block
  EXPECT_THROW(ReadImageFile(base, "dir"), LocalFileError);
  EXPECT_THROW(ReadImageFile(base + "/missing.blf", "missing.blf"), LocalFileError);
  unlink((base + "/ok.blf").c_str());
  unlink((base + "/fifo.blf").c_str());
  rmdir(dir);
}

// The boot sequence against the virtual device on the fake USB bus, which re-enumerates it.
class BootSequence : public ::testing::Test {
 protected:
  BootSequence() : terminal(rig.link), files(terminal) {
    rig.backend.WithDevice([](VirtualDevice&) {});
    BootLoaderSettings& s = rig.sim.Loader().Settings();
    s.restartMs = 200;
    s.stageMs = {200, 200, 200};
    EXPECT_TRUE(rig.link.Open());
  }

  FirmwareUpdate Update() {
    FirmwareUpdate::Hooks hooks;
    hooks.status = [this](const std::string& text, int style) {
      lines.push_back(std::to_string(style) + ":" + text);
    };
    // The device's own delays are real; the tool's fixed waits run twenty times faster.
    hooks.sleep = [this](int ms) {
      slept.push_back(ms);
      SleepMs(ms / 20);
    };
    return FirmwareUpdate(terminal, files, hooks);
  }
  template <class Fn>
  void OnDevice(Fn fn) {
    rig.backend.WithDevice([&](VirtualDevice&) { fn(rig.sim.Loader()); });
  }
  // The status lines with the dots of the boot wait folded into one.
  std::vector<std::string> Folded() const {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
      if (l == "2:." && !out.empty() && out.back() == "2:.") continue;
      out.push_back(l);
    }
    return out;
  }

  HidRig rig;
  TvxTerminal terminal;
  TvxkFiles files;
  std::vector<std::string> lines;
  std::vector<int> slept;
};

TEST_F(BootSequence, ImagesGoInOrderThroughTheStagesAndTheFirmwareRunsAgain) {
  FirmwareUpdate update = Update();
  const std::vector<FirmwareImage> images = {{"b.blf", std::string(5000, 'b')}, {"A.blf", "aaa"}};
  EXPECT_TRUE(update.InstallImages(images, true).ok());
  const std::vector<std::string> upload = {"2:\r\nUpload BLF\r\n", "1:b.blf",       "0: / 5000\r\n",
                                           "2: load\r\n",          "2: verify\r\n", "2: burn\r\n",
                                           "2:\r\nUpload BLF\r\n", "1:A.blf",       "0: / 3\r\n",
                                           "2: load\r\n",          "2: verify\r\n", "2: burn\r\n"};
  std::vector<std::string> expected = {"2:Rebooting...", "2:.", "2:\r\n"};
  expected.insert(expected.end(), upload.begin(), upload.end());
  for (const char* l : {"2:Rebooting...", "2:.", "2:\r\n", "2:Run firmware...", "2:\r\n"}) {
    expected.push_back(l);
  }
  EXPECT_EQ(Folded(), expected);
  ASSERT_GE(slept.size(), 2u);
  EXPECT_EQ(slept[0], 2000);
  EXPECT_EQ(slept[1], 1000);
  OnDevice([](BootLoader& loader) {
    ASSERT_EQ(loader.Images().size(), 2u);
    EXPECT_EQ(loader.Images()[0].name, "b.blf");
    EXPECT_EQ(loader.Images()[0].data, std::string(5000, 'b'));
    EXPECT_EQ(loader.Images()[1].name, "A.blf");
    EXPECT_EQ(loader.Boots(), 2);
    EXPECT_EQ(loader.Runs(), 1);
    EXPECT_FALSE(loader.Active());
  });
}

TEST_F(BootSequence, ADeviceThatNeverShowsItsBootLoaderFailsAndStillGetsRun) {
  OnDevice([](BootLoader& loader) { loader.Settings().product = "vx.keeper Loader"; });
  FirmwareUpdate update = Update();
  EXPECT_EQ(update.InstallImages({{"a.blf", "a"}}, false).reason, Reason::TimedOut);
  std::vector<std::string> expected = {"2:Rebooting..."};
  expected.insert(expected.end(), 15, "2:.");
  for (const char* l : {"1:FAILED", "2:Run firmware...", "2:\r\n"}) expected.push_back(l);
  EXPECT_EQ(lines, expected);
  int total = 0;
  for (int ms : slept) total += ms;
  EXPECT_EQ(total, 17000);
  OnDevice([](BootLoader& loader) {
    EXPECT_TRUE(loader.Images().empty());
    EXPECT_EQ(loader.Runs(), 1);  // the reopened link carried "run"
  });
}

TEST_F(BootSequence, AStageThatOutlastsItsTimeOutIsStillWaitedFor) {
  OnDevice([](BootLoader& loader) { loader.Settings().stageMs = {1500, 200, 200}; });
  FirmwareUpdate update = Update();
  ASSERT_TRUE(update.EnterBootLoader());
  EXPECT_TRUE(update.UploadBootImage({"x.blf", "xyz"}));
  // Back only after the burn: the device takes commands again at once.
  bool busy = true;
  rig.backend.WithDevice([&](VirtualDevice& d) { busy = d.Busy(); });
  EXPECT_FALSE(busy);
  EXPECT_TRUE(update.UploadBootImage({"y.blf", "y"}));
  OnDevice([](BootLoader& loader) { EXPECT_EQ(loader.Images().size(), 2u); });
}

TEST_F(BootSequence, ALoadWithoutSendFileSkipsTheStages) {
  terminal.SetWaits(Timeouts().Scaled(0.25, 400));  // the go-ahead is waited for in vain
  FirmwareUpdate update = Update();
  ASSERT_TRUE(update.EnterBootLoader());
  OnDevice([](BootLoader& loader) { loader.Settings().answerLoad = false; });
  lines.clear();
  const int64_t start = TickCount();
  EXPECT_FALSE(update.UploadBootImage({"x.blf", "xyz"}));
  EXPECT_LT(TickCount() - start, 15000);
  EXPECT_EQ(lines, (std::vector<std::string>{"2:\r\nUpload BLF\r\n", "1:x.blf", "0: / 3\r\n"}));
}

}  // namespace
