// Faults of the device's stream through the real windows: the user is shown what failed,
// nothing local is changed and no device file is taken for written by a failed transfer, the
// window is idle again within 1 s after the operation's own waits and never stops answering
// meanwhile, and the next operation works. Prints one line per case for the record.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cctype>
#include <cstdio>
#include <map>
#include <ostream>
#include <sstream>

#include "UiTestSupport.h"
#include "sim/StreamFault.h"
#include "ui/EditAction.h"
#include "ui/FileOperations.h"
#include "ui/SupportActions.h"
#include "ui/ToolActions.h"
#include "ui/ufmDiag.h"
#include "ui/ufmFile.h"
#include "ui/ufmLCD.h"

using namespace vxk;
using Kind = StreamFault::Kind;

namespace {

enum class Act { SaveToPc, EditSave, UploadDrop, LcdFetch, Diagnostics };

// One case: the fault strikes at the first byte after marker (in the device's output, or in
// what it received) plus skip, as found in a clean run of the same action. waitsMs are the
// operation's own time-outs that the fault runs into; the window must answer within the clean
// run's time plus these plus 1 s.
struct Row {
  const char* op;
  Act act;
  Kind kind;
  bool onInput;
  const char* marker;
  size_t skip;
  const char* step;
  int waitsMs;
  const char* shown;  // what the user must be shown (a box's or the pane's text), "" for nothing
};

// Waits of the file layer: the prompt after an ESC (250 ms + the link's round trip and extra
// time, 100 ms here), a data block 2000, the closing prompt 100, a listing line 1000.
constexpr int kPromptMs = 250 + 100;
// A relisting into a device that still takes upload data: the prompt, then one listing line.
constexpr int kRelistMs = kPromptMs + 1000;
// The longest the file layer waits for a device to give up on upload data it left unsent.
constexpr int kAbandonedMs = 10000;

// Waits: Save to PC and the archive wait out one data block and the closing prompt; a refused
// edit the closing prompt and a relisting; a garbled go-ahead the discarding of the noise and
// the device's giving up; a prompt that never comes the prompt and the go-ahead (8000) and a
// relisting; the LCD its pixel text (10000) and the closing prompt.
const Row kRows[] = {
    {"Save to PC", Act::SaveToPc, Kind::Stall, false, "data.txt\t9000\r\n", 4500, "mid-data",
     2000 + 100, "Could not read /T/data.txt: the device did not answer in time"},
    {"Edit/Save", Act::EditSave, Kind::EarlyAnswer, true, "NFWRITE", 4600, "mid-upload",
     100 + kRelistMs, "Could not write /T/data.txt"},
    {"Edit/Save", Act::EditSave, Kind::Garbage, false, "Send file", 0, "go-ahead",
     2000 + kAbandonedMs + kRelistMs, "Could not write /T/data.txt"},
    {"Upload drop", Act::UploadDrop, Kind::NoPrompt, false, "", 0, "start",
     kPromptMs + 8000 + kRelistMs, "Could not write /T/new.txt"},
    {"Upload drop", Act::UploadDrop, Kind::Drop, true, "NFWRITE", 4600, "mid-upload", 0,
     "Could not write /T/new.txt"},
    {"LCD fetch", Act::LcdFetch, Kind::Stall, false, "U8G2", 300, "mid-pixels", 10000 + 100, ""},
    {"Diagnostics", Act::Diagnostics, Kind::Garbage, false, "Directory of /Config\r\n", 0,
     "listing", 0, "Error|"},
    {"Diagnostics", Act::Diagnostics, Kind::Stall, false, "zbig.cfg\t9000\r\n", 4500, "mid-file",
     2000 + 100, ""},
};

// How a case is named in test listings.
void PrintTo(const Row& row, std::ostream* out) {
  *out << row.op << ", " << StreamFault::Name(row.kind) << ", " << row.step;
}

std::string Text(size_t n, unsigned seed) {
  std::string s;
  for (size_t line = 0; s.size() < n; ++line)
    s += "line " + std::to_string(line * 7 + seed) + " of the test file\r\n";
  s.resize(n);
  return s;
}

QByteArray Slurp(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

void Put(const QString& path, const std::string& content) {
  QFile f(path);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(content.data(), static_cast<qint64>(content.size()));
}

// Entry names and contents of a ZIP file as Python's zipfile reads it (no code shared with
// libzip); empty when it is no sound archive (a CRC that does not hold included).
std::map<std::string, std::string> ReadZip(const QString& path) {
  const char* script =
      "import sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "assert z.testzip() is None\n"
      "for i in z.infolist(): print(i.filename.encode('cp437').hex(), z.read(i).hex() or '-')\n";
  std::map<std::string, std::string> entries;
  const std::string command = "python3 -c \"" + std::string(script) + "\" '" +
                              QFile::encodeName(path).toStdString() + "' 2>/dev/null";
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  std::istringstream lines(out);
  std::string name, content;
  while (lines >> name >> content) {
    entries[QByteArray::fromHex(QByteArray::fromStdString(name)).toStdString()] =
        content == "-" ? std::string()
                       : QByteArray::fromHex(QByteArray::fromStdString(content)).toStdString();
  }
  return entries;
}

// Answers the modal windows an action brings up: the editor by a script, the diagnostics
// dialog by saving once and then closing, message boxes with No or OK (keeping their texts).
class Modals {
 public:
  Modals() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  std::function<void(TfmFile&)> onEditor;
  QStringList boxes;

 private:
  void Tick() {
    QWidget* w = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      boxes << box->windowTitle() + "|" + box->text();
      QAbstractButton* no = box->button(QMessageBox::No);
      (no ? no : box->button(QMessageBox::Ok))->click();
    } else if (auto* editor = qobject_cast<TfmFile*>(w); editor && onEditor && !busy_) {
      busy_ = true;
      onEditor(*editor);
      busy_ = false;
    } else if (auto* diag = qobject_cast<TfmDiag*>(w); diag && save_ == Save::None) {
      // Saved from a slot of its own, so that this timer runs for the boxes it brings up.
      save_ = Save::Asked;
      QTimer::singleShot(0, diag, [this, diag] {
        diag->SaveClick();
        save_ = Save::Started;
      });
    } else if (diag && save_ == Save::Started && !diag->Saving()) {
      diag->reject();  // the save failed: the dialog stayed open
    }
  }
  enum class Save { None, Asked, Started };
  QTimer timer_;
  bool busy_ = false;
  Save save_ = Save::None;
};

struct Timing {
  int64_t answeredMs = 0;  // from the action's start until the window was idle again
  int64_t freezeMs = 0;    // the longest time no timer ran meanwhile
};

// The longest the window's event loop may stay away while an operation runs on the worker.
constexpr int64_t kMaxFreezeMs = 250;

// Runs action from the event loop and measures when the window is idle again (the operation,
// what its result started and any question it asked are over) and how long its timers ever
// waited meanwhile.
Timing Measure(UiRunner& runner, const std::function<void()>& action) {
  int64_t started = -1, returned = -1, answered = -1, last = -1;
  Timing t;
  QTimer beat;
  beat.setTimerType(Qt::PreciseTimer);
  beat.setInterval(10);
  QObject::connect(&beat, &QTimer::timeout, [&] {
    const int64_t now = TickCount();
    if (last >= 0) t.freezeMs = std::max(t.freezeMs, now - last);
    last = now;
    if (returned >= 0 && answered < 0 && !runner.Busy() && !QApplication::activeModalWidget())
      answered = now;
  });
  beat.start();
  QTimer::singleShot(0, [&] {
    started = last = TickCount();
    action();
    returned = TickCount();
  });
  EXPECT_TRUE(WaitUntil([&] { return answered >= 0; }, 60000));
  t.answeredMs = answered - started;
  return t;
}

class WindowFaults : public ::testing::TestWithParam<Row> {
 protected:
  static void SetUpTestSuite() {
    std::printf("%-12s %-13s %-11s %8s %8s %8s  %s\n", "op", "fault", "step", "took", "budget",
                "freeze", "outcome");
  }

