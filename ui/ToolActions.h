#pragma once

#include <QObject>
#include <string>

class QAction;
class QMenuBar;
class QWidget;

namespace vxk {

class TfmLCD;
class TfmSyncTime;
class UiRunner;

// The main window's LCD viewer and clock dialog with their actions: "&Display" (actLCD, on
// the menu bar itself, hidden until a device offers its LCD) and "Sync Time" (actSyncTime, in
// the menu "T&ools").
class ToolActions : public QObject {
  Q_OBJECT

 public:
  // main owns the windows; focusBack gets the keyboard focus after "&Display".
  ToolActions(QWidget* main, QWidget* focusBack);

  // Adds "&Display" and "T&ools" at the end of the menu bar.
  void AddMenus(QMenuBar* bar);
  // Hands the worker that runs their device work to both windows.
  void SetRunner(UiRunner* runner);
  // The device's capability text decides whether its LCD can be shown.
  void ShowCapabilities(const std::string& capabilities);
  void LinkClosed();

  TfmLCD* fmLCD() const { return lcd_; }
  TfmSyncTime* fmSyncTime() const { return time_; }

  QAction* actLCD = nullptr;
  QAction* actSyncTime = nullptr;

 private slots:
  void actLCDExecute();
  void actSyncTimeExecute();

 private:
  QWidget* main_;
  QWidget* focusBack_;
  UiRunner* runner_ = nullptr;
  TfmLCD* lcd_ = nullptr;
  TfmSyncTime* time_ = nullptr;
  bool placed_ = false;
};

}  // namespace vxk
