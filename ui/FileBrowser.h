#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "comms/OpResult.h"
#include "ops/Listing.h"
#include "session/Session.h"

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

class UiRunner;

// The device file browser: one device folder at a time in lvFiles, its path in edDir, the
// device summary in memInfo and the transfer progress display. Listings run on the worker;
// the list is filled when they come back.
class FileBrowser : public QObject {
  Q_OBJECT

 public:
  enum Column { kName = 0, kSize = 1, kAttr = 2, kCreated = 3 };
  // Item data role holding the raw listing line.
  static constexpr int kRawLineRole = Qt::UserRole + 1;

  using Work = std::function<OpResult(Session& session, const OpContext& context)>;

  FileBrowser(UiRunner& runner, QWidget* parent);

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
  // Lists path into the list (nothing while the list is switched off).
  void ShowDeviceDirectory(const std::string& path);
  // Runs work as the user's operation what, then lists the current folder again, whatever
  // became of the work; after gets the work's result once the list shows the new listing.
  void Relist(const QString& what, Work work,
              std::function<void(const OpResult& result)> after = {});
  // A listing that came back: the list shows it.
  void ShowListing(const Listing& listing);
  void EnableFileBrowser(bool on);
  bool IsDirectoryItem(int index) const;
  static std::string ParentPath(const std::string& path);
  void OnTransferProgress(int64_t position, int64_t total);
  void OnTransferDone();
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

  UiRunner& runner_;
  std::string currentDir_;
  int64_t nextRepaint_ = 0;
};

}  // namespace vxk
