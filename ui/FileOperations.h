#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "comms/OpResult.h"

class QAction;
class QDialog;
class QDropEvent;
class QWidget;

namespace vxk {

class FileBrowser;
class TerminalPane;
class TfmMkDir;
class TfmRename;
class UiRunner;

// What the main window does to device files on request: save to the PC, delete, make a
// folder or an empty file, rename, and upload files dropped on the file list or the device
// summary. Questions are asked on the window thread before the device work starts; the work
// runs as operations on the worker (the operations of ops/ and the file layer), one dropped
// file after the other, and the list is refreshed at the end.
class FileOperations : public QObject {
  Q_OBJECT

 public:
  enum Style { kRegular = 0, kBold = 1, kItalic = 2 };

  FileOperations(UiRunner& runner, FileBrowser& browser, TerminalPane& pane, QWidget* window);

  QAction* actSave = nullptr;
  QAction* actDelete = nullptr;
  QAction* actMkDir = nullptr;
  QAction* actMakeFile = nullptr;
  QAction* actRename = nullptr;
  QAction* actUpload = nullptr;
  TfmMkDir* fmMkDir = nullptr;
  TfmRename* fmRename = nullptr;

  // The local folder last chosen for Save to PC; the user's home folder at first.
  QString SaveToDir;
  // The folder Upload… last took files from; the user's home folder at first.
  QString UploadFromDir;

  // The folder chooser: (title, folder to preselect or "") -> chosen folder, "" on cancel.
  std::function<QString(const QString& title, const QString& start)> ChooseFolder;
  // The chooser of Upload…: (title, folder to start in) -> the chosen files, none on cancel.
  // By default Qt's own dialog (the same on every desktop), named dlgUpload.
  std::function<QStringList(const QString& title, const QString& start)> ChooseFiles;
  // A question box with the question icon; returns the button pressed.
  std::function<QMessageBox::StandardButton(const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons)>
      Ask;
  // Runs a name dialog modally and returns its result.
  std::function<int(QDialog& dialog)> RunDialog;
  // Takes the firmware images (".blf") out of a dropped list and installs them, then runs then
  // (at once when there were none).
  std::function<void(QStringList& files, std::function<void()> then)> InstallDroppedFirmware;

  // Green status text in the terminal pane; style 0 regular, 1 bold, 2 italic.
  void AppendStatusText(const QString& text, int style);
  // The upload of a dropped list, as the drop handler runs it from the event loop.
  void dftFilesDrop(QStringList files, bool ctrl);

 public slots:
  void actSaveExecute();
  void actDeleteExecute();
  void actMkDirExecute();
  void actMakeFileExecute();
  void actRenameExecute();
  // Files chosen in a dialog take the road of a drop without Ctrl.
  void actUploadExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* MakeAction(const char* name, const QString& caption, void (FileOperations::*slot)());
  // Red bold text in the terminal pane, for what did not happen.
  void AppendErrorText(const QString& text);
  void Relist();
  // The dropped files that are no firmware: asks about routing, then uploads them in turn.
  void UploadDropped(QStringList files, bool ctrl, const std::string& prefix);
  // Uploads files[index] and goes on with the next; ends with "done." and a relisting.
  void UploadNext(const QStringList& files, int index, bool route, const std::string& prefix);
  // A local fault ends an operation with the application's error display.
  static void ShowLocalError(const OpResult& result);

  UiRunner& runner_;
  FileBrowser& browser_;
  TerminalPane& pane_;
  QWidget* window_;
};

}  // namespace vxk
