#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "FileAccess/vxkFiles.h"
#include "comms/vxTerminal.h"
#include "ops/FirmwareUpdate.h"

class QAction;
class QPushButton;
class QWidget;

namespace vxk {

// The main window's firmware update: "Load Firmware" (actFirmware, also on Button1) hands one
// chosen image to the running device; dropped ".blf" files go through the boot loader. The
// device work is FirmwareUpdate's; this class asks, reads the files and shows the steps.
class FirmwareLoader : public QObject {
  Q_OBJECT

 public:
  FirmwareLoader(TvxTerminal& terminal, TvxkFiles& files, QWidget* window);

  QAction* actFirmware = nullptr;
  QString OpenDir;  // where the file dialog starts
  QPushButton* Button1 = nullptr;

  // Seams the window fills in and tests replace.
  std::function<QString()> ChooseFile;                    // empty text: cancelled
  std::function<void(int ms)> Sleep;                      // fixed waits of the boot sequence
  std::function<void(const QString&, int)> AppendStatus;  // the terminal pane's status text
  std::function<void()> FocusTerminal;
  std::function<void()> AfterBootSequence;  // the link was closed and reopened meanwhile

  // Takes every ".blf" path out of dropped and installs those images through the boot loader;
  // every image is read before the device is restarted. Always true.
  bool InstallDroppedFirmware(QStringList& dropped);
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
  FirmwareUpdate Update();
  QString AskForFile();

  TvxTerminal& terminal_;
  TvxkFiles& files_;
  QWidget* window_;
};

}  // namespace vxk
