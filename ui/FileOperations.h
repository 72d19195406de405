#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "FileAccess/DateTime.h"

class QAction;
class QDialog;
class QDropEvent;
class QWidget;

namespace vxk {

class FileBrowser;
class TerminalPane;
class TfmMkDir;
class TfmRename;
class TvxTerminal;
class TvxkFiles;

// What the main window does to device files on request: save to the PC, delete, make a
// folder or an empty file, rename, and upload files dropped on the file list or the device
// summary. Questions are asked before the device work starts; the work itself runs in the
// operations of ops/ and the file layer.
class FileOperations : public QObject {
  Q_OBJECT

 public:
  enum Style { kRegular = 0, kBold = 1, kItalic = 2 };

  FileOperations(TvxTerminal& terminal, TvxkFiles& files, FileBrowser& browser, TerminalPane& pane,
                 QWidget* window);

  QAction* actSave = nullptr;
  QAction* actDelete = nullptr;
  QAction* actMkDir = nullptr;
  QAction* actMakeFile = nullptr;
  QAction* actRename = nullptr;
  TfmMkDir* fmMkDir = nullptr;
  TfmRename* fmRename = nullptr;

  // The local folder last chosen for Save to PC; the user's home folder at first.
  QString SaveToDir;

  // The folder chooser: (title, folder to preselect or "") -> chosen folder, "" on cancel.
  std::function<QString(const QString& title, const QString& start)> ChooseFolder;
  // A question box with the question icon; returns the button pressed.
  std::function<QMessageBox::StandardButton(const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons)>
      Ask;
  // Runs a name dialog modally and returns its result.
  std::function<int(QDialog& dialog)> RunDialog;
  // Takes the firmware images (".blf") out of a dropped list and installs them.
  std::function<void(QStringList& files)> InstallDroppedFirmware;

  // Green status text in the terminal pane; style 0 regular, 1 bold, 2 italic.
  void AppendStatusText(const QString& text, int style);
  void UploadLocalFile(const QString& localPath, bool route);
  void WriteLocalFile(const std::string& localPath, const std::string& content, TDateTime time);
  // The upload of a dropped list, as the drop handler runs it from the event loop.
  void dftFilesDrop(QStringList files, bool ctrl);

 public slots:
  void actSaveExecute();
  void actDeleteExecute();
  void actMkDirExecute();
  void actMakeFileExecute();
  void actRenameExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* MakeAction(const char* name, const QString& caption, void (FileOperations::*slot)());
  // Red bold text in the terminal pane, for what did not happen.
  void AppendErrorText(const QString& text);
  void Relist();

  TvxTerminal& terminal_;
  TvxkFiles& files_;
  FileBrowser& browser_;
  TerminalPane& pane_;
  QWidget* window_;
};

}  // namespace vxk
