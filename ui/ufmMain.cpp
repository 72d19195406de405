#include "ui/ufmMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>

#include "ui/ConnectAction.h"
#include "ui/DeviceText.h"
#include "ui/FileOperations.h"
#include "ui/LinkMonitor.h"
#include "ui/LinkStatus.h"
#include "ui/SupportActions.h"
#include "ui/SuspendWatcher.h"
#include "ui/ToolActions.h"
#include "ui/UiRunner.h"
#include "ui/uCorrectFormPlacement.h"
#include "ui/ufmDiag.h"
#include "ui/ufmLog.h"

namespace vxk {
namespace {

// Restarts a timer at the end of its tick, however the tick ends.
class TickGuard {
 public:
  explicit TickGuard(QTimer* timer) : timer_(timer) { timer_->stop(); }
  ~TickGuard() { timer_->start(); }

 private:
  QTimer* timer_;
};

QTimer* MakeTimer(QObject* owner, const char* name, int ms) {
  auto* timer = new QTimer(owner);
  timer->setObjectName(QString::fromLatin1(name));
  timer->setInterval(ms);
  return timer;
}

}  // namespace

TfmMain::TfmMain(const SessionSettings& settings, HidBackend& hid, TerminalLock& lock,
                 QWidget* parent)
    : QMainWindow(parent), lock_(lock) {
  setObjectName(QStringLiteral("fmMain"));
  runner_ = new UiRunner(settings, hid, lock, this);
  caption_ = QString::fromLatin1(kCaption);
  setWindowTitle(caption_);
  resize(819, 602);
  FormCreate();
  (new ConnectAction(hid, this))->AddTo(menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile")));
}

TfmMain::~TfmMain() {
  // Nothing the worker sends may reach this window while it goes.
  runner_->blockSignals(true);
  runner_->Stop();
}

bool TfmMain::ExpectsHeader() const {
  return runner_->ExpectsHeader();
}

bool TfmMain::IsNetworkLink() const {
  return runner_->IsNetworkLink();
}

void TfmMain::FormCreate() {
  BuildLayout();
  fmLog = new TfmLog(*runner_, pane_->reTerm(), this);
  BuildMenus();
  AddToCaption(FromDevice(runner_->CaptionSuffix()));
  programFolder_ = QCoreApplication::applicationDirPath();
  browser_->edDir->setText(QString());  // CurrentDir starts empty

  Timer1 = MakeTimer(this, "Timer1", 250);
  connect(Timer1, &QTimer::timeout, this, &TfmMain::Timer1Timer);
  Timer2 = MakeTimer(this, "Timer2", 500);
  connect(Timer2, &QTimer::timeout, this, &TfmMain::Timer2Timer);
  monitor_ = new LinkMonitor(
      *runner_, lock_, [this](const QString& line) { ShowStatus(line); }, this);
  // Without a usable terminal lock the status says why, and the timers that open and serve
  // the link never start.
  monitor_->Start([this](bool usable, bool started) {
    if (runner_->Settings().kind == SessionSettings::LinkKind::Listen)
      linkStatus_->SetState(started ? LinkStatus::State::Listening
                                    : LinkStatus::State::NotListening);
    if (!usable) return;
    Timer1->start();
    Timer2->start();
  });

  suspend_ = new SuspendWatcher(this);
  connect(suspend_, &SuspendWatcher::Resumed, this, &TfmMain::PowerResumed);
}

void TfmMain::AppendStatusText(const QString& text, int style) {
  ops_->AppendStatusText(text, style);
}

void TfmMain::AddToCaption(const QString& suffix) {
  caption_ += suffix;
  setWindowTitle(caption_);
}

void TfmMain::ShowStatus(const QString& message) {
  pane_->ShowStatus(message);
}

void TfmMain::ShowDeviceDirectory(const std::string& path) {
  browser_->ShowDeviceDirectory(path);
}

void TfmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TfmMain::FormShow() {
  move(CentredPosition(size(), PrimaryScreenSize()));
  LoadSettings();
  CorrectFormPlacement(this);
  tools_->SetRunner(runner_);
  support_->fmDiag()->SetRunner(runner_);
  support_->fmDiag()->SetPanes(browser_->memInfo, pane_->reTerm(), fmLog->reLog, fmLog->reModem);
  // TCP and serial links carry no log channel.
  actShowLog->setEnabled(!IsNetworkLink());
  if (IsNetworkLink()) fmLog->hide();
  pane_->reTerm()->setFocus();
}

void TfmMain::closeEvent(QCloseEvent* event) {
  // A window that closed itself for a refused device leaves the settings to the user's own:
  // a flood of such processes would only race to write the same file.
  if (shown_ && !endedRefused_) SaveSettings();
  Timer1->stop();
  Timer2->stop();
  // A running operation is stopped; the window waits for it a bounded time only.
  runner_->Stop(DeviceRunner::kStopWaitMs);
  QMainWindow::closeEvent(event);
}

void TfmMain::Timer1Timer() {
  TickGuard guard(Timer1);
  PollRequest request;
  request.currentDir = browser_->CurrentDir();
  request.logVisible = fmLog->isVisible();
  request.logFilter = fmLog->FFilter;
  monitor_->Poll(request, [this](PollResult& poll) { ShowPoll(poll); });
}

void TfmMain::ShowPoll(const PollResult& poll) {
  runner_->SetLinkOpen(poll.open);
  switch (poll.event) {
    case Connector::Event::Waiting:
      pane_->SetIdle();
      if (!IsNetworkLink() || !ExpectsHeader()) linkStatus_->SetState(LinkStatus::State::Waiting);
      return;
    case Connector::Event::Refused:
      HeaderRefused();
      return;
    case Connector::Event::Opened:
      OpenSequence(poll);
      return;
    default:
      if (poll.open) ShowIncoming(poll);
  }
}

void TfmMain::OpenSequence(const PollResult& poll) {
  if (IsNetworkLink() && ExpectsHeader()) headerAccepted_ = true;
  product_ = poll.info.product;
  ShowDeviceInfo(poll.info);
  linkStatus_->SetState(LinkStatus::State::Connected);
  fmLog->LinkOpened();
  ShowIncoming(poll);
  browser_->ShowListing(poll.listing);
  pane_->reTerm()->setFocus();
}

void TfmMain::ShowIncoming(const PollResult& poll) {
  pane_->SetBackgroundFor(product_);
  if (!poll.incoming.empty()) pane_->ShowIncoming(poll.incoming);
  fmLog->ShowRecords(poll.records);
}

void TfmMain::Timer2Timer() {
  TickGuard guard(Timer2);
  monitor_->Watch([this](WatchResult& watch) { ShowWatch(watch); });
}

void TfmMain::ShowWatch(const WatchResult& watch) {
  if (watch.accepted) {
    listenCaption_ = caption_;
    ShowStatus(QStringLiteral("Socket Connected"));
    AddToCaption(QStringLiteral(" connected"));
    linkStatus_->SetState(LinkStatus::State::Connected);
  }
  if (watch.lost) LinkClosed();
  runner_->SetLinkOpen(watch.open);
  if (!watch.open) {
    if (!IsNetworkLink()) browser_->memInfo->clear();
    browser_->EnableFileBrowser(false);
  }
}

void TfmMain::LinkClosed() {
  tools_->LinkClosed();
  runner_->SetLinkOpen(false);
  if (runner_->Settings().kind == SessionSettings::LinkKind::Listen) {
    // The device may call again (after a restart, a dropped mobile link): the port listens
    // for it, and what it told of itself goes.
    ShowStatus(QStringLiteral("Closed (app finished)"));
    browser_->memInfo->clear();
    linkStatus_->ClearDevice();
    ListenAgain();
  } else if (IsNetworkLink() && ExpectsHeader()) {
    ShowStatus(QStringLiteral("Closed (app finished)"));
    AddToCaption(QStringLiteral(" [CLOSED]"));
    linkStatus_->SetState(LinkStatus::State::Closed);
  } else {
    browser_->memInfo->clear();
    linkStatus_->ClearDevice();
    linkStatus_->SetState(LinkStatus::State::Waiting);
  }
}

void TfmMain::ListenAgain() {
  headerAccepted_ = false;  // the next device proves itself anew
  if (!listenCaption_.isEmpty()) {
    caption_ = listenCaption_;
    setWindowTitle(caption_);
  }
  monitor_->ListenAgain([this](bool listening) {
    linkStatus_->SetState(listening ? LinkStatus::State::Listening
                                    : LinkStatus::State::NotListening);
  });
}

void TfmMain::HeaderRefused() {
  using Kind = SessionSettings::LinkKind;
  const Kind kind = runner_->Settings().kind;
  if (kind == Kind::Listen && !headerAccepted_) {
    // The port was closed for the device just taken; the one expected may still come.
    tools_->LinkClosed();
    ListenAgain();
  } else if (kind == Kind::Socket && !headerAccepted_) {
    // Nothing more can come to this process: its window would only wait for good.
    endedRefused_ = true;
    close();
  } else {
    // The device is gone, as when it leaves.
    LinkClosed();
  }
}

void TfmMain::ShowDeviceInfo(const DeviceInfo& device) {
  if (!device.alive) return;
  runner_->SetDevice(device);
  browser_->memInfo->setPlainText(FromDevice(device.text));
  linkStatus_->SetDevice(device);
  const std::string& caps = device.capabilities;
  firmware_->actFirmware->setEnabled(caps.find(".uft.") != std::string::npos);
  tools_->ShowCapabilities(caps);
  browser_->EnableFileBrowser(caps.find(".nfi.") != std::string::npos);
}

void TfmMain::PowerResumed() {
  // The device may have lost the subscription while the PC slept.
  if (runner_->LinkOpen() && fmLog->isVisible()) fmLog->SendFilter();
}

void TfmMain::actShowLogExecute() {
  if (!fmLog->isVisible() && fmLog->FNotShownYet && !fmLog->LogPositionStored) {
    const QRect place =
        FirstLogPlacement(frameGeometry(), fmLog->frameGeometry(), fmLog->reLog->height());
    fmLog->move(place.topLeft());
    fmLog->resize(place.width() - (fmLog->frameGeometry().width() - fmLog->width()),
                  fmLog->height());
  }
  fmLog->show();
  fmLog->raise();
  fmLog->SendFilter();
}

}  // namespace vxk
