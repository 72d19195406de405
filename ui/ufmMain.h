#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <string>

#include "comms/HidBackend.h"
#include "comms/TerminalLock.h"
#include "session/LinkPoll.h"
#include "session/SessionSettings.h"
#include "ui/FileBrowser.h"
#include "ui/FirmwareLoader.h"
#include "ui/TerminalPane.h"
#include "ui/ToolSettings.h"

class QAction;
class QActionGroup;
class QSplitter;
class QTimer;

namespace vxk {

class EditAction;
class FileOperations;
class LinkMonitor;
class LinkStatus;
class StatusArea;
class SupportActions;
class SuspendWatcher;
class TfmFile;
class TfmLog;
class ToolActions;
class UiRunner;

// The main window. The device session (link, terminal engine, file layer) lives on a worker
// thread (UiRunner); the window never waits for the device. Two timers drive the conversation
// with quiet operations there: Timer1 (250 ms) opens the link and shows what arrives, Timer2
// (500 ms) accepts a TCP device and notices a lost one. User actions run as operations too;
// while one runs, the actions that would start another are disabled and the status area shows
// its progress with a Cancel button.
class TfmMain : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "vx.keeper Tool";

  TfmMain(const SessionSettings& settings, HidBackend& hid,
          TerminalLock& lock = TerminalLock::Machine(), QWidget* parent = nullptr);
  ~TfmMain() override;

  UiRunner& Runner() { return *runner_; }
  TerminalPane& Pane() { return *pane_; }
  ToolActions& Tools() { return *tools_; }
  SupportActions& Support() { return *support_; }
  FileBrowser& Browser() { return *browser_; }
  FileOperations& Ops() { return *ops_; }
  TfmFile& FileEditor() { return *fmFile_; }
  EditAction& Edit() { return *edit_; }
  FirmwareLoader& Firmware() { return *firmware_; }
  StatusArea& Status() { return *status_; }
  LinkStatus& Link() { return *linkStatus_; }
  bool ExpectsHeader() const;
  bool IsNetworkLink() const;
  const QString& ProgramFolder() const { return programFolder_; }

  void ShowStatus(const QString& message);
  // Green progress text of file and firmware work; style 0 regular, 1 bold, 2 italic.
  void AppendStatusText(const QString& text, int style);
  // Called by the drop handler first: takes the ".blf" files out of dropped and installs them.
  bool InstallDroppedFirmware(QStringList& dropped) {
    return firmware_->InstallDroppedFirmware(dropped);
  }
  // Fills the device information box from what the device told and switches the features it
  // offers on or off.
  void ShowDeviceInfo(const DeviceInfo& device);
  void ShowDeviceDirectory(const std::string& path);
  // The window closed itself because its inherited device was refused.
  bool EndedRefused() const { return endedRefused_; }

  QTimer* Timer1 = nullptr;
  QTimer* Timer2 = nullptr;
  QAction* actExit = nullptr;
  QAction* actShowLog = nullptr;
  TfmLog* fmLog = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void Timer1Timer();
  void Timer2Timer();
  void PowerResumed();
  void actShowLogExecute();

 private:
  void FormCreate();
  void BuildLayout();
  void BuildMenus();
  void FormShow();
  // What one poll of Timer1 found; the open sequence's results when the link just opened.
  void ShowPoll(const PollResult& poll);
  void OpenSequence(const PollResult& poll);
  void ShowIncoming(const PollResult& poll);
  void ShowWatch(const WatchResult& watch);
  void LinkClosed();
  // A refused (or late) header: a listening tool listens again, a -sock process that never
  // accepted a device ends, and a device that had proved itself is reported gone.
  void HeaderRefused();
  // Listen mode: the port listens for the next device, the caption as before the last one.
  void ListenAgain();
  void AddToCaption(const QString& suffix);
  void WireFirmware();
  // The stored folders, path box and window placements in and out (at first show, at close).
  void LoadSettings();
  void SaveSettings();

  TerminalLock& lock_;
  UiRunner* runner_ = nullptr;
  LinkMonitor* monitor_ = nullptr;
  StatusArea* status_ = nullptr;
  LinkStatus* linkStatus_ = nullptr;
  QActionGroup* busyGroup_ = nullptr;  // the actions that start device work
  TerminalPane* pane_ = nullptr;
  FileBrowser* browser_ = nullptr;
  FileOperations* ops_ = nullptr;
  TfmFile* fmFile_ = nullptr;
  EditAction* edit_ = nullptr;
  FirmwareLoader* firmware_ = nullptr;
  QSplitter* splitter_ = nullptr;
  SuspendWatcher* suspend_ = nullptr;
  ToolActions* tools_ = nullptr;
  SupportActions* support_ = nullptr;
  StoredSettings settings_;  // as loaded, for what this run cannot tell
  std::string product_;      // the device's product text, from the link's last opening
  bool shown_ = false;
  bool headerAccepted_ = false;  // a device has proved itself in this process
  bool endedRefused_ = false;
  QString listenCaption_;  // the caption while listening, before a device was taken
  QString programFolder_;
  QString caption_;
};

}  // namespace vxk
