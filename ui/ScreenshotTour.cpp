#include "ui/ScreenshotTour.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QPixmap>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <QVariant>
#include <QWidget>
#include <cstdio>

#include "ui/FixedColours.h"

namespace vxk {

namespace {

constexpr char kEnv[] = "VXK_SCREENSHOT_DIR";
// With this set, the tour holds each window open after its picture until a file NAME.seen
// appears beside NAME.png (at most kSeenTimeoutMs): time for a checker to look at it.
constexpr char kHandshakeEnv[] = "VXK_SCREENSHOT_HANDSHAKE";
constexpr int kSeenTimeoutMs = 60000;
constexpr int kOpenTimeoutMs = 10000;
constexpr int kSettleMs = 800;  // lets a window that just opened paint and load its content
// The upload shown in progress: big enough to be caught on its way over a paced link.
constexpr qint64 kTransferBytes = 256 * 1024;
constexpr int kTransferShownAt = 150;  // of the status bar's 1000 steps

QWidget* FindWindow(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == name) return w;
  }
  return nullptr;
}

QAction* FindAction(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* a = w->findChild<QAction*>(name)) return a;
  }
  return nullptr;
}

void Note(const QString& text) {
  std::fprintf(stderr, "screenshot tour: %s\n", text.toLocal8Bit().constData());
}

void CloseWindow(QWidget* w) {
  if (auto* d = qobject_cast<QDialog*>(w))
    d->reject();
  else
    w->close();
}

void TypeLine(QWidget* target, const QString& text) {
  target->setFocus();
  for (const QChar c : text + QLatin1Char('\r')) {
    const int key = c == QLatin1Char('\r') ? int(Qt::Key_Return) : int(c.toUpper().unicode());
    QApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, c));
    QApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, c));
  }
}

// A file of the browser to open in the editor; steps into the first folder when the current
// one shows none.
QTreeWidgetItem* FileToEdit(QWidget* first) {
  auto* list = first->findChild<QTreeWidget*>(QStringLiteral("lvFiles"));
  if (!list) return nullptr;
  for (int pass = 0; pass < 2; ++pass) {
    QTreeWidgetItem* folder = nullptr;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = list->topLevelItem(i);
      const bool dir = item->text(2).contains(QStringLiteral("<DIR>"));
      if (!dir) return item;
      if (!folder && item->text(0) != QStringLiteral("..")) folder = item;
    }
    if (!folder) return nullptr;
    list->setCurrentItem(folder);
    emit list->itemDoubleClicked(folder, 0);  // lists the folder before returning
  }
  return nullptr;
}

}  // namespace

void ScreenshotTour::PrepareLook() {
  if (qEnvironmentVariable("VXK_SCREENSHOT_LOOK") != QStringLiteral("dark")) return;
  qunsetenv("VXK_SCREENSHOT_LOOK");
  QApplication::setStyle(QStringLiteral("Fusion"));
  QApplication::setPalette(DarkPalette());
}

ScreenshotTour* ScreenshotTour::StartIfAsked(QWidget* first) {
  const QString dir = qEnvironmentVariable(kEnv);
  if (dir.isEmpty()) return nullptr;
  qunsetenv(kEnv);
  auto* tour = new ScreenshotTour(first, dir);
  tour->handshake_ = !qEnvironmentVariableIsEmpty(kHandshakeEnv);
  qunsetenv(kHandshakeEnv);
  return tour;
}

ScreenshotTour::ScreenshotTour(QWidget* first, const QString& dir)
    : QObject(first), first_(first), dir_(dir) {
  QDir().mkpath(dir_);
  if (first_->objectName() == QStringLiteral("fmMain")) steps_ = MainSteps();
  poll_.setInterval(100);
  QTimer::singleShot(0, this, [this] { Begin(); });
}

std::vector<ScreenshotTour::Step> ScreenshotTour::MainSteps() {
  return {{"connect", "fmConnect", "actConnect"},
          {"upload", "dlgUpload", "actUpload"},
          {"transfer", "fmMain", "drop"},
          {"editor", "fmFile", ""},
          {"lcd", "fmLCD", "actLCD"},
          {"sync-time", "fmSyncTime", "actSyncTime"},
          {"log", "fmLog", "actShowLog"},
          {"diagnostics", "fmDiag", "actDiag"},
          {"about", "fmAbout", "actAbout"}};
}

void ScreenshotTour::WaitFor(std::function<bool()> ready, int timeoutMs,
                             std::function<void(bool)> then) {
  clock_.start();
  poll_.disconnect(this);
  connect(&poll_, &QTimer::timeout, this, [this, ready, timeoutMs, then] {
    const bool ok = ready();
    if (!ok && clock_.elapsed() < timeoutMs) return;
    poll_.stop();
    then(ok);
  });
  poll_.start();
}

void ScreenshotTour::Begin() {
  if (first_->objectName() == QStringLiteral("fmServer")) {
    // The server's picture shows a device that connected and the process started for it.
    auto* log = first_->findChild<QWidget*>(QStringLiteral("memLog"));
    WaitFor([log] { return log && log->property("plainText").toString().contains("Proc"); }, 20000,
            [this](bool) {
              QTimer::singleShot(kSettleMs, this, [this] {
                Save(first_, QStringLiteral("server"));
                AfterSeen(QStringLiteral("server"), [this] { Finish(); });
              });
            });
    return;
  }
  WaitFor([this] { return first_->windowTitle().contains(QStringLiteral(" connected")); }, 30000,
          [this](bool connected) {
            if (!connected) Note("no device connected");
            // The open sequence (header, device information, listing) follows the connection.
            QTimer::singleShot(3000, this, [this] {
              if (auto* term = first_->findChild<QWidget*>(QStringLiteral("reTerm")))
                TypeLine(term, QStringLiteral("ver"));
              QTimer::singleShot(2000, this, [this] {
                Save(first_, QStringLiteral("main"));
                AfterSeen(QStringLiteral("main"), [this] { RunStep(0); });
              });
            });
          });
}

