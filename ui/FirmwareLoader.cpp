#include "ui/FirmwareLoader.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <vector>

#include "comms/Ticks.h"
#include "ui/Accessibility.h"
#include "ui/DeviceText.h"
#include "ui/UiRunner.h"

namespace vxk {
namespace {

std::string LocalName(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// The local files of a drop; none when it carries anything else.
QStringList LocalFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files << url.toLocalFile();
  }
  return files;
}

// Copy or link, never move: a move would let the file manager delete the source.
bool TakeAction(QDropEvent* event) {
  if (event->possibleActions() & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
  } else if (event->possibleActions() & Qt::LinkAction) {
    event->setDropAction(Qt::LinkAction);
  } else {
    return false;
  }
  event->accept();
  return true;
}

// What the boot sequence left: the device the link reopened to.
struct AfterBoot {
  OpResult result;
  DeviceInfo device;
  bool open = false;
};

}  // namespace

FirmwareLoader::FirmwareLoader(UiRunner& runner, QWidget* window)
    : QObject(window), runner_(runner), window_(window) {
  actFirmware = new QAction(QStringLiteral("Load Firmware"), this);
  actFirmware->setObjectName(QStringLiteral("actFirmware"));
  actFirmware->setEnabled(false);
  connect(actFirmware, &QAction::triggered, this, &FirmwareLoader::actFirmwareExecute);
  Button1 = new QPushButton(window);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setText(actFirmware->text());
  Button1->setEnabled(false);
  Describe(Button1, actFirmware->text(),
           QStringLiteral("Chooses a firmware image (.blf) and loads it into the device"));
  connect(Button1, &QPushButton::clicked, actFirmware, &QAction::trigger);
  connect(actFirmware, &QAction::changed, Button1,
          [this] { Button1->setEnabled(actFirmware->isEnabled()); });
  ChooseFile = [this] { return AskForFile(); };
}

QString FirmwareLoader::Filters() {
  // Linux dialogs match patterns case-sensitively: both spellings of the extension.
  return QStringLiteral("Firmware (*.blf *.BLF);;All files (*)");
}

QString FirmwareLoader::AskForFile() {
  return QFileDialog::getOpenFileName(window_, actFirmware->text(), OpenDir, Filters());
}

FirmwareUpdate::Hooks FirmwareLoader::Hooks(std::function<void(int)> sleep,
                                            const OpContext& context) {
  FirmwareUpdate::Hooks hooks;
  hooks.status = [&context](const std::string& text, int style) {
    context.Step(std::string(1, static_cast<char>('0' + style)) + text);
  };
  hooks.sleep = [sleep = std::move(sleep)](int ms) {
    if (sleep) {
      sleep(ms);
    } else {
      SleepMs(ms);
    }
  };
  return hooks;
}

void FirmwareLoader::ShowStatusStep(const std::string& step) {
  if (step.empty() || !AppendStatus) return;
  AppendStatus(FromDevice(step.substr(1)), step[0] - '0');
}

void FirmwareLoader::actFirmwareExecute() {
  const QString path = ChooseFile ? ChooseFile() : QString();
  const std::string image =
      path.isEmpty() ? std::string() : ReadImageFile(LocalName(path), path.toStdString());
  if (image.empty()) {
    if (FocusTerminal) FocusTerminal();
    return;
  }
  // The running firmware is told the name in lower case. Its closing line says whether it
  // kept the image.
  UiRunner::Op op;
  op.what = actFirmware->text();
  op.progress = Progress;
  op.run = [sleep = Sleep, name = AsciiLower(ToDevice(QFileInfo(path).fileName())), image](
               Session& s, const OpContext& context) {
    return FirmwareUpdate(s.Terminal(), s.Files(), Hooks(sleep, context), context)
        .LoadDirect(name, image);
  };
  op.done = [this](const OpResult& loaded) {
    if (ProgressDone) ProgressDone();
    const std::string line = loaded.detail.empty() ? DescribeResult(loaded) : loaded.detail;
    if (AppendStatus) AppendStatus(FromDevice(line) + QStringLiteral("\r\n"), 0);
    if (FocusTerminal) FocusTerminal();
  };
  runner_.Post(this, std::move(op));
}

bool FirmwareLoader::InstallDroppedFirmware(QStringList& dropped, std::function<void()> then) {
  std::vector<std::string> paths;
  for (const QString& p : dropped) paths.push_back(p.toStdString());
  const DroppedFirmware found = TakeFirmwarePaths(paths);
  dropped.clear();
  for (const std::string& p : paths) dropped << QString::fromStdString(p);
  if (found.paths.empty()) {
    if (then) then();
    return true;
  }

  // All images are read first: a file that cannot be read must not leave the device waiting
  // in its boot loader.
  std::vector<FirmwareImage> images;
  for (const std::string& p : found.paths) {
    const QString path = QString::fromStdString(p);
    images.push_back({ToDevice(QFileInfo(path).fileName()), ReadImageFile(LocalName(path), p)});
  }
  UiRunner::Op op;
  op.what = QStringLiteral("Firmware update");
  op.stepsInStatus = false;
  op.progress = Progress;
  op.step = [this](const std::string& step) { ShowStatusStep(step); };
  runner_.Call<AfterBoot>(
      this, std::move(op),
      [sleep = Sleep, images, boot = found.bootLoaderImage](Session& s, const OpContext& context) {
        AfterBoot after;
        after.result = FirmwareUpdate(s.Terminal(), s.Files(), Hooks(sleep, context), context)
                           .InstallImages(images, boot);
        after.open = s.Link().IsOpen();
        if (after.open) after.device = ReadDeviceInfo(s.Link());
        return after;
      },
      [this, then = std::move(then)](const OpResult&, AfterBoot& after) {
        if (ProgressDone) ProgressDone();
        if (AfterBootSequence) AfterBootSequence(after.device, after.open);
        if (then) then();
      });
  return true;
}

void FirmwareLoader::AcceptDropsOn(QWidget* target) {
  target->setAcceptDrops(true);
  // A scroll area gets its drops through its viewport.
  if (auto* area = qobject_cast<QAbstractScrollArea*>(target)) {
    target = area->viewport();
    target->setAcceptDrops(true);
  }
  target->installEventFilter(this);
}

bool FirmwareLoader::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (LocalFiles(drag->mimeData()).isEmpty() || !TakeAction(drag)) drag->ignore();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList files = LocalFiles(drop->mimeData());
      if (files.isEmpty() || !TakeAction(drop)) {
        drop->ignore();
        return true;
      }
      // The work runs after the drop has ended, so the file manager is not held meanwhile.
      if (runner_.Busy()) {
        drop->ignore();
        return true;
      }
      QTimer::singleShot(0, this, [this, files] {
        QStringList dropped = files;
        InstallDroppedFirmware(dropped);
      });
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace vxk