  void SetUp() override {
    SimFileSystem& fs = sim.Files().Files();
    fs.MakeDirectory("/T", 0);
    fs.WriteFile("/Config/zbig.cfg", big_, 0);
    backend = std::make_unique<FakeHidBackend>(&sim.Device());
    tool = std::make_unique<Tool>(std::vector<std::string>{}, backend.get());
    tool->window->show();
    ASSERT_TRUE(WaitUntil([&] { return list()->topLevelItemCount() > 0; }, 5000));
    auto& ops = tool->window->Ops();
    ops.ChooseFolder = [this](const QString&, const QString&) { return scratch.path(); };
    diag()->ChooseFile = [this](const QString&, const QString&) { return Local("diag.zip"); };
    for (QCheckBox* box : {diag()->cbRoot, diag()->cbLua, diag()->cbLogs}) box->setChecked(false);
  }
  void TearDown() override { tool->window->close(); }
  UiRunner& runner() { return tool->window->Runner(); }

  QTreeWidget* list() { return tool->window->Browser().lvFiles; }
  TfmDiag* diag() { return tool->window->Support().fmDiag(); }
  TfmLCD* lcd() { return tool->window->Tools().fmLCD(); }
  QString Local(const char* name) { return scratch.path() + "/" + name; }
  QString Pane() { return tool->window->Pane().reTerm()->toPlainText(); }
  std::string DeviceFile(const std::string& path) {
    std::string out = "<none>";
    backend->WithDevice([&](VirtualDevice&) {
      if (const auto* node = sim.Files().Files().Find(path)) out = node->data;
    });
    return out;
  }
  int DeviceFileCount(const std::string& folder) {
    int n = 0;
    backend->WithDevice([&](VirtualDevice&) {
      for (const auto& [name, node] : sim.Files().Files().Find(folder)->children)
        n += node->directory ? 0 : 1;
    });
    return n;
  }
  void Arm(const StreamFault& fault) {
    backend->WithDevice([&](VirtualDevice& d) { d.InjectFault(fault); });
  }

