#include "ui/ufmMain.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "comms/Ticks.h"
#include "comms/uKeepAlive.h"
#include "comms/vxCommsComPort.h"
#include "comms/vxCommsSocket.h"
#include "security/ConnectHeader.h"
#include "ui/BusyCursor.h"
#include "ui/DeviceText.h"
#include "ui/SuspendWatcher.h"

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

// One poll shows at most this much; the rest waits for the next tick.
constexpr size_t kMaxIncomingPerTick = 256 * 1024;

// Widths of the upper area: the device summary starts at kInfoWidth; neither side of the
// splitter gets narrower than its minimum.
constexpr int kInfoWidth = 330;
constexpr int kMinInfoWidth = 120;
constexpr int kMinTermWidth = 240;

}  // namespace

TfmMain::TfmMain(const TCommandLine& options, HidBackend& hid, TerminalLock& lock, QWidget* parent)
    : QMainWindow(parent), options_(options) {
  setObjectName(QStringLiteral("fmMain"));
  caption_ = QString::fromLatin1(kCaption);
  setWindowTitle(caption_);
  resize(819, 602);
  FormCreate(lock, hid);
}

TfmMain::~TfmMain() {
  // The file layer and the terminal refer to the link; they go first.
  files_.reset();
  terminal_.reset();
  link_.reset();
}

void TfmMain::FormCreate(TerminalLock& lock, HidBackend& hid) {
  secretKey_ = options_.GetValue("key");

  // The panes need the terminal engine, which needs the link: choose the link first.
  enum class Mode { Socket, Listen, Serial, Usb } mode;
  if (options_.HasValue("sock")) {
    mode = Mode::Socket;
    link_ = std::make_unique<TvxCommsSocket>(lock);
  } else if (options_.HasValue("tcp")) {
    mode = Mode::Listen;
    link_ = std::make_unique<TvxCommsSocket>(lock);
  } else if (options_.HasValue("com")) {
    mode = Mode::Serial;
    link_ = std::make_unique<TvxCommsComPort>(lock);
  } else {
    mode = Mode::Usb;
    link_ = std::make_unique<TvxComms>(&hid, lock);
  }
  terminal_ = std::make_unique<TvxTerminal>(*link_);
  files_ = std::make_unique<TvxkFiles>(*terminal_);
  BuildLayout();
  BuildMenus();

  switch (mode) {
    case Mode::Socket: {
      auto* socket = static_cast<TvxCommsSocket*>(link_.get());
      socket->AttachSocket(options_.GetInt("sock", 0));
      AddToCaption(QStringLiteral(" (socket)"));
      expectsHeader_ = true;
      break;
    }
    case Mode::Listen: {
      const std::string port = options_.GetValue("tcp");
      listen_ = std::make_unique<TcpSocket>();
      if (listen_->Bind("0.0.0.0", port)) {
        ShowStatus(QStringLiteral("Listening on ") + FromDevice(port));
      } else {
        ShowStatus(QStringLiteral("BIND ERROR!"));
      }
      AddToCaption(QStringLiteral(" TCP:") + FromDevice(port));
      if (!listen_->Listen(1) || !listen_->SetLinger(true, 8000))
        ShowStatus(QStringLiteral("LISTEN ERROR!"));
      expectsHeader_ = true;
      break;
    }
    case Mode::Serial: {
      auto* port = static_cast<TvxCommsComPort*>(link_.get());
      const std::string value = options_.GetValue("com");
      if (!value.empty() && value[0] == '/') {
        // Linux serial adapters are device nodes such as /dev/ttyUSB0, named directly.
        port->SetPortPath(value);
        AddToCaption(QStringLiteral(" (COM") + FromDevice(value) + QStringLiteral(")"));
      } else {
        const int n = options_.GetInt("com", 0);
        port->SetPortNumber(n);
        AddToCaption(QStringLiteral(" (COM%1)").arg(n));
      }
      port->SetCapabilities(".nfi.uft.lcd.");
      expectsHeader_ = false;
      break;
    }
    case Mode::Usb:
      expectsHeader_ = true;
      break;
  }
  link_->SetRoundTripTime(options_.GetInt("rtt", 20));
  link_->SetExtraTime(options_.GetInt("time", 20));
  isNetworkLink_ = dynamic_cast<TvxCommsSocket*>(link_.get()) != nullptr;

  files_->OnProgress = [this](TvxkFiles&, int64_t pos, int64_t total) {
    browser_->OnTransferProgress(pos, total);
  };
  files_->OnDone = [this](TvxkFiles&) { browser_->OnTransferDone(); };
  programFolder_ = QCoreApplication::applicationDirPath();
  browser_->edDir->setText(QString());  // CurrentDir starts empty

  if (options_.HasOption("ssl") || options_.HasOption("tls")) {
    ShowStatus(QStringLiteral("TLS is not supported: the connection is not encrypted"));
  }

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(250);
  connect(Timer1, &QTimer::timeout, this, &TfmMain::Timer1Timer);
  Timer2 = new QTimer(this);
  Timer2->setObjectName(QStringLiteral("Timer2"));
  Timer2->setInterval(500);
  connect(Timer2, &QTimer::timeout, this, &TfmMain::Timer2Timer);
  Timer1->start();
  Timer2->start();

  suspend_ = new SuspendWatcher(this);
  connect(suspend_, &SuspendWatcher::Resumed, this, &TfmMain::PowerResumed);
}

