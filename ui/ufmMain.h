#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <string>

#include "comms/HidBackend.h"
#include "comms/TerminalLock.h"
#include "session/Session.h"
#include "ui/FileBrowser.h"
#include "ui/FirmwareLoader.h"
#include "ui/TerminalPane.h"
#include "ui/ToolSettings.h"

class QAction;
class QSplitter;
class QTimer;

namespace vxk {

class FileOperations;
class EditAction;
class HeaderCheck;
class SuspendWatcher;
class SupportActions;
class TfmFile;
class ToolActions;
class TfmLog;

// The main window: owns the device link, the terminal engine and the file layer, and drives
// the conversation with two timers: Timer1 (250 ms) opens the link and shows what arrives,
// Timer2 (500 ms) accepts a TCP device and notices a lost one.
class TfmMain : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "vx.keeper Tool";

  TfmMain(const SessionSettings& settings, HidBackend& hid,
          TerminalLock& lock = TerminalLock::Machine(), QWidget* parent = nullptr);
  ~TfmMain() override;

  TvxComms& Link() { return session_->Link(); }
  TvxTerminal& Terminal() { return session_->Terminal(); }
  TvxkFiles& Files() { return session_->Files(); }
  TerminalPane& Pane() { return *pane_; }
  ToolActions& Tools() { return *tools_; }
  SupportActions& Support() { return *support_; }
  FileBrowser& Browser() { return *browser_; }
  FileOperations& Ops() { return *ops_; }
  TfmFile& FileEditor() { return *fmFile_; }
  EditAction& Edit() { return *edit_; }
  FirmwareLoader& Firmware() { return *firmware_; }
  bool ExpectsHeader() const { return session_->ExpectsHeader(); }
  bool IsNetworkLink() const { return session_->IsNetworkLink(); }
  const QString& ProgramFolder() const { return programFolder_; }
  const std::string& SecretKey() const { return session_->Settings().secretKey; }

  void ShowStatus(const QString& message);
  // Green progress text of file and firmware work; style 0 regular, 1 bold, 2 italic.
  void AppendStatusText(const QString& text, int style);
  // Called by the drop handler first: takes the ".blf" files out of dropped and installs them.
  bool InstallDroppedFirmware(QStringList& dropped) {
    return firmware_->InstallDroppedFirmware(dropped);
  }
  void ShowDeviceInfo();
  void ShowDeviceDirectory(const std::string& path);
  // Takes a TCP device's header as it arrives, one step per Timer1 tick, so that a slow or
  // silent device never holds the window. Once it has been checked, an accepted one goes on
  // with the opening; a refused one (or one that came too late) has closed the link, and then
  // a listening tool listens again and a -sock process that never accepted a device ends.
  void ProcessConnectHeader();
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
  void OpenSequence();
  void ReadIncoming(int firstWaitMs);
  void AcceptPending();
  void LinkClosed();
  void HeaderRefused();
  void AddToCaption(const QString& suffix);
  void WireFirmware();
  // The stored folders, path box and window placements in and out (at first show, at close).
  void LoadSettings();
  void SaveSettings();

  std::unique_ptr<Session> session_;
  TerminalLock& lock_;
  TvxComms* link_ = nullptr;             // the session's, for short
  std::unique_ptr<HeaderCheck> header_;  // while a TCP device's header is being read
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
