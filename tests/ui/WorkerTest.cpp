// The windows' side of the worker: results on the window thread and never to a receiver that
// is gone, busy without a gap across an operation and what its result starts, Cancel through
// the real window in the middle of a transfer, and a window that keeps answering while the
// device keeps it waiting.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "UiTestSupport.h"
#include "ui/FileOperations.h"
#include "ui/StatusArea.h"
#include "ui/SupportActions.h"
#include "ui/ufmDiag.h"

using namespace vxk;

namespace {

TEST(UiRunner, ResultsComeToTheWindowThreadOnlyWhileTheReceiverLives) {
  FakeHidBackend hid;  // no device: nothing here talks to one
  ScratchLock lock;
  auto runner = std::make_unique<UiRunner>(SessionSettings{}, hid, lock.Lock());
  std::vector<bool> busy;
  QObject::connect(runner.get(), &UiRunner::BusyChanged, [&](bool on) { busy.push_back(on); });

  // Progress comes as the latest value, on this thread; what a done posts keeps it busy.
  std::vector<int64_t> seen;
  std::thread::id doneOn;
  bool second = false;
  UiRunner::Op op;
  op.what = QStringLiteral("first");
  op.run = [](Session&, const OpContext& context) {
    for (int64_t i = 1; i <= 2000; ++i) context.Progress(i, 2000);
    return OpResult::Done();
  };
  op.progress = [&](int64_t done, int64_t) { seen.push_back(done); };
  QObject receiver;
  op.done = [&](const OpResult&) {
    doneOn = std::this_thread::get_id();
    UiRunner::Op next;
    next.what = QStringLiteral("second");
    next.run = [](Session&, const OpContext&) { return OpResult::Done(); };
    next.done = [&](const OpResult&) { second = true; };
    runner->Post(&receiver, std::move(next));
  };
  runner->Post(&receiver, std::move(op));
  ASSERT_TRUE(Idle(*runner, 5000));
  EXPECT_TRUE(second);
  EXPECT_EQ(doneOn, std::this_thread::get_id());
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 2000);
  EXPECT_LT(seen.size(), 2000u);  // never one queued call per step
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));

  // A receiver that went while its operation ran gets nothing.
  std::atomic<bool> release{false};
  bool delivered = false;
  auto gone = std::make_unique<QObject>();
  UiRunner::Op slow;
  slow.what = QStringLiteral("slow");
  slow.run = [&](Session&, const OpContext&) {
    while (!release) SleepMs(2);
    return OpResult::Done();
  };
  slow.done = [&](const OpResult&) { delivered = true; };
  runner->Post(gone.get(), slow);
  gone.reset();
  release = true;
  ASSERT_TRUE(Idle(*runner, 5000));
  EXPECT_FALSE(delivered);

  // Nor does anybody once the runner itself is gone while the worker still works.
  release = false;
  runner->Post(&receiver, slow);
  const int64_t before = TickCount();
  runner.reset();  // waits a bounded time, then leaves the worker to finish
  EXPECT_LT(TickCount() - before, DeviceRunner::kStopWaitMs + 500);
  release = true;
  Pump(50);
  EXPECT_FALSE(delivered);
}

TEST(UiRunner, CancelStopsTheUsersOperationEvenBeforeItStarts) {
  FakeHidBackend hid;
  ScratchLock lock;
  UiRunner runner(SessionSettings{}, hid, lock.Lock());
  std::atomic<bool> release{false};
  UiRunner::Op poll;  // a quiet one is running when the user asks to stop
  poll.quiet = true;
  poll.run = [&](Session&, const OpContext&) {
    while (!release) SleepMs(2);
    return OpResult::Done();
  };
  QObject receiver;
  runner.Post(&receiver, poll);
  bool ran = false;
  OpResult result;
  UiRunner::Op user;
  user.what = QStringLiteral("user");
  user.run = [&](Session&, const OpContext&) {
    ran = true;
    return OpResult::Done();
  };
  user.done = [&](const OpResult& r) { result = r; };
  runner.Post(&receiver, user);
  runner.Cancel();
  release = true;
  ASSERT_TRUE(Idle(runner, 5000));
  EXPECT_FALSE(ran);
  EXPECT_EQ(result.reason, Reason::Cancelled);
}

