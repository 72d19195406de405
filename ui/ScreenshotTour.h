#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace vxk {

// Developer aid behind scripts/screenshot.sh. With the environment variable VXK_SCREENSHOT_DIR
// naming a folder, the program waits for its device, opens each of its windows in turn, saves
// a picture of it there as NAME.png and quits. Windows are found by object name and opened
// through their actions, so a window or action this build lacks is skipped with a note.
class ScreenshotTour : public QObject {
 public:
  // Starts a tour over the program's first window when the environment asks for one; the
  // request is removed, so processes started from here do not tour. Nullptr without a request.
  static ScreenshotTour* StartIfAsked(QWidget* first);
  // Before any window exists: with VXK_SCREENSHOT_LOOK=dark, the Fusion style with a dark
  // palette, as a dark desktop theme gives it.
  static void PrepareLook();

  ScreenshotTour(QWidget* first, const QString& dir);

  struct Step {
    QString file;    // picture name without ".png"
    QString window;  // object name of the window
    QString action;  // object name of the action that opens it; empty: show the window;
                     // "drop": a file dropped on the list, shown while it is uploaded
  };
  // The steps over a main window: main, Connect, the upload chooser, a transfer under way,
  // editor, LCD, Sync Time, log, diagnostics, About.
  static std::vector<Step> MainSteps();

  // Where the tour stands, for its caller: the pictures written and the windows skipped.
  QStringList Written() const { return written_; }
  QStringList Skipped() const { return skipped_; }

 private:
  void WaitFor(std::function<bool()> ready, int timeoutMs, std::function<void(bool)> then);
  void Begin();
  void RunStep(size_t i);
  void Watch(size_t i);
  void StepDone(size_t i);
  void RunTransfer(size_t i);
  bool Save(QWidget* w, const QString& file);
  // Runs then at once, or in handshake mode once the picture's ".seen" file exists.
  void AfterSeen(const QString& file, std::function<void()> then);
  void Finish();

  QWidget* first_;
  QString dir_;
  std::vector<Step> steps_;
  QTimer poll_;
  QElapsedTimer clock_;
  bool triggerReturned_ = false;
  bool watchDone_ = false;
  bool handshake_ = false;
  QStringList written_;
  QStringList skipped_;
};

}  // namespace vxk
