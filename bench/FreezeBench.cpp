// How long the main window's event loop stays away while an operation runs against the
// virtual device: a 10 ms timer inside the tool measures the longest gap between its ticks,
// from the start of the operation until the window is idle again. One figure per case,
// ui.max_freeze_ms.<case>, and ui.max_freeze_ms as the largest of them. The serial cases run
// at 11,520 B/s (VXK_BENCH_LINE_BYTES sets the size of the saved file, 1 MiB by default; the
// upload is a quarter of it).
#ifdef VXK_BENCH_GUI

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/ParamHandler.h"
#include "app/SessionOptions.h"
#include "bench/Bench.h"
#include "comms/Ticks.h"
#include "sim/FakeHidBackend.h"
#include "sim/PtyRig.h"
#include "sim/ScratchLock.h"
#include "sim/SimDevice.h"
#include "ui/FileOperations.h"
#include "ui/SupportActions.h"
#include "ui/ToolActions.h"
#include "ui/UiRunner.h"
#include "ui/ufmDiag.h"
#include "ui/ufmMain.h"
#include "ui/ufmTime.h"

namespace vxk {
namespace {

constexpr long kLineBytesPerSecond = 11520;
constexpr int kLineLatencyMs = 5;
constexpr int kSlowLatencyMs = 2000;  // each way: a device behind a slow cellular link
constexpr int kWaitMs = 300000;

size_t SaveBytes() {
  const char* text = std::getenv("VXK_BENCH_LINE_BYTES");
  const unsigned long long n = text && *text ? std::strtoull(text, nullptr, 10) : 0;
  return n > 0 ? static_cast<size_t>(n) : size_t(1) << 20;
}

// A main window on a command line, shown, with its device's top folder listed.
struct Window {
  Window(const std::vector<std::string>& args, HidBackend& hid, TerminalLock& lock) {
    TCommandLine options;
    options.Parse(TCommandLine::kAllowed, args);
    main = std::make_unique<TfmMain>(SessionSettingsFrom(options), hid, lock);
    main->show();
    if (!WaitFor([&] { return list()->topLevelItemCount() > 0; }, 60000)) Fail("no listing");
  }
  ~Window() { main->close(); }
  QTreeWidget* list() { return main->Browser().lvFiles; }
  void Show(const std::string& dir, const QString& select) {
    main->Browser().ShowDeviceDirectory(dir);
    if (!WaitFor([&] { return !main->Runner().Busy(); }, kWaitMs)) Fail("listing");
    const auto found = list()->findItems(select, Qt::MatchExactly, 0);
    if (found.isEmpty()) Fail("file not listed");
    list()->setCurrentItem(found.first());
  }
  std::unique_ptr<TfmMain> main;
};

// The longest gap of a 10 ms timer from start until the window is idle again.
double MaxFreezeMs(TfmMain& main, const std::function<void()>& start) {
  int64_t last = -1;
  int64_t longest = 0;
  bool started = false;
  QTimer beat;
  beat.setTimerType(Qt::PreciseTimer);
  beat.setInterval(10);
  QObject::connect(&beat, &QTimer::timeout, [&] {
    const int64_t now = TickCount();
    if (last >= 0) longest = std::max(longest, now - last);
    last = now;
  });
  beat.start();
  QTimer::singleShot(0, [&] {
    start();
    started = true;
  });
  if (!WaitFor(
          [&] { return started && !main.Runner().Busy() && !QApplication::activeModalWidget(); },
          kWaitMs))
    Fail("the operation did not end");
  longest = std::max(longest, TickCount() - last);
  return static_cast<double>(longest);
}

double Worst = 0;

void Figure(const std::string& name, double ms) {
  Worst = std::max(Worst, ms);
  Report("ui.max_freeze_ms." + name, ms, "ms");
}

void SilentRefresh() {
  SimDevice sim;
  FakeHidBackend hid(&sim.Device());
  ScratchLock lock;
  Window w({"-rtt=8000"}, hid, lock.Lock());
  hid.WithDevice([](VirtualDevice& d) { d.InjectFault({StreamFault::Kind::Stall, false, 0}); });
  Figure("f5_silent_rtt8000",
         MaxFreezeMs(*w.main, [&] { w.main->Browser().actRefresh->trigger(); }));
}

void SerialTransfers() {
  LinkTiming timing;
  timing.toDeviceLatencyMs = timing.toHostLatencyMs = kLineLatencyMs;
  timing.bytesPerSecond = kLineBytesPerSecond;
  PtyRig rig(timing);
  const size_t size = SaveBytes();
  rig.WithDevice([&](VirtualDevice&) {
    rig.sim.Files().Files().WriteFile("/Logs/big.bin", std::string(size, 'b'), 0);
  });
  FakeHidBackend none;
  Window w({"-com=" + rig.link.PortName()}, none, rig.lock.Lock());
  QTemporaryDir folder;
  w.main->Ops().ChooseFolder = [&](const QString&, const QString&) { return folder.path(); };
  if (Selected("ui.max_freeze_ms.save")) {
    w.Show("/Logs", QStringLiteral("big.bin"));
    Figure("save_" + std::to_string(size >> 10) + "kib_11520",
           MaxFreezeMs(*w.main, [&] { w.main->Ops().actSave->trigger(); }));
    if (QFile(folder.filePath("big.bin")).size() != static_cast<qint64>(size)) Fail("save");
  }
  if (Selected("ui.max_freeze_ms.upload")) {
    const QString local = folder.filePath("up.bin");
    QFile file(local);
    if (!file.open(QIODevice::WriteOnly)) Fail("local file");
    file.write(QByteArray(static_cast<qsizetype>(size / 4), 'u'));
    file.close();
    w.Show("/Logs", QStringLiteral("big.bin"));
    Figure("upload_" + std::to_string((size / 4) >> 10) + "kib_11520",
           MaxFreezeMs(*w.main, [&] { w.main->Ops().dftFilesDrop({local}, true); }));
  }
}

void SlowDevice() {
  LinkTiming timing;
  timing.toDeviceLatencyMs = timing.toHostLatencyMs = kSlowLatencyMs;
  PtyRig rig(timing);
  FakeHidBackend none;
  Window w({"-com=" + rig.link.PortName(), "-rtt=" + std::to_string(2 * kSlowLatencyMs)}, none,
           rig.lock.Lock());
  if (Selected("ui.max_freeze_ms.lcd"))
    Figure("lcd_latency_2s", MaxFreezeMs(*w.main, [&] { w.main->Tools().actLCD->trigger(); }));
  if (Selected("ui.max_freeze_ms.sync")) {
    TfmSyncTime* dialog = w.main->Tools().fmSyncTime();
    Figure("sync_time_latency_2s", MaxFreezeMs(*w.main, [&] {
             // The dialog shows, asks the device every second, and Sync is pressed a little later.
             QTimer::singleShot(2500, dialog, [dialog] {
               dialog->findChild<QPushButton*>(QStringLiteral("btnSyncTime"))->click();
             });
             w.main->Tools().actSyncTime->trigger();
           }));
  }
}

void Firmware() {
  SimDevice sim;
  FakeHidBackend hid(&sim.Device());
  ScratchLock lock;
  Window w({}, hid, lock.Lock());
  QTemporaryDir folder;
  const QString image = folder.filePath("app.blf");
  QFile file(image);
  if (!file.open(QIODevice::WriteOnly)) Fail("image file");
  file.write(QByteArray(64 * 1024, 'f'));
  file.close();
  Figure("firmware_bootloader", MaxFreezeMs(*w.main, [&] {
           QStringList dropped{image};
           w.main->InstallDroppedFirmware(dropped);
         }));
  hid.WithDevice([&](VirtualDevice&) {
    if (sim.Loader().Images().empty()) Fail("no image reached the boot loader");
  });
}

void Archive() {
  SimDevice sim;
  FakeHidBackend hid(&sim.Device());
  ScratchLock lock;
  hid.WithDevice([&](VirtualDevice&) {
    for (int i = 0; i < 200; ++i)
      sim.Files().Files().WriteFile("/Config/file" + std::to_string(1000 + i) + ".cfg",
                                    std::string(2000, 'c'), 0);
  });
  Window w({}, hid, lock.Lock());
  QTemporaryDir folder;
  TfmDiag* diag = w.main->Support().fmDiag();
  diag->ChooseFile = [&](const QString&, const QString&) { return folder.filePath("d.zip"); };
  for (QCheckBox* box : {diag->cbRoot, diag->cbLua, diag->cbLogs}) box->setChecked(false);
  Figure("diag_200_files", MaxFreezeMs(*w.main, [&] {
           diag->show();
           diag->SaveClick();
         }));
  if (diag->isVisible()) Fail("archive not written");
}

}  // namespace

void UiFreezeBench() {
  Worst = 0;
  if (Selected("ui.max_freeze_ms.f5")) SilentRefresh();
  if (Selected("ui.max_freeze_ms.save") || Selected("ui.max_freeze_ms.upload")) SerialTransfers();
  if (Selected("ui.max_freeze_ms.lcd") || Selected("ui.max_freeze_ms.sync")) SlowDevice();
  if (Selected("ui.max_freeze_ms.firmware")) Firmware();
  if (Selected("ui.max_freeze_ms.diag")) Archive();
  Report("ui.max_freeze_ms", Worst, "ms");
}

}  // namespace vxk

#endif  // VXK_BENCH_GUI
