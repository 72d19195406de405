// Figures of the main window: how fast device text goes into the terminal pane, how long a big
// folder takes to appear in the file list, what a large file costs in the editor, and what the
// running tool costs while idle.
#ifdef VXK_BENCH_GUI

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/ParamHandler.h"
#include "app/SessionOptions.h"
#include "bench/Bench.h"
#include "comms/Ticks.h"
#include "server/ChildStarter.h"
#include "sim/ChildProcess.h"
#include "sim/FakeHidBackend.h"
#include "sim/HidRig.h"
#include "sim/ScratchLock.h"
#include "ui/Application.h"
#include "ui/EditAction.h"
#include "ui/PagedView.h"
#include "ui/RichEditUtils.h"
#include "ui/ufmFile.h"
#include "ui/ufmMain.h"

namespace vxk {

namespace {

TCommandLine Options(const std::vector<std::string>& args) {
  TCommandLine options;
  options.Parse(TCommandLine::kAllowed, args);
  return options;
}

// The window as the user sees it, with its timers stopped so that only the measured work runs.
void ShowQuiet(TfmMain& main) {
  main.show();
  QCoreApplication::processEvents();
  main.Timer1->stop();
  main.Timer2->stop();
}

// Device output as an interpreter session produces it: lines of 60 to 80 printable characters
// ending in CR LF, and now and then a prompt framed by 0xAB and 0xBB.
std::string DeviceText(size_t size) {
  std::mt19937 random(7);
  std::string text;
  text.reserve(size + 128);
  while (text.size() < size) {
    const int length = 60 + static_cast<int>(random() % 21);
    for (int i = 0; i < length; ++i) text += static_cast<char>(' ' + random() % 95);
    text += "\r\n";
    if (random() % 16 == 0)
      text +=
          "\xAB"
          "vx.keeper>\xBB";
  }
  text.resize(size);
  return text;
}

void TerminalIngest() {
  const TCommandLine options = Options({"-com=0"});  // a serial link that never opens
  FakeHidBackend hid;
  ScratchLock lock;
  TfmMain main(SessionSettingsFrom(options), hid, lock.Lock());
  ShowQuiet(main);
  TerminalPane& pane = main.Pane();

  const size_t total = size_t(8) << 20;
  const size_t piece = 4096;
  const std::string text = DeviceText(total);
  // Each piece is followed by the repaint the event loop would do before the next poll.
  const double s = Seconds([&] {
    for (size_t at = 0; at < total; at += piece) {
      pane.ShowIncoming(text.substr(at, piece));
      QCoreApplication::processEvents();
    }
  });
  if (TextLength(pane.reTerm()) > TerminalPane::kLimit) Fail("terminal cap not kept");
  Report("ui.terminal_ingest_MBps", total / s / 1e6, "MB/s");
}

// A listing line as the device sends it: name, size, attributes, three packed date-times.
std::string ListingLine(const std::string& name, int size, int attributes) {
  return name + "\t" + std::to_string(size) + "\t" + std::to_string(attributes) +
         "\t1382972444\t1382972444\t1382972444";
}

double MedianMs(std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2] * 1000;
}

void FileList() {
  const int count = 2000;
  HidRig rig;
  rig.backend.WithDevice([&](VirtualDevice&) {
    SimFileSystem& fs = rig.sim.Files().Files();
    fs.MakeDirectory("/Many", 0);
    for (int i = 0; i < count; ++i) fs.WriteFile("/Many/file" + std::to_string(i) + ".dat", "x", 0);
  });
  const TCommandLine options = Options({});  // USB, to the rig's device
  TfmMain main(SessionSettingsFrom(options), rig.backend, rig.lock.Lock());
  ShowQuiet(main);
  FileBrowser& browser = main.Browser();
  QTreeWidget* list = browser.lvFiles;
  const int runs = 5;

  if (Selected("ui.list_2000_ms")) {
    std::vector<std::string> lines;
    lines.push_back(ListingLine(".", 0, 0x10));
    lines.push_back(ListingLine("..", 0, 0x10));
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "file%04d.dat", i);
      lines.push_back(ListingLine(name, 1000 + i, 0x20));
    }
    std::shuffle(lines.begin(), lines.end(), std::mt19937(11));
    // From a cleared list to the filled list painted, as a listing does it.
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
      list->clear();
      QCoreApplication::processEvents();
      times.push_back(Seconds([&] {
        list->setUpdatesEnabled(false);
        browser.FillList(lines);
        list->setUpdatesEnabled(true);
        QCoreApplication::processEvents();
      }));
      if (list->topLevelItemCount() != count + 1) Fail("list items");
    }
    Report("ui.list_2000_ms", MedianMs(times), "ms");
  }

  if (Selected("ui.list_2000_device_ms")) {
    // The open sequence switches the browser on for a device with file commands.
    main.Timer1->start();
    main.Timer2->start();
    if (!WaitFor([&] { return list->topLevelItemCount() > 0; }, 10000)) Fail("usb open");
    main.Timer1->stop();
    main.Timer2->stop();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
      list->clear();
      times.push_back(Seconds([&] {
        main.ShowDeviceDirectory("/Many");
        if (!WaitFor([&] { return list->topLevelItemCount() == count + 1; }, 30000))
          Fail("device list items");
      }));
    }
    Report("ui.list_2000_device_ms", MedianMs(times), "ms");
  }
}