void TfmMain::BuildLayout() {
  pane_ = new TerminalPane(*terminal_, this);
  browser_ = new FileBrowser(*terminal_, *files_, this);
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
  side->setMinimumWidth(kMinInfoWidth);
  pane_->reTerm()->setMinimumWidth(kMinTermWidth);

  auto* across = new QSplitter(Qt::Horizontal, this);
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

  splitter_ = new QSplitter(Qt::Vertical, this);
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
  file->addAction(browser_->actRefresh);
  file->addSeparator();
  file->addAction(actExit);

  QMenu* term = menuBar()->addMenu(QStringLiteral("&Terminal"));
  term->setObjectName(QStringLiteral("mnuTerminal"));
  term->addAction(pane_->actTermAll);
  term->addAction(pane_->actTermCopy);
  term->addAction(pane_->actPaste);
  term->addAction(pane_->actTermClear);
  term->addSeparator();
  term->addAction(browser_->actRefresh);

  // These shortcuts work wherever the focus is in the window; Select All, Copy and Paste
  // only in the terminal pane, which holds them itself.
  addActions({pane_->actTermClear, pane_->actFontUp, pane_->actFontDown, pane_->actFontReset,
              browser_->actRefresh});
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
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
  // The device folder starts at the top until saved settings give another one.
  browser_->edDir->setText(QStringLiteral("/"));
  pane_->reTerm()->setFocus();
}

void TfmMain::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
}

void TfmMain::Timer1Timer() {
  TickGuard guard(Timer1);
  try {
    if (link_->IsOpen()) {
      ReadIncoming(10);
      return;
    }
    if (!link_->Open()) {
      pane_->SetIdle();
      return;
    }
    OpenSequence();
  } catch (...) {
    // A failing tick ends quietly; the next one tries again.
  }
}

void TfmMain::OpenSequence() {
  BusyCursor busy;
  // A refused header has closed the link: the device is gone, as when it leaves.
  if (isNetworkLink_ && expectsHeader_ && !ProcessConnectHeader()) {
    LinkClosed();
    return;
  }
  // Read once per opening: over USB every read is a request to the device.
  product_ = link_->ProductName();
  ShowDeviceInfo();
  terminal_->Send(std::string(1, TvxTerminal::kEsc));
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
}

void TfmMain::Timer2Timer() {
  TickGuard guard(Timer2);
  try {
    AcceptPending();
    if (link_->IsOpen() && !link_->IsAlive()) LinkClosed();
    if (!link_->IsOpen()) {
      if (!isNetworkLink_) browser_->memInfo->clear();
      browser_->EnableFileBrowser(false);
    }
  } catch (...) {
  }
}

void TfmMain::AcceptPending() {
  if (!listen_) return;
  if (!listen_->WaitReadable(10)) return;
  const int handle = listen_->Accept();
  if (handle < 0) return;  // tried again on the next tick
  SetKeepAlive(handle, 60000, 10000);
  static_cast<TvxCommsSocket*>(link_.get())->AttachSocket(handle);
  link_->SetRoundTripTime(options_.GetInt("rtt", 8000));
  link_->SetExtraTime(options_.GetInt("time", 500));
  listen_.reset();  // one process serves one device
  ShowStatus(QStringLiteral("Socket Connected"));
  AddToCaption(QStringLiteral(" connected"));
}

void TfmMain::LinkClosed() {
  link_->Close();
  if (isNetworkLink_ && expectsHeader_) {
    ShowStatus(QStringLiteral("Closed (app finished)"));
    AddToCaption(QStringLiteral(" [CLOSED]"));
  } else {
    browser_->memInfo->clear();
  }
}

bool TfmMain::ProcessConnectHeader() {
  auto* socket = dynamic_cast<TvxCommsSocket*>(link_.get());
  if (!socket) return false;
  return vxk::ProcessConnectHeader(
      *socket, secretKey_, [this](const std::string& line) { ShowStatus(FromDevice(line)); });
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
  files_->QuoteNames = files;
  browser_->EnableFileBrowser(files);
}

void TfmMain::PowerResumed() {
  // After an automatic resume the log window sends its channel filter again; the log window
  // is not part of this version, so there is nothing to renew yet.
}

}  // namespace vxk