  // The device's test files and the old local copies every run starts from.
  void ResetFiles() {
    backend->WithDevice([&](VirtualDevice&) {
      SimFileSystem& fs = sim.Files().Files();
      fs.WriteFile("/T/data.txt", data_, 0);
      fs.Delete("/T/new.txt");
    });
    Put(Local("data.txt"), "old local");
    Put(Local("new.txt"), upload_);
    Put(Local("diag.zip"), "old archive");
  }
  // Those, with /T shown and data.txt chosen.
  void Reset() {
    ResetFiles();
    tool->window->Browser().ShowDeviceDirectory("/T");
    ASSERT_TRUE(tool->Idle());
    const auto found = list()->findItems(QStringLiteral("data.txt"), Qt::MatchExactly, 0);
    ASSERT_FALSE(found.isEmpty());
    list()->clearSelection();
    list()->setCurrentItem(found.first());
    found.first()->setSelected(true);
    tool->window->Pane().reTerm()->clear();
  }

  // Runs the row's action through the window. Returns what the user was shown and whether the
  // action reported success; checks what must hold whatever the fault.
  struct Outcome {
    bool succeeded = false;
    QString shown;  // the boxes' "title|text" and the pane, one after the other
    std::string text;
  };
  Outcome Run(Act act, Timing& timing) {
    Modals modals;
    modals.onEditor = [](TfmFile& f) {
      f.reFile->moveCursor(QTextCursor::End);
      f.reFile->insertPlainText(QStringLiteral("X"));
      f.btnSave->click();
    };
    std::function<void()> action;
    switch (act) {
      case Act::SaveToPc:
        action = [this] { tool->window->Ops().actSave->trigger(); };
        break;
      case Act::EditSave:
        action = [this] { tool->window->Edit().actEdit->trigger(); };
        break;
      case Act::UploadDrop:
        action = [this] { tool->window->Ops().dftFilesDrop({Local("new.txt")}, false); };
        break;
      case Act::LcdFetch:
        action = [this] { tool->window->Tools().actLCD->trigger(); };
        break;
      case Act::Diagnostics:
        action = [this] { tool->window->Support().actDiag->trigger(); };
        break;
    }
    lcd()->setWindowTitle(QStringLiteral("LCD Snapshot"));
    timing = Measure(runner(), action);
    Outcome o;
    o.shown = modals.boxes.join('\n') + '\n' + Pane();
    switch (act) {
      case Act::SaveToPc: {
        const QByteArray local = Slurp(Local("data.txt"));
        o.succeeded = local.toStdString() == data_;
        EXPECT_TRUE(o.succeeded || local == "old local") << "local file damaged";
        o.text = o.succeeded ? "saved" : "not saved, local file kept";
        break;
      }
      case Act::EditSave: {
        const std::string now = DeviceFile("/T/data.txt");
        o.succeeded = !o.shown.contains(QStringLiteral("Could not write"));
        if (o.succeeded) {
          EXPECT_EQ(now, data_ + "X") << "save reported done, file wrong";
        }
        o.text = now == data_ ? "not written, device file as before" : "written";
        break;
      }
      case Act::UploadDrop: {
        const std::string now = DeviceFile("/T/new.txt");
        o.succeeded = !o.shown.contains(QStringLiteral("Could not write"));
        if (o.succeeded) {
          EXPECT_EQ(now, upload_) << "upload reported done, file wrong";
        }
        o.text = now == "<none>" ? "not written, no device file" : "written";
        break;
      }
      case Act::LcdFetch:
        // A cut pixel text is drawn with the missing pixels unlit; a missing header draws
        // nothing and keeps the picture.
        o.succeeded = lcd()->isVisible() && lcd()->windowTitle().startsWith("LCD Snapshot @");
        EXPECT_EQ(lcd()->Picture().size(), QSize((128 + 12) * 2, (64 + 12) * 2));
        o.text = o.succeeded ? "picture drawn from the pixels that came" : "picture kept";
        break;
      case Act::Diagnostics: {
        const QByteArray file = Slurp(Local("diag.zip"));
        o.succeeded = !diag()->isVisible() && diag()->result() == QDialog::Accepted;
        if (!o.succeeded) {
          EXPECT_EQ(file, "old archive") << "a failed archive replaced the old file";
          o.text = "not written, old archive kept";
          break;
        }
        const auto entries = ReadZip(Local("diag.zip"));
        EXPECT_TRUE(entries.count("ui.info.txt")) << "archive reported written, unreadable";
        int files = 0;
        for (const auto& [name, content] : entries) {
          if (name.rfind("vx.keeper/", 0) != 0) continue;
          ++files;
          EXPECT_EQ(content, DeviceFile(name.substr(10))) << name;
        }
        o.text = "archive with " + std::to_string(files) + " of " +
                 std::to_string(DeviceFileCount("/Config")) + " device files";
        break;
      }
    }
    return o;
  }

