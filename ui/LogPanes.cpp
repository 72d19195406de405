#include "ui/LogPanes.h"

#include <QFontDatabase>
#include <QPlainTextEdit>

#include "ui/DeviceText.h"
#include "ui/FixedColours.h"
#include "ui/RichEditUtils.h"

namespace vxk {
namespace {

const QColor kStampColour(96, 192, 192);
const QColor kTagColour(255, 0, 0);
const QColor kTextColour(0, 0, 0);
const QColor kSeparatorColour(0, 128, 0);
const QColor kReceiveColour(0, 0, 255);
const QColor kTransmitColour(255, 0, 0);
const QString kLineEnd = QStringLiteral("\r\n");

}  // namespace

QPlainTextEdit* LogPanes::MakePane(QWidget* parent, const char* name, int pixels,
                                   const QColor& back) {
  auto* pane = new QPlainTextEdit(parent);
  pane->setObjectName(QString::fromLatin1(name));
  pane->setLineWrapMode(QPlainTextEdit::NoWrap);
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane->setUndoRedoEnabled(false);
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(pixels);
  pane->setFont(font);
  SetFixedBase(pane, back);
  return pane;
}

LogPanes::LogPanes(QPlainTextEdit* log, QPlainTextEdit* modem,
                   const std::function<ClockTime()>* clock)
    : log_(log), modem_(modem), clock_(clock) {}

void LogPanes::BeginBatch() {
  if (inBatch_) return;
  inBatch_ = true;
  added_ = true;
  log_->setUpdatesEnabled(false);
  modem_->setUpdatesEnabled(false);
  logBatch_ = QTextCursor(log_->document());
  logBatch_.beginEditBlock();
  modemBatch_ = QTextCursor(modem_->document());
  modemBatch_.beginEditBlock();
}

void LogPanes::FinishBatch() {
  inBatch_ = false;
  if (!added_) return;
  added_ = false;
  logBatch_.endEditBlock();
  modemBatch_.endEditBlock();
  logBatch_ = QTextCursor();
  modemBatch_ = QTextCursor();
  TrimToLimit(log_, kLogLimit);
  TrimToLimit(modem_, kModemLimit);
  log_->setUpdatesEnabled(true);
  modem_->setUpdatesEnabled(true);
  ScrollToEnd(log_);
  ScrollToEnd(modem_);
}

void LogPanes::AddRecord(std::string_view record) {
  if (record.empty()) return;
  const ClockTime now = (*clock_)();
  const auto type = static_cast<uint8_t>(record[0]);
  const std::string text(record.substr(1));
  BeginBatch();
  switch (PaneOfRecord(type)) {
    case RecordPane::ModemRx:
      WriteModemStamp(now);
      AppendText(modem_, FromDevice(EscapeText(text)) + kLineEnd, kReceiveColour, false, false,
                 modemCr_);
      break;
    case RecordPane::ModemTx:
      WriteModemStamp(now);
      AppendText(modem_, FromDevice(EscapeText(text)), kTransmitColour, false, false, modemCr_);
      break;
    case RecordPane::Log:
      if (logStamp) {
        AppendText(log_, FromDevice(LogStamp(now)), kStampColour, false, false, logCr_);
      }
      AppendText(log_, FromDevice(RecordTag(type) + ' '), kTagColour, true, false, logCr_);
      AppendText(log_, FromDevice(text) + kLineEnd, kTextColour, false, false, logCr_);
      break;
  }
}

void LogPanes::WriteModemStamp(const ClockTime& now) {
  if (!modemStamp) return;
  const std::string stamp = ModemStamp(now);
  if (stamp == lastModemStamp_) return;
  lastModemStamp_ = stamp;
  AppendText(modem_, FromDevice(stamp), kStampColour, false, false, modemCr_);
}

void LogPanes::Separator() {
  AppendText(log_, QStringLiteral("-.-.-.-.-.-.-.-.-.-") + kLineEnd, kSeparatorColour, false, true,
             logCr_);
  ScrollToEnd(log_);
}

void LogPanes::ClearLog() {
  log_->clear();
  logCr_ = false;
}

void LogPanes::ClearModem() {
  modem_->clear();
  modemCr_ = false;
}

}  // namespace vxk
