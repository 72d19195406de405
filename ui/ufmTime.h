#pragma once

#include <QDialog>

#include "ops/TimeSync.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace vxk {

class UiRunner;

// Sets the device's clock from the PC: shows the device's answer to "TIME" beside the PC's
// UTC time, local time and offset, refreshed every second while visible, and sends "TIME"
// with the UTC time and the offset on "Sync". The device is asked on the worker: the dialog
// shows at once and the answer follows; the next refresh is asked for only once the last one
// has come back.
class TfmSyncTime : public QDialog {
  Q_OBJECT

 public:
  explicit TfmSyncTime(QWidget* parent = nullptr);

  void SetRunner(UiRunner* runner);
  // The PC clock this window reads; the system clock unless a test sets another.
  void SetClock(UtcClock clock) { clock_ = std::move(clock); }
  // Shows the dialog modally, refreshing it at once, when the link is open; Rejected
  // otherwise.
  int Execute();
  // Asks the device for its time; the memos follow when it answers.
  void RefreshTimes();
  // "Device - PC: +3 s": how far the device's clock is ahead; "unknown" when its answer holds
  // no time.
  static QString DifferenceText(std::optional<int64_t> seconds);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private slots:
  void Timer1Timer();
  void cbTimezoneClick();
  void btnSyncTimeClick();

 private:
  void ShowTimes(const DeviceTimeResult& device);

  UiRunner* runner_ = nullptr;
  bool refreshing_ = false;
  UtcClock clock_ = SystemUtcMs;
  QPlainTextEdit* memVxkTime = nullptr;
  QPlainTextEdit* memPcTime = nullptr;
  QCheckBox* cbTimezone = nullptr;
  QLineEdit* edTZ = nullptr;
  QLabel* lblMin = nullptr;
  QLabel* lblDifference = nullptr;
  QLabel* lblZoneHint = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnSyncTime = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace vxk
