#include "ui/EditAction.h"

#include <QAction>
#include <QMessageBox>
#include <QTreeWidget>
#include <string>

#include "ui/BusyCursor.h"
#include "ui/DeviceText.h"
#include "ui/FileBrowser.h"
#include "ui/TerminalPane.h"
#include "ui/ufmFile.h"

namespace vxk {

EditAction::EditAction(FileBrowser& browser, TvxkFiles& files, TerminalPane& pane, TfmFile& editor,
                       QWidget* parent)
    : QObject(parent),
      browser_(browser),
      files_(files),
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
  std::string content;
  {
    BusyCursor busy;
    const OpResult read = files_.ReadFile(path, content, browser_.TransferContext());
    browser_.OnTransferDone();
    if (!read) return;
  }
  TfmFile::Edit edit = editor_.EditContent(path, content);
  if (!edit.changed) return;
  for (;;) {
    OpResult written;
    {
      BusyCursor busy;
      written = files_.WriteFile(path, edit.text, 0, browser_.TransferContext());
      browser_.OnTransferDone();
    }
    if (written || !OfferAgain(FromDevice(path), FromDevice(DescribeResult(written)))) break;
    const QString draft = edit.edited;
    edit = editor_.EditContent(path, content, &draft);
    if (!edit.changed) break;
  }
  BusyCursor busy;
  browser_.ShowDeviceDirectory(browser_.CurrentDir());
}

bool EditAction::OfferAgain(const QString& path, const QString& why) {
  pane_.AppendText(
      QStringLiteral("\r\nCould not write %1: %2. The changes are not saved.\r\n").arg(path, why),
      QColor(255, 0, 0), true, false);
  pane_.TrimAndScroll();
  pane_.reTerm()->repaint();
  QMessageBox box(
      QMessageBox::Question, QStringLiteral("Confirm"),
      QStringLiteral("Could not write %1: %2.\nEdit your changes again?").arg(path, why),
      QMessageBox::Yes | QMessageBox::No, window_);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace vxk
