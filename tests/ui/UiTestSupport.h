#pragma once

#include <QApplication>
#include <QColor>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ParamHandler.h"
#include "app/SessionOptions.h"
#include "comms/Ticks.h"
#include "sim/FakeHidBackend.h"
#include "sim/HidRig.h"
#include "sim/ScratchLock.h"
#include "sim/SimDevice.h"
#include "ui/UiRunner.h"
#include "ui/ufmMain.h"

namespace vxk {

// Runs the event loop until cond holds or ms have passed.
inline bool WaitUntil(const std::function<bool()>& cond, int ms) {
  const int64_t deadline = TickCount() + ms;
  while (!cond()) {
    if (TickCount() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    SleepMs(5);
  }
  return true;
}

// Lets the event loop run for ms.
inline void Pump(int ms) {
  WaitUntil([] { return false; }, ms);
}

// Runs fn with the session on the worker and waits for its answer (a look at the link's state
// as the worker sees it); a default value when it does not come within ms.
template <class Fn>
auto OnWorker(UiRunner& runner, Fn fn, int ms = 10000) -> decltype(fn(std::declval<Session&>())) {
  using T = decltype(fn(std::declval<Session&>()));
  struct Answer {
    OpResult result;
    T value{};
  };
  QObject receiver;
  bool came = false;
  T value{};
  UiRunner::Op op;
  op.what = QStringLiteral("Test look");
  op.quiet = true;
  runner.Call<Answer>(
      &receiver, std::move(op),
      [fn](Session& s, const OpContext&) {
        Answer a;
        a.value = fn(s);
        return a;
      },
      [&](const OpResult&, Answer& a) {
        value = a.value;
        came = true;
      });
  WaitUntil([&] { return came; }, ms);
  return value;
}

// Waits until no operation of the user's is left, nor anything its result started.
inline bool Idle(UiRunner& runner, int ms = 15000) {
  return WaitUntil([&] { return !runner.Busy(); }, ms);
}

// A worker with a session of its own on a rig's device, its link open, as the main window
// hands it to the tool windows.
struct RigRunner {
  explicit RigRunner(HidRig& rig) : runner(SessionSettings{}, rig.backend, rig.lock.Lock()) {
    const DeviceInfo device = OnWorker(runner, [](Session& s) {
      s.Link().Open();
      s.Files().QuoteNames = true;
      return ReadDeviceInfo(s.Link());
    });
    runner.SetDevice(device);
    runner.SetLinkOpen(device.alive);
  }
  UiRunner runner;
};

// A main window built from a command line, with a HID backend and a lock of its own.
struct Tool {
  explicit Tool(const std::vector<std::string>& args, FakeHidBackend* hid = nullptr) {
    options.Parse(TCommandLine::kAllowed, args);
    if (!hid) {
      ownHid = std::make_unique<FakeHidBackend>();
      hid = ownHid.get();
    }
    window = std::make_unique<TfmMain>(SessionSettingsFrom(options), *hid, lock.Lock());
  }

  QString PaneText() const { return window->Pane().reTerm()->toPlainText(); }
  UiRunner& Runner() { return window->Runner(); }
  bool Idle(int ms = 15000) { return vxk::Idle(Runner(), ms); }
  template <class Fn>
  auto Worker(Fn fn) {
    return OnWorker(Runner(), fn);
  }
  // The link's state as the worker sees it.
  bool LinkOpen() {
    return Worker([](Session& s) { return s.Link().IsOpen(); });
  }
  bool PaneShows(const QString& text, int ms) {
    return WaitUntil([&] { return PaneText().contains(text); }, ms);
  }
  QString Caption() const { return window->windowTitle(); }

  TCommandLine options;
  ScratchLock lock;
  std::unique_ptr<FakeHidBackend> ownHid;
  std::unique_ptr<TfmMain> window;
};

// The colour of the text fragment of the pane that contains text (invalid when none does).
inline QColor ColourOf(QPlainTextEdit* pane, const QString& text, bool* bold = nullptr) {
  for (QTextBlock b = pane->document()->begin(); b.isValid(); b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      if (f.text().contains(text)) {
        if (bold) *bold = f.charFormat().fontWeight() >= QFont::Bold;
        return f.charFormat().foreground().color();
      }
    }
  }
  return QColor();
}

// Closes the next message box that appears and reports its title and text.
class MessageBoxCatcher {
 public:
  MessageBoxCatcher() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->isVisible()) {
          title = box->windowTitle();
          text = box->text();
          box->done(QMessageBox::Ok);
          timer_.stop();
        }
      }
    });
    timer_.start();
  }
  QString title;
  QString text;

 private:
  QTimer timer_;
};

}  // namespace vxk
