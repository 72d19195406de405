#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "comms/OpResult.h"

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;
class QWidget;

namespace vxk {

class UiRunner;

// The main window's status area: while an operation of the user's runs (longer than a
// moment), a row with its name and step, a bar with the percentage, the bytes, rate and time
// left, and a Cancel button (Esc does the same); afterwards "Done" or why it failed, for a
// few seconds (a failure stays on show over the success of what the same action did next).
class StatusArea : public QObject {
  Q_OBJECT

 public:
  // The row shows once an operation has run this long; what it said at the end stays this long.
  static constexpr int kShowAfterMs = 250;
  static constexpr int kMessageMs = 5000;

  StatusArea(UiRunner& runner, QStatusBar* bar, QWidget* window);

  // "45%  315.0 KB of 700.0 KB  40.1 KB/s  0:09 left": a transfer's position after elapsedMs.
  static QString ProgressText(int64_t done, int64_t total, int64_t elapsedMs);
  // "512 B", "315.0 KB", "1.43 MB".
  static QString Bytes(int64_t bytes);
  // What the area says when an operation ended.
  static QString EndText(const QString& what, const OpResult& result);

  QStatusBar* Bar() const { return bar_; }
  // What the area says now: the running operation, or how the last one ended.
  QString Text() const;
  QProgressBar* pbStatus = nullptr;
  QLabel* lblStatus = nullptr;
  QLabel* lblProgress = nullptr;
  QPushButton* btnCancel = nullptr;
  QAction* actCancel = nullptr;

 private slots:
  void Started(const QString& what);
  void Progress(qint64 done, qint64 total);
  void Step(const QString& step);
  void Count(qint64 items);
  void Finished(const QString& what, const vxk::OpResult& result);

 private:
  void ShowRow(bool on);
  void ShowStep();
  void ShowText(const QString& text);

  UiRunner& runner_;
  QStatusBar* bar_;
  QTimer* showTimer_ = nullptr;
  QTimer* messageTimer_ = nullptr;
  bool rowShown_ = false;
  QString what_;
  QString step_;
  int64_t items_ = -1;
  int64_t startedMs_ = 0;  // of the transfer shown: a new one starts when the position drops
  int64_t lastDone_ = 0;
  bool failed_ = false;  // an operation of the action under way failed
};

}  // namespace vxk
