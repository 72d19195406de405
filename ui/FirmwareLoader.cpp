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
#include "ui/BusyCursor.h"
#include "ui/DeviceText.h"

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

}  // namespace

FirmwareLoader::FirmwareLoader(TvxTerminal& terminal, TvxkFiles& files, QWidget* window)
    : QObject(window), terminal_(terminal), files_(files), window_(window) {
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

FirmwareUpdate FirmwareLoader::Update() {
  FirmwareUpdate::Hooks hooks;
  hooks.status = [this](const std::string& text, int style) {
    if (AppendStatus) AppendStatus(FromDevice(text), style);
  };
  hooks.sleep = [this](int ms) {
    if (Sleep) {
      Sleep(ms);
    } else {
      SleepMs(ms);
    }
  };
  return FirmwareUpdate(terminal_, files_, std::move(hooks));
}

void FirmwareLoader::actFirmwareExecute() {
  const QString path = ChooseFile ? ChooseFile() : QString();
  if (!path.isEmpty()) {
    const std::string image = ReadImageFile(LocalName(path), path.toStdString());
    if (!image.empty()) {
      BusyCursor busy;
      // The running firmware is told the name in lower case. Its closing line says whether it
      // kept the image.
      const OpResult loaded =
          Update().LoadDirect(AsciiLower(ToDevice(QFileInfo(path).fileName())), image);
      const std::string line = loaded.detail.empty() ? DescribeResult(loaded) : loaded.detail;
      if (AppendStatus) AppendStatus(FromDevice(line) + QStringLiteral("\r\n"), 0);
    }
  }
  if (FocusTerminal) FocusTerminal();
}

bool FirmwareLoader::InstallDroppedFirmware(QStringList& dropped) {
  std::vector<std::string> paths;
  for (const QString& p : dropped) paths.push_back(p.toStdString());
  const DroppedFirmware found = TakeFirmwarePaths(paths);
  dropped.clear();
  for (const std::string& p : paths) dropped << QString::fromStdString(p);
  if (found.paths.empty()) return true;

  // All images are read first: a file that cannot be read must not leave the device waiting
  // in its boot loader.
  std::vector<FirmwareImage> images;
  for (const std::string& p : found.paths) {
    const QString path = QString::fromStdString(p);
    images.push_back({ToDevice(QFileInfo(path).fileName()), ReadImageFile(LocalName(path), p)});
  }
  {
    BusyCursor busy;
    Update().InstallImages(images, found.bootLoaderImage);
  }
  if (AfterBootSequence) AfterBootSequence();
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
