#include "ui/EditAction.h"

#include <QAction>
#include <QMessageBox>
#include <QTreeWidget>
#include <string>

#include "ui/DeviceText.h"
#include "ui/FileBrowser.h"
#include "ui/TerminalPane.h"
#include "ui/UiRunner.h"
#include "ui/ufmFile.h"

namespace vxk {
namespace {

struct FileRead {
  OpResult result;
  std::string content;
};

}  // namespace

EditAction::EditAction(UiRunner& runner, FileBrowser& browser, TerminalPane& pane, TfmFile& editor,
                       QWidget* parent)
    : QObject(parent),
      runner_(runner),
      browser_(browser),
      pane_(pane),
      editor_(editor),
      window_(parent) {
  actEdit = new QAction(QStringLiteral("Edit"), parent);
  actEdit->setObjectName(QStringLiteral("actEdit"));
  connect(actEdit, &QAction::triggered, this, &EditAction::actEditExecute);
  connect(&browser_, &FileBrowser::EditRequested, this, &EditAction::actEditExecute);
}

void EditAction::actEditExecute() {
  const QTreeWidgetItem* item = browser_.lvFiles->currentItem();
  if (!item) return;
  // Copied now: the list may be refilled while the editor is open.
  const std::string path = browser_.CurrentDir() + "/" + ToDevice(item->text(FileBrowser::kName));
  UiRunner::Op op;
  op.what = actEdit->text();
  op.progress = [this](int64_t done, int64_t total) { browser_.OnTransferProgress(done, total); };
  runner_.Call<FileRead>(
      this, std::move(op),
      [path](Session& s, const OpContext& context) {
        FileRead read;
        read.result = s.Files().ReadFile(path, read.content, context);
        return read;
      },
      [this, path](const OpResult& result, FileRead& read) {
        browser_.OnTransferDone();
        if (result) EditAndWrite(path, read.content, nullptr);
      });
}

void EditAction::EditAndWrite(const std::string& path, const std::string& content,
                              const QString* draft) {
  const TfmFile::Edit edit = editor_.EditContent(path, content, draft);
  if (edit.changed) {
    Write(path, content, edit.text, edit.edited);
  } else if (draft) {
    browser_.ShowDeviceDirectory(browser_.CurrentDir());  // after a failed write
  }
}

void EditAction::Write(const std::string& path, const std::string& content, const std::string& text,
                       const QString& edited) {
  UiRunner::Op op;
  op.what = actEdit->text();
  op.progress = [this](int64_t done, int64_t total) { browser_.OnTransferProgress(done, total); };
  op.run = [path, text](Session& s, const OpContext& context) {
    return s.Files().WriteFile(path, text, 0, context);
  };
  op.done = [this, path, content, edited](const OpResult& written) {
    browser_.OnTransferDone();
    if (!written && OfferAgain(ShownPath(path), FromDevice(DescribeResult(written)))) {
      EditAndWrite(path, content, &edited);
      return;
    }
    browser_.ShowDeviceDirectory(browser_.CurrentDir());
  };
  runner_.Post(this, std::move(op));
}

bool EditAction::OfferAgain(const QString& path, const QString& why) {
  pane_.AppendText(
      QStringLiteral("\r\nCould not write %1: %2. The changes are not saved.\r\n").arg(path, why),
      QColor(255, 0, 0), true, false);
  pane_.TrimAndScroll();
  QMessageBox box(
      QMessageBox::Question, QStringLiteral("Confirm"),
      QStringLiteral("Could not write %1: %2.\nEdit your changes again?").arg(path, why),
      QMessageBox::Yes | QMessageBox::No, window_);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace vxk
