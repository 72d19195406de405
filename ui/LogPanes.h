#pragma once

#include <QTextCursor>
#include <functional>
#include <string>
#include <string_view>

#include "ops/LogRecord.h"

class QColor;
class QPlainTextEdit;
class QWidget;

namespace vxk {

// The records of the device's log stream written into the log window's two panes: log lines
// with their optional stamp and tag in the log pane, modem traffic in the modem pane. The
// records of one poll are one batch: the panes lay out, trim and scroll once, at its end.
class LogPanes {
 public:
  static constexpr int kLogLimit = 131072;
  static constexpr int kModemLimit = 262144;

  // clock: the time the stamps show, read once per record.
  LogPanes(QPlainTextEdit* log, QPlainTextEdit* modem, const std::function<ClockTime()>* clock);

  // A pane of the log window: fixed-pitch font of pixels, no wrapping, background back.
  static QPlainTextEdit* MakePane(QWidget* parent, const char* name, int pixels,
                                  const QColor& back);

  bool logStamp = true;
  bool modemStamp = true;

  // One record into the panes; FinishBatch ends the poll's update bracket.
  void AddRecord(std::string_view record);
  void FinishBatch();
  // The green line that marks a reopened link.
  void Separator();
  void ClearLog();
  void ClearModem();

 private:
  void BeginBatch();
  void WriteModemStamp(const ClockTime& now);

  QPlainTextEdit* log_;
  QPlainTextEdit* modem_;
  const std::function<ClockTime()>* clock_;
  std::string lastModemStamp_;
  bool inBatch_ = false;
  bool added_ = false;
  // Open edit blocks of one poll: the panes lay out what a poll added once, at its end.
  QTextCursor logBatch_;
  QTextCursor modemBatch_;
  bool logCr_ = false;  // the log pane's last text ended in CR
  bool modemCr_ = false;
};

}  // namespace vxk
