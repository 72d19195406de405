#include "ui/StatusArea.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>

#include "comms/Ticks.h"
#include "ui/Accessibility.h"
#include "ui/DeviceText.h"
#include "ui/UiRunner.h"

namespace vxk {
namespace {

// The bar counts in thousandths, whatever the size of the transfer.
constexpr int kBarSteps = 1000;
// A rate is shown once a transfer has run this long.
constexpr int64_t kRateAfterMs = 200;

QString Duration(int64_t seconds) {
  if (seconds >= 3600)
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

QString StatusArea::Bytes(int64_t bytes) {
  if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
  if (bytes < 1024 * 1024) return QStringLiteral("%1 KB").arg(bytes / 1024.0, 0, 'f', 1);
  return QStringLiteral("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 2);
}

QString StatusArea::ProgressText(int64_t done, int64_t total, int64_t elapsedMs) {
  QString text;
  if (total > 0) {
    const int64_t shown = std::min(std::max<int64_t>(done, 0), total);
    text = QStringLiteral("%1%  %2 of %3").arg(shown * 100 / total).arg(Bytes(shown), Bytes(total));
  } else {
    text = Bytes(done);
  }
  if (elapsedMs < kRateAfterMs || done <= 0) return text;
  const double rate = static_cast<double>(done) * 1000.0 / static_cast<double>(elapsedMs);
  text += QStringLiteral("  %1/s").arg(Bytes(static_cast<int64_t>(rate)));
  if (total > done)
    text +=
        QStringLiteral("  %1 left")
            .arg(Duration(static_cast<int64_t>(static_cast<double>(total - done) / rate + 0.5)));
  return text;
}

QString StatusArea::EndText(const QString& what, const OpResult& result) {
  if (result) return QStringLiteral("Done");
  return what + QStringLiteral(": ") + FromDevice(DescribeResult(result));
}

StatusArea::StatusArea(UiRunner& runner, QStatusBar* bar, QWidget* window)
    : QObject(window), runner_(runner), bar_(bar) {
  bar_->setObjectName(QStringLiteral("StatusBar1"));
  lblStatus = new QLabel(bar_);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setTextFormat(Qt::PlainText);
  // A long reason never widens the window: it is cut, and whole in the tooltip.
  lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Describe(lblStatus, QStringLiteral("Operation"));
  pbStatus = new QProgressBar(bar_);
  pbStatus->setObjectName(QStringLiteral("pbStatus"));
  pbStatus->setRange(0, kBarSteps);
  pbStatus->setMaximumWidth(160);
  pbStatus->setFormat(QStringLiteral("%p%"));
  Describe(pbStatus, QStringLiteral("Operation progress"));
  lblProgress = new QLabel(bar_);
  lblProgress->setObjectName(QStringLiteral("lblProgress"));
  Describe(lblProgress, QStringLiteral("Bytes, rate and time left"));
  btnCancel = new QPushButton(QStringLiteral("Cancel"), bar_);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setFocusPolicy(Qt::NoFocus);  // Esc reaches it from anywhere in the window
  Describe(btnCancel, QStringLiteral("Cancel"),
           QStringLiteral("Stops the running operation (Esc); the device is brought back to "
                          "its prompt and no half file is left"));
  bar_->addWidget(lblStatus, 1);
  bar_->addPermanentWidget(lblProgress);
  bar_->addPermanentWidget(pbStatus);
  bar_->addPermanentWidget(btnCancel);

  actCancel = new QAction(QStringLiteral("Cancel"), window);
  actCancel->setObjectName(QStringLiteral("actCancel"));
  actCancel->setShortcut(QKeySequence(Qt::Key_Escape));
  actCancel->setShortcutContext(Qt::WindowShortcut);
  actCancel->setEnabled(false);  // Esc belongs to the terminal while nothing runs
  window->addAction(actCancel);
  connect(actCancel, &QAction::triggered, &runner_, &UiRunner::Cancel);
  connect(btnCancel, &QPushButton::clicked, &runner_, &UiRunner::Cancel);

  // The last result stays this long, then the area is empty again.
  messageTimer_ = new QTimer(this);
  messageTimer_->setSingleShot(true);
  messageTimer_->setInterval(kMessageMs);
  connect(messageTimer_, &QTimer::timeout, this, [this] { ShowText(QString()); });

  showTimer_ = new QTimer(this);
  showTimer_->setSingleShot(true);
  showTimer_->setInterval(kShowAfterMs);
  connect(showTimer_, &QTimer::timeout, this, [this] { ShowRow(true); });
  connect(&runner_, &UiRunner::Started, this, &StatusArea::Started);
  connect(&runner_, &UiRunner::Progress, this, &StatusArea::Progress);
  connect(&runner_, &UiRunner::Step, this, &StatusArea::Step);
  connect(&runner_, &UiRunner::Count, this, &StatusArea::Count);
  connect(&runner_, &UiRunner::Finished, this, &StatusArea::Finished);
  connect(&runner_, &UiRunner::BusyChanged, this, [this](bool busy) {
    if (busy) failed_ = false;
  });
  ShowRow(false);
}

void StatusArea::ShowRow(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{lblProgress, pbStatus, btnCancel})
    w->setVisible(on);
  rowShown_ = on;
  if (on) {
    messageTimer_->stop();
    ShowStep();
  }
}

QString StatusArea::Text() const {
  return lblStatus->text();
}

void StatusArea::ShowText(const QString& text) {
  lblStatus->setText(text);
  // The whole text, also when the bar is too narrow for it.
  lblStatus->setToolTip(text);
  lblStatus->setAccessibleDescription(text);
}

void StatusArea::Started(const QString& what) {
  what_ = what;
  step_.clear();
  items_ = -1;
  startedMs_ = TickCount();
  lastDone_ = 0;
  pbStatus->setRange(0, 0);  // busy until a position comes
  lblProgress->clear();
  actCancel->setEnabled(true);
  // A quick operation never shows; a long one replaces what the last one said.
  if (!rowShown_) showTimer_->start();
  ShowStep();
}

void StatusArea::Progress(qint64 done, qint64 total) {
  const int64_t now = TickCount();
  if (done < lastDone_) startedMs_ = now;  // the next file of the operation
  lastDone_ = done;
  if (total > 0) {
    pbStatus->setRange(0, kBarSteps);
    pbStatus->setValue(static_cast<int>(std::min(done, total) * kBarSteps / total));
  }
  lblProgress->setText(ProgressText(done, total, now - startedMs_));
}

void StatusArea::Step(const QString& step) {
  step_ = step;
  ShowStep();
}

void StatusArea::Count(qint64 items) {
  items_ = items;
  ShowStep();
}

void StatusArea::ShowStep() {
  if (!rowShown_) return;
  QString text = what_;
  if (!step_.isEmpty()) text += QStringLiteral(": ") + step_;
  if (items_ >= 0) text += QStringLiteral(" (%1 saved)").arg(items_);
  ShowText(text);
}

void StatusArea::Finished(const QString& what, const OpResult& result) {
  showTimer_->stop();
  actCancel->setEnabled(false);
  ShowRow(false);
  // What failed stays on show while the rest of the same action (a relisting) goes well.
  if (!result || !failed_) {
    ShowText(EndText(what, result));
    messageTimer_->start();
  }
  if (!result) failed_ = true;
}

}  // namespace vxk