// The editor figures are taken in a process of their own (this program again, with the probe
// named here), so that what other figures left on the heap does not count.
constexpr char kEditorProbeEnv[] = "VXK_BENCH_EDITOR_PROBE";

// Resident memory of this process in MB; -1 when unknown.
double RssMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) / 1024.0;
  }
  return -1;
}

// Log lines as a device writes them, CR LF ended, size bytes in all.
std::string LogText(size_t size) {
  std::string text;
  text.reserve(size);
  for (int i = 0; text.size() < size; ++i)
    text += "2024-05-01 12:00:" + std::to_string(10 + i % 50) + ",INFO,modem,record " +
            std::to_string(i) + " sent,rssi=-71\r\n";
  text.resize(size);
  return text;
}

// Runs then once the editor is up and has painted its first page.
void WhenEditorPainted(TfmFile& editor, std::function<void()> then) {
  struct Watch : QObject {
    std::function<void()> then;
    bool eventFilter(QObject*, QEvent* event) override {
      // Once the paint that is arriving is done.
      if (event->type() == QEvent::Paint && then) QTimer::singleShot(0, this, std::move(then));
      return false;
    }
  };
  auto* watch = new Watch;
  watch->setParent(&editor);
  watch->then = [watch, then] {
    then();
    watch->deleteLater();
  };
  editor.pvFile->viewport()->installEventFilter(watch);
  editor.reFile->viewport()->installEventFilter(watch);
}

// A 10 MiB log read from the virtual device through the Edit action and opened: the whole
// process's memory with the editor showing it.
void EditorProbe10MiB() {
  HidRig rig;
  rig.backend.WithDevice([&](VirtualDevice&) {
    rig.sim.Files().Files().WriteFile("/big.log", LogText(size_t(10) << 20), 0);
  });
  TfmMain main(SessionSettings{}, rig.backend, rig.lock.Lock());
  main.show();
  QTreeWidget* list = main.Browser().lvFiles;
  QElapsedTimer clock;
  clock.start();
  while (list->findItems(QStringLiteral("big.log"), Qt::MatchExactly, 0).isEmpty()) {
    if (clock.elapsed() > 20000) Fail("the device's folder did not show");
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  list->setCurrentItem(list->findItems(QStringLiteral("big.log"), Qt::MatchExactly, 0).first());
  double rss = -1;
  TfmFile& editor = main.FileEditor();
  WhenEditorPainted(editor, [&] {
    rss = RssMb();
    editor.reject();
  });
  main.Edit().actEdit->trigger();
  if (rss < 0) Fail("the editor did not open");
  std::printf("probe.rss_mb %.1f\n", rss);
}

// A 100 MiB log handed to the editor: from the call to the first page painted, and the memory
// then.
void ViewerProbe100MiB() {
  FakeHidBackend hid;
  ScratchLock lock;
  TfmMain main(SessionSettingsFrom(Options({"-com=0"})), hid, lock.Lock());
  ShowQuiet(main);
  const std::string log = LogText(size_t(100) << 20);
  TfmFile& editor = main.FileEditor();
  double ms = -1;
  double rss = -1;
  size_t lines = 0;
  QElapsedTimer clock;
  WhenEditorPainted(editor, [&] {
    ms = clock.nsecsElapsed() / 1e6;
    rss = RssMb();
    lines = editor.pvFile->LineCount();
    editor.reject();
  });
  clock.start();
  editor.EditContent("/Logs/modem.log", log);
  if (ms < 0 || lines < log.size() / 100) Fail("the viewer did not show the log");
  std::printf("probe.first_paint_ms %.1f\nprobe.rss_mb %.1f\n", ms, rss);
}

// Runs one probe in a new process of this program; its figures by name.
std::map<std::string, double> RunEditorProbe(const std::string& probe) {
  ChildProcess child;
  if (!child.Start({OwnProgramPath(), "ui.probe"},
                   {std::string(kEditorProbeEnv) + "=" + probe, "QT_QPA_PLATFORM=offscreen"}))
    Fail("start the editor probe");
  if (child.Wait(180000) != 0) {
    std::fprintf(stderr, "%s\n", child.Output().c_str());
    Fail("the editor probe failed");
  }
  std::map<std::string, double> figures;
  std::istringstream out(child.Output());
  std::string line;
  while (std::getline(out, line)) {
    char name[64];
    double value = 0;
    if (std::sscanf(line.c_str(), "probe.%63s %lf", name, &value) == 2) figures[name] = value;
  }
  return figures;
}

void EditorFigures() {
  if (Selected("ui.editor_rss_mb_10mib")) {
    auto figures = RunEditorProbe("10mib");
    if (!figures.count("rss_mb")) Fail("no editor figure");
    Report("ui.editor_rss_mb_10mib", figures["rss_mb"], "MB");
  }
  if (Selected("ui.viewer")) {
    auto figures = RunEditorProbe("100mib");
    if (!figures.count("first_paint_ms")) Fail("no viewer figure");
    Report("ui.viewer_first_paint_ms_100mib", figures["first_paint_ms"], "ms");
    Report("ui.viewer_rss_mb_100mib", figures["rss_mb"], "MB");
  }
}

// A loopback port nobody listens on at the moment.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

// User plus system CPU time of a process in clock ticks; -1 when it cannot be read.
long long CpuTicks(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(file, stat)) return -1;
  // The fields after the command name, which may itself hold spaces and parentheses.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long long utime = -1;
  long long stime = -1;
  // state is field 3 of the line; utime and stime are fields 14 and 15.
  for (int n = 3; n <= 15 && fields >> field; ++n) {
    if (n == 14) utime = std::atoll(field.c_str());
    if (n == 15) stime = std::atoll(field.c_str());
  }
  return utime < 0 || stime < 0 ? -1 : utime + stime;
}

