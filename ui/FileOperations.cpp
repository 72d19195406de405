#include "ui/FileOperations.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <vector>

#include "ops/LocalFiles.h"
#include "ops/ProperPlace.h"
#include "ops/TreeSaver.h"
#include "ops/Upload.h"
#include "ui/Application.h"
#include "ui/DeviceText.h"
#include "ui/FileBrowser.h"
#include "ui/TerminalPane.h"
#include "ui/UiRunner.h"
#include "ui/ufmMkDir.h"
#include "ui/ufmRename.h"

namespace vxk {
namespace {

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A name for the pane: control characters would break its lines.
QString Printable(const std::string& deviceText) {
  QString text = FromDevice(deviceText);
  for (QChar& c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QChar('?');
  }
  return text;
}

// Local files of a drop, in drop order.
QStringList LocalFilesOf(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) files << url.toLocalFile();
  }
  return files;
}

// Copy, else Link; never Move, which would let a file manager delete the source.
Qt::DropAction DropActionFor(Qt::DropActions possible) {
  if (possible & Qt::CopyAction) return Qt::CopyAction;
  if (possible & Qt::LinkAction) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

}  // namespace

FileOperations::FileOperations(UiRunner& runner, FileBrowser& browser, TerminalPane& pane,
                               QWidget* window)
    : QObject(window), runner_(runner), browser_(browser), pane_(pane), window_(window) {
  SaveToDir = QDir::homePath();
  UploadFromDir = SaveToDir;
  actSave = MakeAction("actSave", QStringLiteral("Save to PC"), &FileOperations::actSaveExecute);
  actDelete = MakeAction("actDelete", QStringLiteral("Delete"), &FileOperations::actDeleteExecute);
  actMkDir = MakeAction("actMkDir", QStringLiteral("Make Dir"), &FileOperations::actMkDirExecute);
  actMakeFile =
      MakeAction("actMakeFile", QStringLiteral("New File"), &FileOperations::actMakeFileExecute);
  actRename = MakeAction("actRename", QStringLiteral("Rename"), &FileOperations::actRenameExecute);
  actUpload =
      MakeAction("actUpload", QStringLiteral("Upload\u2026"), &FileOperations::actUploadExecute);
  actUpload->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
  actUpload->setShortcutContext(Qt::WindowShortcut);
  window_->addAction(actUpload);
  // Del and F2 belong to the file list, so the terminal pane and the path box keep them.
  actDelete->setShortcut(QKeySequence(Qt::Key_Delete));
  actRename->setShortcut(QKeySequence(Qt::Key_F2));
  for (QAction* action : {actDelete, actRename}) {
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    browser_.lvFiles->addAction(action);
  }
  QAction* separators[2];
  for (QAction*& separator : separators) {
    separator = new QAction(browser_.puFiles);
    separator->setSeparator(true);
  }
  browser_.puFiles->insertActions(
      browser_.actRefresh, {actSave, actUpload, actRename, actDelete, separators[0], actMakeFile,
                            actMkDir, separators[1]});

  fmMkDir = new TfmMkDir(window);
  fmRename = new TfmRename(window);

  ChooseFolder = [this](const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(window_, title, start, QFileDialog::ShowDirsOnly);
  };
  ChooseFiles = [this](const QString& title, const QString& start) {
    QFileDialog dialog(window_, title, start);
    dialog.setObjectName(QStringLiteral("dlgUpload"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Upload"));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
  };
  Ask = [this](const QString& title, const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::Question, title, text, buttons, window_);
    return static_cast<QMessageBox::StandardButton>(box.exec());
  };
  RunDialog = [](QDialog& dialog) { return dialog.exec(); };

  for (QWidget* target : {static_cast<QWidget*>(browser_.lvFiles->viewport()),
                          static_cast<QWidget*>(browser_.memInfo->viewport())}) {
    target->parentWidget()->setAcceptDrops(true);
    target->setAcceptDrops(true);
    target->installEventFilter(this);
  }
}

QAction* FileOperations::MakeAction(const char* name, const QString& caption,
                                    void (FileOperations::*slot)()) {
  auto* action = new QAction(caption, window_);
  action->setObjectName(QString::fromLatin1(name));
  connect(action, &QAction::triggered, this, slot);
  return action;
}

void FileOperations::AppendStatusText(const QString& text, int style) {
  pane_.AppendText(text, kGreen, style == kBold, style == kItalic);
  pane_.TrimAndScroll();
}

void FileOperations::AppendErrorText(const QString& text) {
  pane_.AppendText(text, kRed, true, false);
  pane_.TrimAndScroll();
}

void FileOperations::ShowLocalError(const OpResult& result) {
  if (result.reason == Reason::LocalError)
    Application::ShowError(QString::fromLocal8Bit(result.detail.c_str()));
}

void FileOperations::Relist() {
  browser_.ShowDeviceDirectory(browser_.CurrentDir());
}

void FileOperations::actSaveExecute() {
  std::vector<std::string> rawLines;  // the selected entries, in list order
  QTreeWidget* list = browser_.lvFiles;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    if (item->isSelected())
      rawLines.push_back(item->data(0, FileBrowser::kRawLineRole).toByteArray().toStdString());
  }
  if (rawLines.empty()) return;
  const std::string deviceDir = browser_.CurrentDir();
  const QString start = QDir(SaveToDir).exists() ? SaveToDir : QString();
  QString folder = ChooseFolder(QStringLiteral("Save to Directory"), start);
  if (folder.isEmpty()) return;
  while (folder.size() > 1 && folder.endsWith(QChar('/'))) folder.chop(1);
  SaveToDir = folder;
  const std::string local =
      folder == QStringLiteral("/") ? std::string() : QFile::encodeName(folder).toStdString();
  UiRunner::Op op;
  op.what = actSave->text();
  op.progress = [this](int64_t done, int64_t total) { browser_.OnTransferProgress(done, total); };
  op.count = [this](int64_t saved) { browser_.ShowSavedCount(static_cast<int>(saved)); };
  runner_.Call<TreeSaver::Result>(
      this, std::move(op),
      [local, deviceDir, rawLines](Session& s, const OpContext& context) {
        TreeSaver saver(s.Terminal(), s.Files(), context);
        saver.OnCount = [&context](int n) { context.Count(n); };
        return saver.SaveEntries(local, deviceDir, rawLines);
      },
      [this](const OpResult& result, TreeSaver::Result& saved) {
        browser_.HideSavedCount();
        browser_.OnTransferDone();
        for (const TreeSaver::Skipped& skipped : saved.skipped)
          AppendStatusText(
              QStringLiteral("\r\nNot saved: %1 (%2)\r\n")
                  .arg(ShownPath(skipped.path), QString::fromUtf8(skipped.why.c_str())),
              kItalic);
        // A file the device did not deliver is not on the PC; the user must not think it is.
        for (const TreeSaver::Unread& unread : saved.unread)
          AppendErrorText(QStringLiteral("\r\nCould not read %1: %2. Not saved.\r\n")
                              .arg(ShownPath(unread.path), Printable(DescribeResult(unread.why))));
        ShowLocalError(result);
      });
}

