#include "ui/ufmTime.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <exception>

#include "ui/Accessibility.h"
#include "ui/Application.h"
#include "ui/DeviceText.h"
#include "ui/UiRunner.h"

namespace vxk {
namespace {

constexpr int kRefreshMs = 1000;

// A memo just high enough for its lines, so the window stays small.
QPlainTextEdit* Memo(const char* name, int lines, QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(QLatin1String(name));
  memo->setReadOnly(true);
  memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  const int margins = static_cast<int>(memo->document()->documentMargin()) * 2 +
                      memo->frameWidth() * 2 + memo->contentsMargins().top() +
                      memo->contentsMargins().bottom();
  memo->setFixedHeight(QFontMetrics(memo->font()).lineSpacing() * lines + margins + 2);
  return memo;
}

// What the greyed offset says about itself, by the state of "Sync Timezone".
QString ZoneHint(bool followsPc) {
  return followsPc ? QStringLiteral(
                         "The PC's offset is sent. Untick Sync Timezone to type "
                         "an offset of your own.")
                   : QStringLiteral("This offset is sent with the time, in minutes east of UTC.");
}

// Device and PC text with its CR LF (or lone CR) line ends as the memo's line breaks.
QString MemoText(const std::string& text) {
  QString s = FromDevice(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

}  // namespace

TfmSyncTime::TfmSyncTime(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmSyncTime"));
  setWindowTitle(QStringLiteral("Sync Time"));
  resize(310, 283);

  memVxkTime = Memo("memVxkTime", 2, this);  // the answer and its line end
  memPcTime = Memo("memPcTime", 3, this);
  lblDifference = new QLabel(DifferenceText(std::nullopt), this);
  lblDifference->setObjectName(QStringLiteral("lblDifference"));
  lblDifference->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  cbTimezone = new QCheckBox(QStringLiteral("Sync Timezone"), this);
  cbTimezone->setObjectName(QStringLiteral("cbTimezone"));
  cbTimezone->setChecked(true);
  edTZ = new QLineEdit(QStringLiteral("0"), this);
  edTZ->setObjectName(QStringLiteral("edTZ"));
  edTZ->setEnabled(false);
  lblMin = new QLabel(QStringLiteral("min"), this);
  lblMin->setObjectName(QStringLiteral("lblMin"));
  lblZoneHint = new QLabel(this);
  lblZoneHint->setObjectName(QStringLiteral("lblZoneHint"));
  lblZoneHint->setWordWrap(true);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnSyncTime = new QPushButton(QStringLiteral("Sync"), this);
  btnSyncTime->setObjectName(QStringLiteral("btnSyncTime"));
  btnSyncTime->setDefault(true);
  Describe(memVxkTime, QStringLiteral("Device time"));
  Describe(memPcTime, QStringLiteral("PC time"));
  Describe(lblDifference, QStringLiteral("Difference, device minus PC"));
  Describe(edTZ, QStringLiteral("Time zone offset"), QStringLiteral("Minutes east of UTC"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("Device"), this), 0, 0, Qt::AlignTop);
  grid->addWidget(memVxkTime, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("PC"), this), 1, 0, Qt::AlignTop);
  grid->addWidget(memPcTime, 1, 1);
  grid->addWidget(lblDifference, 2, 1);
  auto* zone = new QHBoxLayout;
  zone->addWidget(cbTimezone);
  zone->addWidget(edTZ);
  zone->addWidget(lblMin);
  grid->addLayout(zone, 3, 1);
  grid->addWidget(lblZoneHint, 4, 1);
  grid->setRowStretch(5, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnCancel);
  buttons->addWidget(btnSyncTime);
  grid->addLayout(buttons, 6, 0, 1, 2);
  cbTimezoneClick();  // the hint for the start

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kRefreshMs);
  connect(Timer1, &QTimer::timeout, this, &TfmSyncTime::Timer1Timer);
  connect(cbTimezone, &QCheckBox::clicked, this, &TfmSyncTime::cbTimezoneClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnSyncTime, &QPushButton::clicked, this, &TfmSyncTime::btnSyncTimeClick);
}

void TfmSyncTime::SetRunner(UiRunner* runner) {
  runner_ = runner;
  if (runner_)
    connect(runner_, &UiRunner::BusyChanged, btnSyncTime,
            [this](bool busy) { btnSyncTime->setEnabled(!busy); });
}

int TfmSyncTime::Execute() {
  if (!runner_ || !runner_->LinkOpen()) return QDialog::Rejected;
  if (QWidget* owner = parentWidget()) {
    const QRect area = owner->frameGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  return exec();  // the first refresh is asked for as the dialog shows
}

void TfmSyncTime::RefreshTimes() {
  if (!runner_ || refreshing_) return;
  refreshing_ = true;
  UiRunner::Op op;
  op.what = QStringLiteral("Device time");
  op.quiet = true;  // a poll, like the terminal's
  runner_->Call<DeviceTimeResult>(
      this, std::move(op),
      [](Session& s, const OpContext&) {
        if (!s.Terminal().IsOpen()) return DeviceTimeResult{OpResult::Fail(Reason::NotOpen), {}};
        return ReadDeviceTime(s.Terminal());
      },
      [this](const OpResult&, DeviceTimeResult& device) {
        refreshing_ = false;
        if (!isVisible()) return;  // closed meanwhile: nobody reads it
        try {
          ShowTimes(device);
        } catch (const std::exception& e) {
          // Shown while the timer is stopped, so its box's own event loop cannot start
          // another refresh and stack boxes.
          Application::ShowError(QString::fromLocal8Bit(e.what()));
        }
        if (isVisible()) Timer1->start();
      });
}

void TfmSyncTime::ShowTimes(const DeviceTimeResult& device) {
  // A silent device shows as an empty answer; a closed or busy link leaves the box alone.
  if (!device.result && device.result.reason != Reason::TimedOut) return;
  memVxkTime->setPlainText(MemoText(device.reply));
  const PcTimes pc = PcTimesAt(clock_());
  lblDifference->setText(DifferenceText(DeviceMinusPcSeconds(device.reply, pc)));
  memPcTime->setPlainText(MemoText(PcTimeText(pc)));
  if (cbTimezone->isChecked()) edTZ->setText(QString::number(pc.offsetMinutes));
}

void TfmSyncTime::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  btnSyncTime->setFocus();
  RefreshTimes();  // the timer starts again once the answer is in
}

void TfmSyncTime::hideEvent(QHideEvent* event) {
  Timer1->stop();
  QDialog::hideEvent(event);
}

void TfmSyncTime::Timer1Timer() {
  // Stopped until the answer is in (and an error it brings is closed).
  Timer1->stop();
  RefreshTimes();
}

void TfmSyncTime::cbTimezoneClick() {
  const bool followsPc = cbTimezone->isChecked();
  edTZ->setEnabled(!followsPc);
  lblMin->setEnabled(!followsPc);
  const QString hint = ZoneHint(followsPc);
  lblZoneHint->setText(hint);
  for (QWidget* w : {static_cast<QWidget*>(edTZ), static_cast<QWidget*>(lblMin),
                     static_cast<QWidget*>(cbTimezone)})
    w->setToolTip(hint);
}

QString TfmSyncTime::DifferenceText(std::optional<int64_t> seconds) {
  if (!seconds) return QStringLiteral("Device - PC: unknown");
  return QStringLiteral("Device - PC: %1%2 s")
      .arg(*seconds > 0 ? QStringLiteral("+") : QString())
      .arg(*seconds);
}

void TfmSyncTime::btnSyncTimeClick() {
  const std::string command = TimeCommand(clock_(), ParseOffsetMinutes(edTZ->text().toStdString()));
  if (!runner_) {
    accept();
    return;
  }
  // The dialog closes once the command went; the device's answer is not examined.
  UiRunner::Op op;
  op.what = btnSyncTime->text() + QStringLiteral(" Time");
  op.run = [command](Session& s, const OpContext&) { return SetDeviceTime(s.Terminal(), command); };
  op.done = [this](const OpResult&) { accept(); };
  runner_->Post(this, std::move(op));
}

}  // namespace vxk
