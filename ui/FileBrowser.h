#pragma once

#include <QObject>
#include <cstdint>
#include <string>

#include "FileAccess/vxkFiles.h"
#include "comms/OpContext.h"
#include "comms/vxTerminal.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace vxk {

// The device file browser: one device folder at a time in lvFiles, its path in edDir, the
// device summary in memInfo and the transfer progress display.
class FileBrowser : public QObject {
  Q_OBJECT

 public:
  enum Column { kName = 0, kSize = 1, kAttr = 2, kCreated = 3 };
  // Item data role holding the raw listing line.
  static constexpr int kRawLineRole = Qt::UserRole + 1;

  FileBrowser(TvxTerminal& terminal, TvxkFiles& files, QWidget* parent);

  QTreeWidget* lvFiles = nullptr;
  QLineEdit* edDir = nullptr;
  QPlainTextEdit* memInfo = nullptr;
  QProgressBar* pbFile = nullptr;
  QLabel* lblSize = nullptr;
  QLabel* lblCount = nullptr;
  QAction* actRefresh = nullptr;
  QMenu* puFiles = nullptr;

  // The current device folder; always the text of edDir.
  const std::string& CurrentDir() const { return currentDir_; }
  void ShowDeviceDirectory(const std::string& path);
  void EnableFileBrowser(bool on);
  bool IsDirectoryItem(int index) const;
  static std::string ParentPath(const std::string& path);
  void OnTransferProgress(int64_t position, int64_t total);
  void OnTransferDone();
  // A context whose progress drives the display above.
  OpContext TransferContext();
  void ShowSavedCount(int n);
  void HideSavedCount();
  // Adds the listing lines to the list as items (".", unparsable lines left out), sorted.
  void FillList(const std::vector<std::string>& lines);

 signals:
  // A file item was opened (double-click or Enter).
  void EditRequested(QTreeWidgetItem* item);

 private slots:
  void lvFilesDblClick();
  void edDirChange(const QString& text);
  void actRefreshExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void edDirKeyPress();

  TvxTerminal& terminal_;
  TvxkFiles& files_;
  std::string currentDir_;
  int64_t nextRepaint_ = 0;
};

}  // namespace vxk
