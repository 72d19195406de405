// The tool's memory with a large folder listed and a large file opened. Each scenario runs in
// a fresh process of this program, so that what earlier tests left on the heap does not count.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "UiTestSupport.h"
#include "sim/ChildProcess.h"
#include "ui/FileOperations.h"
#include "ui/PagedView.h"
#include "ui/ufmFile.h"

using namespace vxk;

namespace {

constexpr char kScenarioEnv[] = "VXK_MEMORY_SCENARIO";
constexpr long kBoundKb = 80 * 1024;

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

void Report(const char* name, long kb) {
  std::printf("memory.%s %.1f MB\n", name, kb / 1024.0);
  std::fflush(stdout);
}

// The virtual device with /Bulk: a listing of about 64 KiB and big.txt, 10 MiB of log lines.
class LargeFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv(kScenarioEnv)) GTEST_SKIP() << "run by MemoryBound.* in a process of its own";
    SimFileSystem& fs = sim.Files().Files();
    const uint32_t stamp = (44u << 25) | (5u << 21) | (1u << 16) | (12u << 11);
    ASSERT_EQ(fs.MakeDirectory("/Bulk", stamp), SimFileSystem::Result::Ok);
    for (int i = 0; i < 1300; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/Bulk/rec%05d.csv", i);
      ASSERT_EQ(fs.WriteFile(name, "1", stamp), SimFileSystem::Result::Ok);
    }
    std::string big;
    big.reserve(kBigSize);
    for (int i = 0; big.size() < kBigSize; ++i) {
      big += "2024-05-01 12:00:" + std::to_string(10 + i % 50) + ",level," + std::to_string(i) +
             ",temp,21.5,rain,0.2\r\n";
    }
    big.resize(kBigSize);
    ASSERT_EQ(fs.WriteFile("/Bulk/big.txt", big, stamp), SimFileSystem::Result::Ok);
    big = std::string();
    // The listing the tool is about to read really is about 64 KiB.
    sim.Device().Receive(0, "NFDIR @\"/Bulk\"\r");
    const size_t listing = sim.Device().TakeOutput(0, SIZE_MAX).size();
    ASSERT_GE(listing, 64u * 1024);
    ASSERT_LT(listing, 80u * 1024);

    backend = std::make_unique<FakeHidBackend>(&sim.Device());
    tool = std::make_unique<Tool>(std::vector<std::string>{}, backend.get());
    tool->window->show();
    ASSERT_TRUE(WaitUntil([&] { return list()->topLevelItemCount() > 0; }, 5000));
    Select("Bulk");
    QTest::keyClick(list(), Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return list()->topLevelItemCount() >= 1301; }, 30000));
    Report("rss_listed", StatusKb("VmRSS"));
  }
  void TearDown() override {
    if (tool) Report("rss_peak", StatusKb("VmHWM"));
  }
  QTreeWidget* list() { return tool->window->Browser().lvFiles; }
  void Select(const QString& name) {
    const auto found = list()->findItems(name, Qt::MatchExactly, 0);
    ASSERT_FALSE(found.isEmpty()) << name.toStdString();
    list()->clearSelection();
    list()->setCurrentItem(found.first());
  }

  static constexpr size_t kBigSize = 10u << 20;
  SimDevice sim;
  std::unique_ptr<FakeHidBackend> backend;
  std::unique_ptr<Tool> tool;
};

TEST_F(LargeFolder, SaveToPc) {
  QTemporaryDir target;
  tool->window->Ops().ChooseFolder = [&](const QString&, const QString&) { return target.path(); };
  Select("big.txt");
  tool->window->Ops().actSave->trigger();
  ASSERT_TRUE(tool->Idle(60000));
  std::ifstream saved((target.path() + "/big.txt").toStdString(), std::ios::binary | std::ios::ate);
  EXPECT_EQ(static_cast<size_t>(saved.tellg()), kBigSize);
  Report("rss_saved", StatusKb("VmRSS"));
}

