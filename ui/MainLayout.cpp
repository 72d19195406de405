// The main window's controls, menus and the wiring of its parts: the terminal pane and the
// device summary side by side above the file list, the status area below.
#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/EditAction.h"
#include "ui/FileOperations.h"
#include "ui/KeyboardSplitter.h"
#include "ui/LinkStatus.h"
#include "ui/StatusArea.h"
#include "ui/SupportActions.h"
#include "ui/ToolActions.h"
#include "ui/UiRunner.h"
#include "ui/ufmFile.h"
#include "ui/ufmMain.h"

namespace vxk {
namespace {

// Widths of the upper area: the device summary starts at kInfoWidth; neither side of the
// splitter gets narrower than its minimum.
constexpr int kInfoWidth = 330;
constexpr int kMinInfoWidth = 120;
constexpr int kMinTermWidth = 240;

}  // namespace

void TfmMain::BuildLayout() {
  pane_ = new TerminalPane(*runner_, this);
  browser_ = new FileBrowser(*runner_, this);
  ops_ = new FileOperations(*runner_, *browser_, *pane_, this);
  fmFile_ = new TfmFile(this);
  edit_ = new EditAction(*runner_, *browser_, *pane_, *fmFile_, this);
  // The link and the device lead the status bar; the operation takes the rest.
  linkStatus_ = new LinkStatus(runner_->Settings(), statusBar(), this);
  status_ = new StatusArea(*runner_, statusBar(), this);
  WireFirmware();
  connect(pane_, &TerminalPane::PasswordAccepted, this,
          [this] { ShowDeviceDirectory(browser_->CurrentDir()); });

  // Device summary and transfer progress beside the terminal; a splitter lets the two share
  // the width, and the terminal takes what a wider window adds.
  auto* side = new QWidget(this);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  sideLayout->setSpacing(2);
  sideLayout->addWidget(browser_->memInfo, 1);
  sideLayout->addWidget(browser_->pbFile);
  sideLayout->addWidget(browser_->lblSize);
  sideLayout->addWidget(browser_->lblCount);
  sideLayout->addWidget(firmware_->Button1);
  side->setMinimumWidth(kMinInfoWidth);
  pane_->reTerm()->setMinimumWidth(kMinTermWidth);

  auto* across =
      new KeyboardSplitter(Qt::Horizontal, QStringLiteral("Terminal and device information"), this);
  across->setObjectName(QStringLiteral("Splitter2"));
  across->setHandleWidth(4);
  across->setChildrenCollapsible(false);
  across->addWidget(pane_->reTerm());
  across->addWidget(side);
  across->setStretchFactor(0, 1);
  across->setStretchFactor(1, 0);
  across->setSizes({width() - kInfoWidth, kInfoWidth});

  auto* upper = new QWidget(this);
  auto* column = new QVBoxLayout(upper);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  column->addWidget(across, 1);
  column->addWidget(browser_->edDir);

  splitter_ = new KeyboardSplitter(Qt::Vertical, QStringLiteral("Terminal and file list"), this);
  splitter_->setObjectName(QStringLiteral("Splitter1"));
  splitter_->setHandleWidth(4);
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(upper);
  splitter_->addWidget(browser_->lvFiles);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  splitter_->setSizes({height() - 250, 250});
  setCentralWidget(splitter_);
}

void TfmMain::BuildMenus() {
  actExit = new QAction(QStringLiteral("Exit"), this);
  actExit->setObjectName(QStringLiteral("actExit"));
  connect(actExit, &QAction::triggered, this, &QWidget::close);

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("mnuFile"));
  file->addAction(ops_->actSave);
  file->addAction(ops_->actUpload);
  file->addAction(firmware_->actFirmware);
  file->addSeparator();
  file->addAction(ops_->actMakeFile);
  file->addSeparator();
  file->addAction(edit_->actEdit);
  file->addAction(ops_->actRename);
  file->addAction(ops_->actDelete);
  file->addSeparator();
  file->addAction(browser_->actRefresh);
  file->addSeparator();
  file->addAction(actExit);

  actShowLog = new QAction(QStringLiteral("Logs"), this);
  actShowLog->setObjectName(QStringLiteral("actShowLog"));
  actShowLog->setEnabled(!IsNetworkLink());  // only USB carries the log channel
  connect(actShowLog, &QAction::triggered, this, &TfmMain::actShowLogExecute);

  QMenu* term = menuBar()->addMenu(QStringLiteral("&Terminal"));
  term->setObjectName(QStringLiteral("mnuTerminal"));
  term->addAction(pane_->actTermAll);
  term->addAction(pane_->actTermCopy);
  term->addAction(pane_->actPaste);
  term->addAction(pane_->actTermClear);
  term->addSeparator();
  term->addAction(browser_->actRefresh);
  menuBar()->addAction(actShowLog);

  // Edit heads the file list's popup, set apart from Refresh Directory.
  QMenu* popup = browser_->puFiles;
  popup->insertAction(popup->actions().value(0), edit_->actEdit);
  const QList<QAction*> items = popup->actions();
  const qsizetype refresh = items.indexOf(browser_->actRefresh);
  if (refresh > 0 && !items[refresh - 1]->isSeparator())
    popup->insertSeparator(browser_->actRefresh);
  tools_ = new ToolActions(this, pane_->reTerm());
  tools_->AddMenus(menuBar());
  support_ = new SupportActions(this);
  support_->AddMenus(menuBar()->findChild<QMenu*>(QStringLiteral("mnuTools")), menuBar());

  // These shortcuts work wherever the focus is in the window; Select All, Copy and Paste
  // only in the terminal pane, which holds them itself.
  addActions({pane_->actTermClear, pane_->actFontUp, pane_->actFontDown, pane_->actFontReset,
              browser_->actRefresh});

  // While an operation runs, whatever would start another one waits, disabled (each keeps
  // its own state for afterwards).
  busyGroup_ = new QActionGroup(this);
  busyGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  for (QAction* action :
       {ops_->actSave, ops_->actUpload, ops_->actDelete, ops_->actMkDir, ops_->actMakeFile,
        ops_->actRename, edit_->actEdit, browser_->actRefresh, firmware_->actFirmware,
        tools_->actLCD, tools_->actSyncTime, support_->actDiag, pane_->actPaste})
    busyGroup_->addAction(action);
  connect(runner_, &UiRunner::BusyChanged, busyGroup_,
          [this](bool busy) { busyGroup_->setEnabled(!busy); });
}

void TfmMain::WireFirmware() {
  firmware_ = new FirmwareLoader(*runner_, this);
  firmware_->AppendStatus = [this](const QString& text, int style) {
    AppendStatusText(text, style);
  };
  firmware_->FocusTerminal = [this] { pane_->reTerm()->setFocus(); };
  firmware_->Progress = [this](int64_t done, int64_t total) {
    browser_->OnTransferProgress(done, total);
  };
  firmware_->ProgressDone = [this] { browser_->OnTransferDone(); };
  firmware_->AfterBootSequence = [this](const DeviceInfo& device, bool open) {
    // The boot sequence closed and reopened the link: it shows what it reopened to. A link
    // that stayed closed (a TCP device is gone for good) is reported by the next watch, like
    // a device that left.
    if (!open) return;
    product_ = device.product;
    ShowDeviceInfo(device);
  };
  // Dropped ".blf" files go to the boot loader before the rest is uploaded.
  ops_->InstallDroppedFirmware = [this](QStringList& files, std::function<void()> then) {
    firmware_->InstallDroppedFirmware(files, std::move(then));
  };
}

}  // namespace vxk