void IdleCpu() {
  const int port = FreePort();
  if (port < 0) Fail("no free port");
  const std::string bin = BinDir();
  ChildProcess tool;
  if (!tool.Start({bin + "/vxktool", "-tcp=" + std::to_string(port), "-key=k"},
                  {"QT_QPA_PLATFORM=offscreen"}))
    Fail("start vxktool");
  ChildProcess sim;
  if (!sim.Start({bin + "/vxksim", "--tcp", "127.0.0.1:" + std::to_string(port), "--key", "k"}))
    Fail("start vxksim");
  if (!sim.WaitForOutput("proof is correct", 20000)) {
    std::fprintf(stderr, "%s\n%s\n", sim.Output().c_str(), tool.Output().c_str());
    Fail("the device was not accepted");
  }
  // The open sequence (device information, ESC, first read, listing) runs after the header.
  SleepMs(2000);

  const double seconds = 20;
  const long long before = CpuTicks(tool.Pid());
  const auto start = std::chrono::steady_clock::now();
  // Keep the tool's output pipe drained so that it never blocks on a full pipe.
  while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
    tool.Output();
    SleepMs(200);
  }
  const long long after = CpuTicks(tool.Pid());
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (before < 0 || after < 0 || !tool.Running()) Fail("vxktool ended early");
  if (!sim.Running()) Fail("the device's connection ended early");
  const double cpu = static_cast<double>(after - before) / sysconf(_SC_CLK_TCK);
  Report("app.idle_cpu_percent", cpu / wall * 100, "%");
}

}  // namespace

bool WaitFor(const std::function<bool()>& cond, int ms) {
  const int64_t deadline = TickCount() + ms;
  while (!cond()) {
    if (TickCount() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    SleepMs(1);
  }
  return true;
}

void RunUiBenches() {
  if (Selected("ui.") || Selected("log.")) {
    // The windows draw into memory: no display is needed and none is disturbed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vxkbench";
    static char* argv[] = {name, nullptr};
    Application app(argc, argv);
    const std::string probe = qEnvironmentVariable(kEditorProbeEnv).toStdString();
    if (!probe.empty()) {
      probe == "10mib" ? EditorProbe10MiB() : ViewerProbe100MiB();
      return;
    }
    if (Selected("ui.terminal")) TerminalIngest();
    if (Selected("ui.list")) FileList();
    if (Selected("ui.editor") || Selected("ui.viewer")) EditorFigures();
    if (Selected("log.records")) LogRecordsBench();
    if (Selected("ui.max_freeze_ms")) UiFreezeBench();
  }
  if (Selected("app.idle_cpu")) IdleCpu();
}

}  // namespace vxk

#endif  // VXK_BENCH_GUI
