#pragma once

#include <QDialog>

#include "comms/vxTerminal.h"
#include "ops/TimeSync.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace vxk {

// Sets the device's clock from the PC: shows the device's answer to "TIME" beside the PC's
// UTC time, local time and offset, refreshed every second while visible, and sends "TIME"
// with the UTC time and the offset on "Sync".
class TfmSyncTime : public QDialog {
  Q_OBJECT

 public:
  explicit TfmSyncTime(QWidget* parent = nullptr);

  void SetTerminal(TvxTerminal* terminal) { FTerminal = terminal; }
  // The PC clock this window reads; the system clock unless a test sets another.
  void SetClock(UtcClock clock) { clock_ = std::move(clock); }
  // Refreshes and shows the dialog modally when the link is open; Rejected otherwise.
  int Execute();
  void RefreshTimes();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private slots:
  void Timer1Timer();
  void cbTimezoneClick();
  void btnSyncTimeClick();

 private:
  TvxTerminal* FTerminal = nullptr;
  UtcClock clock_ = SystemUtcMs;
  QPlainTextEdit* memVxkTime = nullptr;
  QPlainTextEdit* memPcTime = nullptr;
  QCheckBox* cbTimezone = nullptr;
  QLineEdit* edTZ = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnSyncTime = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace vxk
