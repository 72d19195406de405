#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ops/LogRecord.h"

class QAction;
class QCheckBox;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

namespace vxk {

class LogPanes;
class UiRunner;

// Where the log window goes when it is first opened without a stored position: its pane's
// bottom at the main window's bottom edge plus the pane height, 32 pixels right of the main
// window, as wide as the main window.
QRect FirstLogPlacement(const QRect& mainFrame, const QRect& logFrame, int paneHeight);

// The log window: the device's log stream (channel 31) as coloured, time-stamped lines in the
// log pane and, with "Modem RX/TX", modem traffic in the modem pane. It subscribes while it is
// shown and unsubscribes when it is closed or hidden by the program (quiet operations on the
// worker); the main window's poll drains the channel there and hands the records over by
// value. Both panes are capped.
class TfmLog : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kLogLimit = 131072;
  static constexpr int kModemLimit = 262144;
  static constexpr int kPanelHeight = 49;

  // terminal: the main window's terminal pane, which Copy All copies first.
  TfmLog(UiRunner& runner, QPlainTextEdit* terminal, QWidget* parent = nullptr);
  ~TfmLog() override;

  void SendFilter();
  void ClearFilter();
  // Shows the records one poll drained from the channel; called on every poll.
  void ShowRecords(const std::vector<std::string>& records);
  // The link opened again: a separator while the window is shown (the open sequence itself
  // subscribed again).
  void LinkOpened();
  // One record into the panes; FinishBatch ends the poll's update bracket.
  void AddRecord(std::string_view record);
  void FinishBatch();

  uint64_t FFilter = kDefaultLogFilter;
  bool FNotShownYet = true;
  // Set by whoever applied a stored position of this window.
  bool LogPositionStored = false;
  // The clock of the stamps; tests set their own.
  std::function<ClockTime()> Clock = LocalClockNow;

  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QCheckBox* cbTimestamp = nullptr;
  QCheckBox* cbModemRxTx = nullptr;
  QCheckBox* cbTSModem = nullptr;
  QPlainTextEdit* reCopy = nullptr;
  QPlainTextEdit* reLog = nullptr;
  QSplitter* Splitter1 = nullptr;
  QWidget* pnlModem = nullptr;
  QPlainTextEdit* reModem = nullptr;
  QMenu* pumLog = nullptr;
  QMenu* pumModem = nullptr;
  QAction* actCopy = nullptr;
  QAction* actClear = nullptr;
  QAction* actCopyModem = nullptr;
  QAction* actCopyLog = nullptr;
  QAction* actClearModem = nullptr;
  QAction* actClearLog = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void cbModemRxTxClick();
  void cbTimestampClick();
  void cbTSModemClick();
  void actCopyExecute();
  void actClearExecute();
  void actCopyLogExecute();
  void actCopyModemExecute();
  void actClearLogExecute();
  void actClearModemExecute();

 private:
  void FormCreate();
  void FormShow();
  void FormHide();
  void ApplyModemOption();
  void PostFilter(bool set);

  UiRunner& runner_;
  QPlainTextEdit* terminal_;
  std::unique_ptr<LogPanes> panes_;
};

}  // namespace vxk