TEST(StatusArea, ProgressAndEndTexts) {
  struct Row {
    int64_t done, total, elapsedMs;
    const char* text;
  };
  const Row rows[] = {
      {0, 1500000, 0, "0%  0 B of 1.43 MB"},
      {315392, 1500000, 7885, "21%  308.0 KB of 1.43 MB  39.1 KB/s  0:30 left"},
      {1500000, 1500000, 37000, "100%  1.43 MB of 1.43 MB  39.6 KB/s"},
      {4096, 0, 1000, "4.0 KB  4.0 KB/s"},       // a total not known
      {512, 1024, 100, "50%  512 B of 1.0 KB"},  // too early for a rate
      {1, 2000000, 1000, "0%  1 B of 1.91 MB  1 B/s  555:33:19 left"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(StatusArea::ProgressText(r.done, r.total, r.elapsedMs), QString::fromUtf8(r.text))
        << r.done << " of " << r.total;
  EXPECT_EQ(StatusArea::EndText(QStringLiteral("Save to PC"), OpResult::Done()), "Done");
  EXPECT_EQ(
      StatusArea::EndText(QStringLiteral("Upload"), OpResult::Fail(Reason::Refused, "5:Disk full")),
      "Upload: 5:Disk full");
  EXPECT_EQ(StatusArea::EndText(QStringLiteral("Save to PC"), OpResult::Fail(Reason::Cancelled)),
            "Save to PC: cancelled");
}

// No window holds the link, the terminal engine or the file layer: they are reached only
// through the session an operation is given on the worker.
TEST(UiRunner, NoWindowReachesTheDeviceDirectly) {
  const QRegularExpression held(QStringLiteral("\\b(TvxComms|TvxTerminal|TvxkFiles)\\s*[&*]"));
  const QRegularExpression reached(QStringLiteral("(\\.|->)(Link|Terminal|Files)\\(\\)"));
  const QRegularExpression throughSession(
      QStringLiteral("\\b(s|session)\\.(Link|Terminal|Files)\\(\\)"));
  QDirIterator files(QStringLiteral(VXK_SOURCE_DIR "/ui"), {"*.h", "*.cpp"}, QDir::Files);
  int checked = 0;
  while (files.hasNext()) {
    const QString path = files.next();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    int number = 0;
    for (const QByteArray& bytes : file.readAll().split('\n')) {
      ++number;
      QString line = QString::fromUtf8(bytes);
      EXPECT_FALSE(held.match(line).hasMatch()) << path.toStdString() << ":" << number;
      line.remove(throughSession);
      EXPECT_FALSE(reached.match(line).hasMatch()) << path.toStdString() << ":" << number;
    }
    ++checked;
  }
  EXPECT_GT(checked, 40);
}

// The open sequence has run: the device is shown (whatever folder an earlier test left).
bool Opened(Tool& tool) {
  QPlainTextEdit* info = tool.window->Browser().memInfo;
  return WaitUntil([&] { return info->toPlainText().startsWith(QStringLiteral("Corvane")); },
                   10000) &&
         tool.Idle();
}

// A big file moves slowly enough to be stopped halfway.
constexpr size_t kBigSize = 96 * 1024;
constexpr int kSlowReports = 500;  // a second, each way: about 30 KB/s

enum class Act { SaveToPc, Upload, Archive };

struct CancelRow {
  const char* name;
  Act act;
  int deviceWaitMs;  // the longest the stop may wait for the device: one of its time-outs
};

const CancelRow kCancelRows[] = {
    // A stopped read takes and drops the rest of the file for this long at most.
    {"SaveToPc", Act::SaveToPc, Timeouts{}.drainTotalMs},
    // A stopped upload waits for the device to give up on the missing data.
    {"Upload", Act::Upload, VirtualDevice::kReceiveTimeoutMs},
    {"Archive", Act::Archive, Timeouts{}.drainTotalMs},
};

void PrintTo(const CancelRow& row, std::ostream* out) {
  *out << row.name;
}

class CancelMidTransfer : public ::testing::TestWithParam<CancelRow> {
 protected:
  void SetUp() override {
    SimFileSystem& fs = sim.Files().Files();
    fs.MakeDirectory("/T", 0);
    fs.WriteFile("/T/big.bin", big_, 0);
    fs.WriteFile("/T/small.txt", "s", 0);
    fs.WriteFile("/Config/big.cfg", big_, 0);
    backend = std::make_unique<FakeHidBackend>(&sim.Device());
    tool = std::make_unique<Tool>(std::vector<std::string>{}, backend.get());
    tool->window->show();
    tool->window->activateWindow();
    ASSERT_TRUE(Opened(*tool));
    // Esc reaches the window's Cancel only in the active window.
    ASSERT_TRUE(
        WaitUntil([&] { return QApplication::activeWindow() == tool->window.get(); }, 3000));
    tool->window->Ops().ChooseFolder = [this](const QString&, const QString&) {
      return scratch.path();
    };
    TfmDiag* diag = tool->window->Support().fmDiag();
    diag->ChooseFile = [this](const QString&, const QString&) { return Local("diag.zip"); };
    for (QCheckBox* box : {diag->cbRoot, diag->cbLua, diag->cbLogs}) box->setChecked(false);
    Put("big.bin", "old local");
    Put("diag.zip", "old archive");
    upload_ = Put("upload.bin", big_);
    tool->window->Browser().ShowDeviceDirectory("/T");
    ASSERT_TRUE(tool->Idle());
    const auto found = list()->findItems(QStringLiteral("big.bin"), Qt::MatchExactly, 0);
    ASSERT_FALSE(found.isEmpty());
    list()->setCurrentItem(found.first());
    QObject::connect(&tool->Runner(), &UiRunner::Progress, [this](qint64 done, qint64 total) {
      if (total == static_cast<qint64>(kBigSize)) moved_ = done * 100 / total;
    });
  }
  void TearDown() override { tool->window->close(); }

  QTreeWidget* list() { return tool->window->Browser().lvFiles; }
  QString Local(const char* name) { return scratch.path() + "/" + name; }
  QString Put(const char* name, const std::string& content) {
    QFile f(Local(name));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content.data(), static_cast<qint64>(content.size()));
    return f.fileName();
  }
  QByteArray Slurp(const char* name) {
    QFile f(Local(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
  }

  SimDevice sim;
  std::unique_ptr<FakeHidBackend> backend;
  std::unique_ptr<Tool> tool;
  QTemporaryDir scratch;
  const std::string big_ = std::string(kBigSize, 'b');
  QString upload_;
  int64_t moved_ = 0;  // percent of the transfer under way
};

TEST_P(CancelMidTransfer, IdleSoonNothingChangedDeviceAtItsPrompt) {
  const CancelRow& row = GetParam();
  backend->SetReportRate(kSlowReports);
  TfmDiag* diag = tool->window->Support().fmDiag();
  switch (row.act) {
    case Act::SaveToPc:
      tool->window->Ops().actSave->trigger();
      break;
    case Act::Upload:
      tool->window->Ops().dftFilesDrop({upload_}, true);
      break;
    case Act::Archive:
      // Shown without a loop of its own, so that this test goes on meanwhile.
      diag->show();
      diag->SaveClick();
      break;
  }
  ASSERT_TRUE(WaitUntil([&] { return moved_ >= 20; }, 10000)) << "no transfer under way";
  ASSERT_LT(moved_, 80);
  const int64_t cancelled = TickCount();
  if (row.act == Act::Archive) {
    QTest::keyClick(diag, Qt::Key_Escape);  // stops the save; the dialog stays
  } else {
    // Esc in the terminal stops the operation instead of going to the device.
    QTest::keyClick(tool->window->Pane().reTerm(), Qt::Key_Escape);
  }
  ASSERT_TRUE(WaitUntil(
      [&] { return !tool->Runner().Busy() && !(diag->isVisible() && diag->Saving()); }, 20000));
  const int64_t tookMs = TickCount() - cancelled;
  backend->SetReportRate(0);
  if (diag->isVisible()) diag->reject();
  std::printf("%-9s stopped after %3d%%, idle %5.2f s later (bound %5.2f s)\n", row.name,
              static_cast<int>(moved_), tookMs / 1000.0, (1000 + row.deviceWaitMs) / 1000.0);
  EXPECT_LE(tookMs, 1000 + row.deviceWaitMs);
  EXPECT_TRUE(tool->window->Status().Text().endsWith(QStringLiteral("cancelled")))
      << tool->window->Status().Text().toStdString();

  // Nothing local changed, nothing half written on the device.
  EXPECT_EQ(Slurp("big.bin"), "old local");
  EXPECT_EQ(Slurp("diag.zip"), "old archive");
  EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"big.bin", "diag.zip", "upload.bin"}));
  bool deviceBusy = true;
  backend->WithDevice([&](VirtualDevice& d) {
    deviceBusy = d.Busy();
    EXPECT_EQ(sim.Files().Files().Find("/T/upload.bin"), nullptr);
  });
  EXPECT_FALSE(deviceBusy);

  // The device is at its prompt: the next listing is right.
  list()->clear();
  tool->window->Browser().ShowDeviceDirectory("/T");
  ASSERT_TRUE(tool->Idle());
  QStringList names;
  for (int i = 0; i < list()->topLevelItemCount(); ++i) names << list()->topLevelItem(i)->text(0);
  EXPECT_EQ(names, (QStringList{"..", "big.bin", "small.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, CancelMidTransfer, ::testing::ValuesIn(kCancelRows),
                         [](const ::testing::TestParamInfo<CancelRow>& info) {
                           return std::string(info.param.name);
                         });

// Closing the window in the middle of a transfer stops it and waits 2 s at most.
using CloseMidTransfer = CancelMidTransfer;
TEST_F(CloseMidTransfer, StopsTheTransferAndWaitsTwoSecondsAtMost) {
  // The stopped read's rest is dropped within the shorter waits of a quick link.
  tool->Worker([](Session& s) {
    s.Terminal().SetWaits(Timeouts{}.Scaled(0.2));
    return true;
  });
  backend->SetReportRate(kSlowReports);
  tool->window->Ops().actSave->trigger();
  ASSERT_TRUE(WaitUntil([&] { return moved_ >= 20; }, 10000)) << "no transfer under way";
  const int64_t before = TickCount();
  tool->window->close();
  const int64_t tookMs = TickCount() - before;
  EXPECT_LT(tookMs, DeviceRunner::kStopWaitMs);
  EXPECT_FALSE(tool->Runner().Busy());
  EXPECT_EQ(Slurp("big.bin"), "old local");
}

// A device that stays silent behind a round-trip time of 8 s, as over a cellular link: F5
// waits for it on the worker while the window's timers keep their time.
TEST(KeepsAnswering, RefreshAgainstASilentDeviceAtALongRoundTrip) {
  SimDevice sim;
  FakeHidBackend backend(&sim.Device());
  Tool tool({"-rtt=8000"}, &backend);
  tool.window->show();
  ASSERT_TRUE(Opened(tool));
  backend.WithDevice([](VirtualDevice& d) { d.InjectFault({StreamFault::Kind::Stall, false, 0}); });
  int64_t last = -1;
  int64_t longest = 0;
  QTimer beat;
  beat.setTimerType(Qt::PreciseTimer);
  beat.setInterval(20);
  QObject::connect(&beat, &QTimer::timeout, [&] {
    const int64_t now = TickCount();
    if (last >= 0) longest = std::max(longest, now - last);
    last = now;
  });
  beat.start();
  tool.window->Browser().actRefresh->trigger();
  const int64_t start = TickCount();
  bool waiting = true;
  while (TickCount() - start < 3000) {
    waiting = waiting && tool.Runner().Busy();
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    SleepMs(2);
  }
  beat.stop();
  std::printf("longest pause of a 20 ms timer during 3 s of F5 against a silent device: %lld ms\n",
              static_cast<long long>(longest));
  EXPECT_TRUE(waiting) << "the listing did not wait for the device";
  EXPECT_LE(longest, 100);
  EXPECT_FALSE(tool.window->Browser().actRefresh->isEnabled());  // one operation at a time
  backend.WithDevice([](VirtualDevice& d) { d.InjectFault({}); });
  EXPECT_TRUE(tool.Idle(30000));
  EXPECT_TRUE(tool.window->Browser().actRefresh->isEnabled());
}

}  // namespace