void FileOperations::actDeleteExecute() {
  struct Entry {
    std::string name;
    bool directory;
  };
  std::vector<Entry> entries;
  QString caption;
  QTreeWidget* list = browser_.lvFiles;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    if (!item->isSelected()) continue;
    caption = item->text(FileBrowser::kName);
    entries.push_back({ToDevice(caption), browser_.IsDirectoryItem(i)});
  }
  if (entries.empty()) return;
  const QString question = entries.size() == 1
                               ? QStringLiteral("Delete \"%1\"?").arg(caption)
                               : QStringLiteral("Delete %1 files?").arg(entries.size());
  if (Ask(QStringLiteral("Confirm"), question, QMessageBox::Yes | QMessageBox::No) !=
      QMessageBox::Yes)
    return;
  const std::string dir = browser_.CurrentDir();
  browser_.Relist(actDelete->text(), [dir, entries](Session& s, const OpContext& context) {
    // The others are still deleted after one that failed; the first reason is told.
    OpResult first = OpResult::Done();
    for (const Entry& e : entries) {
      if (!s.Terminal().IsOpen()) return OpResult::Fail(Reason::LinkLost);
      if (context.Cancelled()) return OpResult::Fail(Reason::Cancelled);
      if (e.name == "..") continue;
      const OpResult deleted = e.directory ? s.Files().WipeDirectory(dir + "/" + e.name)
                                           : s.Files().DeleteFile(dir + "/" + e.name);
      if (first && !deleted) first = deleted;
    }
    return first;
  });
}