void ScreenshotTour::RunStep(size_t i) {
  if (i >= steps_.size()) return Finish();
  const Step& step = steps_[i];
  if (step.action == QStringLiteral("drop")) return RunTransfer(i);
  QAction* action = step.action.isEmpty() ? nullptr : FindAction(step.action);
  QTreeWidgetItem* file = step.file == QStringLiteral("editor") ? FileToEdit(first_) : nullptr;
  QWidget* window = FindWindow(step.window);
  if (!action && !file && !window) {
    skipped_ << step.file;
    Note(step.file + ": no window " + step.window + " in this build");
    return RunStep(i + 1);
  }
  triggerReturned_ = false;
  watchDone_ = false;
  Watch(i);
  // A modal window runs its own loop inside the trigger; the watch closes it from there.
  if (file) {
    auto* list = file->treeWidget();
    list->setCurrentItem(file);
    emit list->itemDoubleClicked(file, 0);
  } else if (action) {
    action->trigger();
  } else {
    window->show();
  }
  triggerReturned_ = true;
  StepDone(i);
}

void ScreenshotTour::Watch(size_t i) {
  const QString name = steps_[i].window;
  auto seen = std::make_shared<qint64>(-1);
  WaitFor(
      [this, name, seen] {
        QWidget* w = FindWindow(name);
        if (!w || !w->isVisible()) return false;
        if (*seen < 0) *seen = clock_.elapsed();
        return clock_.elapsed() - *seen >= kSettleMs;
      },
      kOpenTimeoutMs,
      [this, i, name](bool open) {
        if (open) {
          Save(FindWindow(name), steps_[i].file);
          AfterSeen(steps_[i].file, [this, i, name] {
            if (QWidget* w = FindWindow(name)) CloseWindow(w);
            watchDone_ = true;
            StepDone(i);
          });
          return;
        } else {
          skipped_ << steps_[i].file;
          Note(steps_[i].file + ": " + name + " did not open");
          // Whatever box came up instead must not hold the tour.
          if (QWidget* modal = QApplication::activeModalWidget()) CloseWindow(modal);
        }
        watchDone_ = true;
        StepDone(i);
      });
}

void ScreenshotTour::RunTransfer(size_t i) {
  auto* list = first_->findChild<QTreeWidget*>(QStringLiteral("lvFiles"));
  auto* bar = first_->findChild<QProgressBar*>(QStringLiteral("pbStatus"));
  auto skip = [this, i](const QString& why) {
    skipped_ << steps_[i].file;
    Note(steps_[i].file + ": " + why);
    QTimer::singleShot(300, this, [this, i] { RunStep(i + 1); });
  };
  if (!list || !bar || !list->isEnabled()) return skip(QStringLiteral("no file list to drop on"));
  // A file dropped with Ctrl held goes to the listed folder without a question.
  auto folder = std::make_shared<QTemporaryDir>();
  QFile file(folder->filePath(QStringLiteral("tour-upload.bin")));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(QByteArray(kTransferBytes, 'x')) != kTransferBytes)
    return skip(QStringLiteral("cannot write a file to upload"));
  file.close();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(file.fileName())});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::NoButton, Qt::ControlModifier);
  QApplication::sendEvent(list->viewport(), &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::NoButton, Qt::ControlModifier);
  QApplication::sendEvent(list->viewport(), &drop);
  WaitFor([bar] { return bar->isVisible() && bar->value() >= kTransferShownAt; }, 30000,
          [this, i, bar, folder, skip](bool moving) {
            if (!moving) return skip(QStringLiteral("no transfer to be seen"));
            Save(first_, steps_[i].file);
            AfterSeen(steps_[i].file, [this, i, bar, folder] {
              // The upload runs to its end, so the device is free for the next window.
              auto* upload = first_->findChild<QAction*>(QStringLiteral("actUpload"),
                                                         Qt::FindDirectChildrenOnly);
              WaitFor([bar, upload] { return !bar->isVisible() && upload && upload->isEnabled(); },
                      30000,
                      [this, i, folder](bool) {
                        QTimer::singleShot(kSettleMs, this, [this, i] { RunStep(i + 1); });
                      });
            });
          });
}

void ScreenshotTour::AfterSeen(const QString& file, std::function<void()> then) {
  if (!handshake_) return then();
  const QString seen = dir_ + QLatin1Char('/') + file + QStringLiteral(".seen");
  WaitFor([seen] { return QFile::exists(seen); }, kSeenTimeoutMs,
          [file, then](bool ok) {
            if (!ok) Note(file + ": nobody looked");
            then();
          });
}

void ScreenshotTour::StepDone(size_t i) {
  if (!triggerReturned_ || !watchDone_) return;
  triggerReturned_ = false;
  QTimer::singleShot(300, this, [this, i] { RunStep(i + 1); });
}

bool ScreenshotTour::Save(QWidget* w, const QString& file) {
  const QString path = dir_ + QLatin1Char('/') + file + QStringLiteral(".png");
  if (!w->grab().save(path, "PNG")) {
    Note("cannot write " + path);
    skipped_ << file;
    return false;
  }
  written_ << file;
  Note("wrote " + path);
  return true;
}

void ScreenshotTour::Finish() {
  Note(QStringLiteral("done"));
  QApplication::exit(0);
}

}  // namespace vxk
