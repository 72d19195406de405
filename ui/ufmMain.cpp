#include "ui/ufmMain.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "comms/Ticks.h"
#include "security/HeaderCheck.h"
#include "ui/BusyCursor.h"
#include "ui/ConnectAction.h"
#include "ui/DeviceText.h"
#include "ui/EditAction.h"
#include "ui/FileOperations.h"
#include "ui/KeyboardSplitter.h"
#include "ui/SupportActions.h"
#include "ui/SuspendWatcher.h"
#include "ui/ToolActions.h"
#include "ui/uCorrectFormPlacement.h"
#include "ui/ufmDiag.h"
#include "ui/ufmFile.h"
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

// How long one Timer1 tick waits for more of a TCP device's header.
constexpr int kHeaderStepMs = 10;

// One poll shows at most this much; the rest waits for the next tick.
constexpr size_t kMaxIncomingPerTick = 256 * 1024;

// Widths of the upper area: the device summary starts at kInfoWidth; neither side of the
// splitter gets narrower than its minimum.
constexpr int kInfoWidth = 330;
constexpr int kMinInfoWidth = 120;
constexpr int kMinTermWidth = 240;

}  // namespace

TfmMain::TfmMain(const SessionSettings& settings, HidBackend& hid, TerminalLock& lock,
                 QWidget* parent)
    : QMainWindow(parent), session_(std::make_unique<Session>(settings, hid, lock)), lock_(lock) {
  setObjectName(QStringLiteral("fmMain"));
  link_ = &session_->Link();
  caption_ = QString::fromLatin1(kCaption);
  setWindowTitle(caption_);
  resize(819, 602);
  FormCreate();
  (new ConnectAction(hid, this))->AddTo(menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile")));
}

TfmMain::~TfmMain() = default;

void TfmMain::FormCreate() {
  BuildLayout();
  fmLog = new TfmLog(*link_, pane_->reTerm(), this);
  BuildMenus();
  AddToCaption(FromDevice(session_->CaptionSuffix()));
  // Without a usable terminal lock the status says why, and the timers that open and serve
  // the link never start.
  const OpResult started =
      session_->Start([this](const std::string& line) { ShowStatus(FromDevice(line)); });
  // A port that cannot be listened on leaves the window up, waiting (its status line said
  // why); only an unusable lock keeps the timers from starting.
  const bool usable = started || lock_.Problem().empty();
  programFolder_ = QCoreApplication::applicationDirPath();
  browser_->edDir->setText(QString());  // CurrentDir starts empty

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(250);
  connect(Timer1, &QTimer::timeout, this, &TfmMain::Timer1Timer);
  Timer2 = new QTimer(this);
  Timer2->setObjectName(QStringLiteral("Timer2"));
  Timer2->setInterval(500);
  connect(Timer2, &QTimer::timeout, this, &TfmMain::Timer2Timer);
  if (usable) {
    Timer1->start();
    Timer2->start();
  }

  suspend_ = new SuspendWatcher(this);
  connect(suspend_, &SuspendWatcher::Resumed, this, &TfmMain::PowerResumed);
}

void TfmMain::BuildLayout() {
  pane_ = new TerminalPane(session_->Terminal(), this);
  browser_ = new FileBrowser(session_->Terminal(), session_->Files(), this);
  ops_ = new FileOperations(session_->Terminal(), session_->Files(), *browser_, *pane_, this);
  fmFile_ = new TfmFile(this);
  edit_ = new EditAction(*browser_, session_->Files(), *pane_, *fmFile_, this);
  WireFirmware();
  connect(pane_, &TerminalPane::PasswordAccepted, this, [this] {
    BusyCursor busy;
    ShowDeviceDirectory(browser_->CurrentDir());
  });

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
}

void TfmMain::WireFirmware() {
  firmware_ = new FirmwareLoader(session_->Terminal(), session_->Files(), this);
  firmware_->AppendStatus = [this](const QString& text, int style) {
    AppendStatusText(text, style);
  };
  firmware_->FocusTerminal = [this] { pane_->reTerm()->setFocus(); };
  firmware_->AfterBootSequence = [this] {
    // The boot sequence closed and reopened the link: a TCP device is gone for good and is
    // reported like one that left; another link shows what it reopened to.
    if (IsNetworkLink() && ExpectsHeader() && !link_->IsOpen()) {
      LinkClosed();
    } else if (link_->IsOpen()) {
      product_ = link_->ProductName();
      ShowDeviceInfo();
    }
  };
  // Dropped ".blf" files go to the boot loader before the rest is uploaded.
  ops_->InstallDroppedFirmware = [this](QStringList& files) {
    firmware_->InstallDroppedFirmware(files);
  };
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
  tools_->SetTerminal(&session_->Terminal());
  support_->fmDiag()->SetLinks(&session_->Terminal(), &session_->Files());
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
  QMainWindow::closeEvent(event);
}

void TfmMain::Timer1Timer() {
  TickGuard guard(Timer1);
  try {
    if (header_) {
      ProcessConnectHeader();
      return;
    }
    if (link_->IsOpen()) {
      ReadIncoming(10);
      return;
    }
    if (!link_->Open()) {
      pane_->SetIdle();
      return;
    }
    // The header is the first use of a TCP device's data; the opening goes on once it passed.
    if (IsNetworkLink() && ExpectsHeader()) {
      header_ = session_->StartHeaderCheck(
          [this](const std::string& line) { ShowStatus(FromDevice(line)); });
      if (header_) {
        ProcessConnectHeader();
        return;
      }
    }
    OpenSequence();
  } catch (...) {
    // A failing tick ends quietly; the next one tries again.
  }
}

void TfmMain::OpenSequence() {
  BusyCursor busy;
  // Read once per opening: over USB every read is a request to the device.
  product_ = link_->ProductName();
  ShowDeviceInfo();
  fmLog->LinkOpened();
  session_->Terminal().Send(std::string(1, TvxTerminal::kEsc));
  SleepMs(50);
  ReadIncoming(150);
  ShowDeviceDirectory(browser_->CurrentDir());
  pane_->reTerm()->setFocus();
}

void TfmMain::ReadIncoming(int firstWaitMs) {
  pane_->SetBackgroundFor(product_);
  std::string text = link_->Read(kTerminalChannel, firstWaitMs, -1);
  while (text.size() < kMaxIncomingPerTick) {
    const std::string more = link_->Read(kTerminalChannel, 0, -1);
    if (more.empty()) break;
    text += more;
  }
  if (!text.empty()) pane_->ShowIncoming(text);
  fmLog->DrainRecords();
}

void TfmMain::Timer2Timer() {
  TickGuard guard(Timer2);
  try {
    AcceptPending();
    // A device that leaves during its header is refused by the header check itself.
    if (!header_ && link_->IsOpen() && !link_->IsAlive()) LinkClosed();
    if (!link_->IsOpen()) {
      if (!IsNetworkLink()) browser_->memInfo->clear();
      browser_->EnableFileBrowser(false);
    }
  } catch (...) {
  }
}

void TfmMain::AcceptPending() {
  if (!session_->AcceptPending(10)) return;
  listenCaption_ = caption_;
  ShowStatus(QStringLiteral("Socket Connected"));
  AddToCaption(QStringLiteral(" connected"));
}

void TfmMain::LinkClosed() {
  header_.reset();
  link_->Close();
  tools_->LinkClosed();
  if (IsNetworkLink() && ExpectsHeader()) {
    ShowStatus(QStringLiteral("Closed (app finished)"));
    AddToCaption(QStringLiteral(" [CLOSED]"));
  } else {
    browser_->memInfo->clear();
  }
}

void TfmMain::ProcessConnectHeader() {
  const HeaderCheck::State state = header_->Step(kHeaderStepMs);
  if (state == HeaderCheck::State::Reading) return;
  header_.reset();
  if (state == HeaderCheck::State::Accepted) {
    headerAccepted_ = true;
    OpenSequence();
  } else {
    HeaderRefused();
  }
}

void TfmMain::HeaderRefused() {
  using Kind = SessionSettings::LinkKind;
  const Kind kind = session_->Settings().kind;
  if (kind == Kind::Listen && !headerAccepted_) {
    // The port was closed for the device just taken; the one expected may still come.
    tools_->LinkClosed();
    caption_ = listenCaption_;
    setWindowTitle(caption_);
    session_->ListenAgain([this](const std::string& line) { ShowStatus(FromDevice(line)); });
  } else if (kind == Kind::Socket && !headerAccepted_) {
    // Nothing more can come to this process: its window would only wait for good.
    link_->Close();
    endedRefused_ = true;
    close();
  } else {
    // The device is gone, as when it leaves.
    LinkClosed();
  }
}

void TfmMain::ShowDeviceInfo() {
  if (!link_->IsAlive()) return;
  // Lines end in a plain line feed here; the box shows them one per line.
  const std::string info = link_->Manufacturer() + "\n" + "#" + link_->SerialNumber() + "\n" +
                           link_->ProductName() + " v" + link_->FirmwareVersion() + " (build " +
                           link_->FirmwareBuild() + " @ " + link_->FirmwareDate() + ")";
  browser_->memInfo->setPlainText(FromDevice(info));
  const std::string caps = link_->Capabilities();
  const bool files = caps.find(".nfi.") != std::string::npos;
  session_->Files().QuoteNames = files;
  firmware_->actFirmware->setEnabled(caps.find(".uft.") != std::string::npos);
  tools_->ShowCapabilities(caps);
  browser_->EnableFileBrowser(files);
}

void TfmMain::PowerResumed() {
  // The device may have lost the subscription while the PC slept.
  if (link_->IsOpen() && fmLog->isVisible()) fmLog->SendFilter();
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