void FileOperations::actMkDirExecute() {
  fmMkDir->SetMode(TfmMkDir::Mode::Directory);
  if (RunDialog(*fmMkDir) != QDialog::Accepted) return;
  const std::string name = ToDevice(fmMkDir->Name());
  if (name.empty()) return;
  const std::string path = browser_.CurrentDir() + "/" + name;
  browser_.Relist(actMkDir->text(),
                  [path](Session& s, const OpContext&) { return s.Files().MakeDirectory(path); });
}

void FileOperations::actMakeFileExecute() {
  fmMkDir->SetMode(TfmMkDir::Mode::File);
  if (RunDialog(*fmMkDir) != QDialog::Accepted) return;
  const std::string name = ToDevice(fmMkDir->Name());
  if (name.empty()) return;
  const std::string path = browser_.CurrentDir() + "/" + name;
  QStringList matches;  // copied before any question, which lets the timers run
  QTreeWidget* list = browser_.lvFiles;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QString caption = list->topLevelItem(i)->text(FileBrowser::kName);
    if (AsciiLower(ToDevice(caption)) == AsciiLower(name)) matches << caption;
  }
  for (int i = 0; i < matches.size(); ++i) {
    if (Ask(QStringLiteral("Confirm"), QStringLiteral("File exists! Overwrite?"),
            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
      return;
  }
  browser_.Relist(actMakeFile->text(), [path](Session& s, const OpContext&) {
    return s.Files().WriteFile(path, std::string());
  });
}

void FileOperations::actRenameExecute() {
  const QTreeWidgetItem* item = browser_.lvFiles->currentItem();
  if (!item || !item->isSelected()) return;
  const QString caption = item->text(FileBrowser::kName);
  if (caption == QStringLiteral("..")) return;  // the parent folder is not this folder's entry
  const std::string oldName = ToDevice(caption);
  const std::string dir = browser_.CurrentDir();
  fmRename->SetName(caption);
  if (RunDialog(*fmRename) != QDialog::Accepted) return;
  const std::string newName = ToDevice(fmRename->NewName());
  if (newName.empty()) return;
  browser_.Relist(actRename->text(),
                  [path = dir + "/" + oldName, newName](Session& s, const OpContext&) {
                    return s.Files().RenameFile(path, newName);
                  });
}

void FileOperations::actUploadExecute() {
  if (runner_.Busy()) return;
  const QString start = QDir(UploadFromDir).exists() ? UploadFromDir : QDir::homePath();
  const QStringList files = ChooseFiles(QStringLiteral("Upload to Device"), start);
  if (files.isEmpty()) return;
  UploadFromDir = QFileInfo(files.first()).absolutePath();
  dftFilesDrop(files, false);
}

void FileOperations::dftFilesDrop(QStringList files, bool ctrl) {
  const std::string prefix = browser_.CurrentDir() + "/";
  auto rest = [this, files, ctrl, prefix]() mutable { UploadDropped(files, ctrl, prefix); };
  if (!InstallDroppedFirmware) {
    rest();
    return;
  }
  // The firmware images leave the list at once; the rest waits for the boot sequence.
  auto remaining = std::make_shared<QStringList>(files);
  InstallDroppedFirmware(
      *remaining, [this, remaining, ctrl, prefix] { UploadDropped(*remaining, ctrl, prefix); });
}

void FileOperations::UploadDropped(QStringList files, bool ctrl, const std::string& prefix) {
  if (!browser_.lvFiles->isEnabled()) {
    Relist();
    return;
  }
  bool route = false;
  bool routable = false;
  for (const QString& file : files) {
    if (!ProperPlace(prefix, ToDevice(QFileInfo(file).fileName())).empty()) routable = true;
  }
  if (!ctrl && routable) {
    const auto answer = Ask(QStringLiteral("Confirmation"),
                            QStringLiteral("Do you want files put in their proper place?\r\n"
                                           "(Hold CTRL down to override this)"),
                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes) {
      route = true;
    } else if (answer != QMessageBox::No) {
      files.clear();
    }
  }
  if (!files.isEmpty())
    AppendStatusText(QStringLiteral("\r\nUploading %1 files...\r\n").arg(files.size()), kItalic);
  UploadNext(files, 0, route, prefix);
}

void FileOperations::UploadNext(const QStringList& files, int index, bool route,
                                const std::string& prefix) {
  if (index >= files.size()) {
    AppendStatusText(QStringLiteral("\r\ndone.\r\n"), kItalic);
    Relist();
    return;
  }
  const QString name = QFileInfo(files[index]).fileName();
  const std::string deviceName = ToDevice(name);
  if (HasControlChars(deviceName)) {
    AppendErrorText(QStringLiteral("\r\nCannot upload %1: the name holds control characters\r\n")
                        .arg(Printable(deviceName)));
  }
  std::string target = route ? ProperPlace(prefix, deviceName) : std::string();
  if (target.empty()) target = prefix + deviceName;

  UiRunner::Op op;
  op.what = QStringLiteral("Upload %1").arg(name);
  op.stepsInStatus = false;
  op.progress = [this](int64_t done, int64_t total) { browser_.OnTransferProgress(done, total); };
  // Told once the file is read: the upload is announced with its size.
  op.step = [this, name, target](const std::string& size) {
    AppendStatusText(name, kBold);
    AppendStatusText(QStringLiteral("\r\n %1 > %2\r\n")
                         .arg(QString::fromLatin1(size.c_str()), ShownPath(target)),
                     kItalic);
  };
  op.run = [local = QFile::encodeName(files[index]).toStdString(), target](
               Session& s, const OpContext& context) {
    // A link that is down ends the uploads.
    if (!s.Terminal().IsOpen()) return OpResult::Fail(Reason::NotOpen);
    const LocalUpload upload = PrepareUpload(local);
    context.Step(std::to_string(upload.content.size()));
    return s.Files().WriteFile(target, upload.content, upload.time, context);
  };
  op.done = [this, files, index, route, prefix, target](const OpResult& written) {
    browser_.OnTransferDone();
    if (written.reason == Reason::LocalError) {
      ShowLocalError(written);  // a file that cannot be read ends the whole upload
      return;
    }
    if (written.reason == Reason::NotOpen) {
      UploadNext(files, static_cast<int>(files.size()), route, prefix);
      return;
    }
    // The line above announced the upload; a failed one must not read as done.
    if (!written)
      AppendErrorText(QStringLiteral("\r\nCould not write %1: %2\r\n")
                          .arg(ShownPath(target), Printable(DescribeResult(written))));
    const bool stop = written.reason == Reason::Cancelled;
    UploadNext(files, stop ? static_cast<int>(files.size()) : index + 1, route, prefix);
  };
  runner_.Post(this, std::move(op));
}

bool FileOperations::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
    return QObject::eventFilter(watched, event);
  auto* drop = static_cast<QDropEvent*>(event);
  const QStringList dropped = LocalFilesOf(drop->mimeData());
  const Qt::DropAction action = DropActionFor(drop->possibleActions());
  // While an operation runs, nothing new is taken.
  if (dropped.isEmpty() || action == Qt::IgnoreAction || runner_.Busy()) {
    drop->ignore();
    return true;
  }
  drop->setDropAction(action);
  drop->accept();
  if (type == QEvent::Drop) {
    // The upload starts once the drop is over, so the file manager is not kept waiting.
    const bool ctrl = drop->modifiers().testFlag(Qt::ControlModifier);
    QTimer::singleShot(0, this, [this, dropped, ctrl] { dftFilesDrop(dropped, ctrl); });
  }
  return true;
}

}  // namespace vxk