TEST_F(LargeFolder, Editor) {
  TfmFile& editor = tool->window->FileEditor();
  long shownKb = -1;
  size_t shownLines = 0;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != &editor || shownKb >= 0) return;
    Pump(200);  // layout and the first paint
    shownLines = editor.pvFile->isVisible() ? editor.pvFile->LineCount() : 0;
    shownKb = StatusKb("VmRSS");
    editor.btnCancel->click();
  });
  poll.start();
  Select("big.txt");
  QTest::keyClick(list(), Qt::Key_Return);
  ASSERT_TRUE(tool->Idle(60000));
  ASSERT_GE(shownKb, 0) << "the editor did not open";
  EXPECT_GT(shownLines, kBigSize / 64);  // the text, not a hex dump or a part of it
  Report("rss_editor_open", shownKb);
  Report("rss_editor_closed", StatusKb("VmRSS"));
}

// A 100 MiB log handed to the editor as a device read gives it (the transfer itself is the
// link's business): the view opens with the whole file, read-only.
TEST(LargeLog, Viewer) {
  if (!std::getenv(kScenarioEnv)) GTEST_SKIP() << "run by MemoryBound.* in a process of its own";
  Tool tool({});
  tool.window->show();
  std::string log;
  {
    const size_t size = size_t(100) << 20;
    log.reserve(size);
    for (int i = 0; log.size() < size; ++i)
      log += "2024-05-01 12:00:00,INFO,modem,record " + std::to_string(i) + " sent,rssi=-71\r\n";
    log.resize(size);
  }
  TfmFile& editor = tool.window->FileEditor();
  long shownKb = -1;
  size_t lines = 0;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != &editor || shownKb >= 0) return;
    Pump(200);
    lines = editor.pvFile->LineCount();
    shownKb = StatusKb("VmRSS");
    editor.btnCancel->click();
  });
  poll.start();
  editor.EditContent("/Logs/modem.log", log);
  ASSERT_GE(shownKb, 0) << "the viewer did not open";
  EXPECT_GT(lines, log.size() / 80);
  Report("rss_viewer_open", shownKb);
}

// Runs one scenario above in a process of its own; returns its figures by name, in kB.
std::map<std::string, long> RunScenario(const std::string& name) {
  std::map<std::string, long> figures;
  ChildProcess child;
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return figures;
  EXPECT_TRUE(child.Start({self, "--gtest_filter=" + name}, {std::string(kScenarioEnv) + "=1"}));
  EXPECT_EQ(child.Wait(120000), 0) << child.Output();
  std::istringstream out(child.Output());
  std::string line;
  while (std::getline(out, line)) {
    char figure[64];
    double mb = 0;
    if (std::sscanf(line.c_str(), "memory.%63s %lf MB", figure, &mb) == 2) {
      figures[figure] = static_cast<long>(mb * 1024);
      std::printf("%s\n", line.c_str());  // the figures show in this test's output
    }
  }
  return figures;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // shadow memory and quarantine make RSS meaningless
#else
constexpr bool kSanitized = false;
#endif

TEST(MemoryBound, LargeListingAndFileSavedToPc) {
  auto figures = RunScenario("LargeFolder.SaveToPc");
  ASSERT_TRUE(figures.count("rss_saved")) << "the scenario did not finish";
  if (kSanitized) GTEST_SKIP() << "RSS not bounded under AddressSanitizer";
  EXPECT_LT(figures["rss_listed"], kBoundKb);
  EXPECT_LT(figures["rss_saved"], kBoundKb);
}

TEST(MemoryBound, LargeListingAndFileInTheEditor) {
  auto figures = RunScenario("LargeFolder.Editor");
  ASSERT_TRUE(figures.count("rss_editor_closed")) << "the scenario did not finish";
  if (kSanitized) GTEST_SKIP() << "RSS not bounded under AddressSanitizer";
  // The whole process, the virtual device's copy of the file included.
  EXPECT_LT(figures["rss_editor_open"], kBoundKb);
  EXPECT_LT(figures["rss_editor_closed"], kBoundKb);
}

TEST(MemoryBound, HundredMiBLogInTheViewer) {
  auto figures = RunScenario("LargeLog.Viewer");
  ASSERT_TRUE(figures.count("rss_viewer_open")) << "the scenario did not finish";
  if (kSanitized) GTEST_SKIP() << "RSS not bounded under AddressSanitizer";
  EXPECT_LT(figures["rss_viewer_open"], 300 * 1024);
}

}  // namespace
