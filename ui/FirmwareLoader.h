#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "ops/FirmwareUpdate.h"
#include "session/LinkPoll.h"

class QAction;
class QPushButton;
class QWidget;

namespace vxk {

class UiRunner;

// The main window's firmware update: "Load Firmware" (actFirmware, also on Button1) hands one
// chosen image to the running device; dropped ".blf" files go through the boot loader. The
// device work is FirmwareUpdate's, run on the worker; this class asks, reads the files (on
// the window thread, so that a file that cannot be read stops everything before the device is
// touched) and shows the steps as they come.
class FirmwareLoader : public QObject {
  Q_OBJECT

 public:
  FirmwareLoader(UiRunner& runner, QWidget* window);

  QAction* actFirmware = nullptr;
  QString OpenDir;  // where the file dialog starts
  QPushButton* Button1 = nullptr;

  // Seams the window fills in and tests replace.
  std::function<QString()> ChooseFile;  // empty text: cancelled
  std::function<void(int ms)> Sleep;    // fixed waits of the boot sequence (on the worker)
  std::function<void(const QString&, int)> AppendStatus;  // the terminal pane's status text
  std::function<void()> FocusTerminal;
  // The link was closed and reopened meanwhile: what it reopened to (not alive: it did not).
  std::function<void(const DeviceInfo& device, bool open)> AfterBootSequence;
  // The transfer of an image, and its end.
  std::function<void(int64_t done, int64_t total)> Progress;
  std::function<void()> ProgressDone;

  // Takes every ".blf" path out of dropped and installs those images through the boot loader;
  // every image is read before the device is restarted (a file that cannot be read throws
  // LocalFileError). then runs once the boot sequence has ended, at once without images.
  // Always true.
  bool InstallDroppedFirmware(QStringList& dropped, std::function<void()> then = {});
  // Lets target take drops of local files; the ".blf" ones among them are installed once the
  // drop has ended.
  void AcceptDropsOn(QWidget* target);

  // The file chooser's filters.
  static QString Filters();

 public slots:
  void actFirmwareExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The hooks of an update run on the worker: its status lines go through the context's step
  // (style digit first), its fixed waits through Sleep.
  static FirmwareUpdate::Hooks Hooks(std::function<void(int)> sleep, const OpContext& context);
  void ShowStatusStep(const std::string& step);
  QString AskForFile();

  UiRunner& runner_;
  QWidget* window_;
};

}  // namespace vxk