  // The device well again (back on the bus after a drop) and the window's link open.
  void Recover() {
    Arm(StreamFault{});
    if (!tool->Worker([](Session& s) { return s.Link().IsAlive(); })) backend->Plug();
    EXPECT_TRUE(WaitUntil([&] { return tool->LinkOpen(); }, 5000));
  }

  // The next thing a user does: list the folder and open the file.
  bool NextWorks() {
    tool->window->Browser().ShowDeviceDirectory("/T");
    if (!tool->Idle()) return false;
    const std::string content = tool->Worker([](Session& s) {
      std::string read;
      return s.Files().ReadFile("/T/data.txt", read) ? read : std::string("<unread>");
    });
    return !list()->findItems(QStringLiteral("data.txt"), Qt::MatchExactly, 0).isEmpty() &&
           content == data_;
  }

  SimDevice sim;
  std::unique_ptr<FakeHidBackend> backend;
  std::unique_ptr<Tool> tool;
  QTemporaryDir scratch;
  const std::string data_ = Text(9000, 1);
  const std::string upload_ = Text(9000, 2);
  const std::string big_ = Text(9000, 3);
};

TEST_P(WindowFaults, ShownNothingLostAnswersAndRecovers) {
  const Row& row = GetParam();
  // A clean run: it works, takes its time, and tells where the step is in the stream.
  Reset();
  Arm({Kind::Watch, false, 0});
  Timing clean;
  const Outcome cleanRun = Run(row.act, clean);
  ASSERT_TRUE(cleanRun.succeeded) << "clean run: " << cleanRun.shown.toStdString();
  std::string seen;
  backend->WithDevice(
      [&](VirtualDevice& d) { seen = row.onInput ? d.Fault().SeenIn() : d.Fault().SeenOut(); });
  const size_t marker = seen.find(row.marker);
  ASSERT_NE(marker, std::string::npos) << row.marker;
  const size_t at = marker + std::string(row.marker).size() + row.skip;
  ASSERT_LT(at, seen.size());

  Reset();
  Arm({row.kind, row.onInput, at});
  Timing faulty;
  const Outcome o = Run(row.act, faulty);
  const int64_t budget = clean.answeredMs + row.waitsMs + 1000;
  EXPECT_FALSE(o.succeeded && row.shown[0]) << "the fault went unnoticed";
  EXPECT_TRUE(o.shown.contains(QString::fromLatin1(row.shown))) << o.shown.toStdString();
  EXPECT_LE(faulty.answeredMs, budget);
  EXPECT_LE(clean.freezeMs, kMaxFreezeMs);
  EXPECT_LE(faulty.freezeMs, kMaxFreezeMs);

  Recover();
  ResetFiles();
  bool late = false;
  if (!NextWorks()) {
    // A device left taking upload data reads the next command as data until its own time-out.
    late = true;
    Pump(VirtualDevice::kReceiveTimeoutMs + 500);
    EXPECT_TRUE(NextWorks()) << "next operation";
  }
  const std::string outcome =
      o.text + (row.shown[0] ? "; shown \"" + std::string(row.shown) + "\"" : "") +
      (late ? "; next operation after the device's receive time-out" : "; next operation works");
  std::printf("%-12s %-13s %-11s %6.2f s %6.2f s %6.2f s  %s\n", row.op,
              StreamFault::Name(row.kind), row.step, faulty.answeredMs / 1000.0, budget / 1000.0,
              faulty.freezeMs / 1000.0, outcome.c_str());
  std::fflush(stdout);
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowFaults, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           std::string name = std::to_string(info.index) + "_" + info.param.op +
                                              "_" + StreamFault::Name(info.param.kind);
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
