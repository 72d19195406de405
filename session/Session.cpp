#include "session/Session.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "comms/uKeepAlive.h"
#include "comms/vxCommsComPort.h"
#include "comms/vxCommsSocket.h"
#include "security/ConnectHeader.h"
#include "security/HeaderCheck.h"

namespace vxk {
namespace {

// Time-outs of a link before and after a TCP device has connected, unless given.
constexpr int kDefaultRoundTripMs = 20;
constexpr int kDefaultExtraMs = 20;
constexpr int kAcceptedRoundTripMs = 8000;
constexpr int kAcceptedExtraMs = 500;
// TCP keep-alive of an accepted device: idle time and probe interval.
constexpr int kKeepAliveIdleMs = 60000;
constexpr int kKeepAliveIntervalMs = 10000;
constexpr int kListenLingerMs = 8000;

// A port number as decimal text; 0 (no port) for anything else.
int PortNumber(const std::string& text) {
  if (text.empty()) return 0;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n < INT_MIN || n > INT_MAX) return 0;
  return static_cast<int>(n);
}

}  // namespace

Session::Session(const SessionSettings& settings, HidBackend& hid, TerminalLock& lock)
    : settings_(settings), lock_(lock) {
  using Kind = SessionSettings::LinkKind;
  switch (settings_.kind) {
    case Kind::Socket:
      link_ = std::make_unique<TvxCommsSocket>(lock);
      captionSuffix_ = " (socket)";
      expectsHeader_ = true;
      break;
    case Kind::Listen:
      link_ = std::make_unique<TvxCommsSocket>(lock);
      captionSuffix_ = " TCP:" + settings_.port;
      expectsHeader_ = true;
      break;
    case Kind::Serial: {
      auto port = std::make_unique<TvxCommsComPort>(lock);
      if (!settings_.port.empty() && settings_.port[0] == '/') {
        // Linux serial adapters are device nodes such as /dev/ttyUSB0, named directly.
        port->SetPortPath(settings_.port);
        captionSuffix_ = " (COM" + settings_.port + ")";
      } else {
        const int n = PortNumber(settings_.port);
        port->SetPortNumber(n);
        captionSuffix_ = " (COM" + std::to_string(n) + ")";
      }
      port->SetCapabilities(".nfi.uft.lcd.");
      link_ = std::move(port);
      break;
    }
    case Kind::Usb:
      link_ = std::make_unique<TvxComms>(&hid, lock);
      link_->SetSerialFilter(settings_.usbSerial);
      expectsHeader_ = true;
      break;
  }
  link_->SetRoundTripTime(settings_.roundTripTime.value_or(kDefaultRoundTripMs));
  link_->SetExtraTime(settings_.extraTime.value_or(kDefaultExtraMs));
  // Every link but USB: the serial link is built on the TCP one and keeps its identity texts.
  network_ = settings_.kind != Kind::Usb;
  terminal_ = std::make_unique<TvxTerminal>(*link_);
  files_ = std::make_unique<TvxkFiles>(*terminal_);
}

Session::~Session() {
  // The file layer and the terminal refer to the link; they go first.
  files_.reset();
  terminal_.reset();
  link_.reset();
}

OpResult Session::Start(const StatusSink& status) {
  using Kind = SessionSettings::LinkKind;
  // A lock that is only busy is fine here; one that cannot be had at all is not.
  if (lock_.Lock(0)) {
    lock_.Unlock();
  } else if (const std::string problem = lock_.Problem(); !problem.empty()) {
    status(problem);
    return OpResult::Fail(Reason::LocalError, problem);
  }
  OpResult started;
  if (settings_.kind == Kind::Socket) {
    static_cast<TvxCommsSocket&>(*link_).AttachSocket(settings_.socketHandle);
  } else if (settings_.kind == Kind::Listen) {
    started = OpenListener(status);
  }
  if (settings_.tls) status("TLS is not supported: the connection is not encrypted");
  return started;
}

OpResult Session::OpenListener(const StatusSink& status) {
  listen_ = std::make_unique<TcpSocket>();
  const std::string cannot = "cannot listen on TCP port " + settings_.port + ": ";
  OpResult result;
  if (listen_->Bind("0.0.0.0", settings_.port)) {
    status("Listening on " + settings_.port);
  } else {
    status("BIND ERROR!");
    result = OpResult::Fail(Reason::LocalError, cannot + std::strerror(listen_->LastError()));
  }
  if (!listen_->Listen(1) || !listen_->SetLinger(true, kListenLingerMs)) {
    status("LISTEN ERROR!");
    if (result)
      result = OpResult::Fail(Reason::LocalError, cannot + std::strerror(listen_->LastError()));
  }
  return result;
}

OpResult Session::ListenAgain(const StatusSink& status) {
  if (settings_.kind != SessionSettings::LinkKind::Listen || listen_) return OpResult::Done();
  auto& socket = static_cast<TvxCommsSocket&>(*link_);
  socket.Close();
  // Nothing of the last device may reach the next one: neither its identity nor its bytes.
  socket.ResetIdentity();
  socket.ClearChannel(kTerminalChannel);
  link_->SetRoundTripTime(settings_.roundTripTime.value_or(kDefaultRoundTripMs));
  link_->SetExtraTime(settings_.extraTime.value_or(kDefaultExtraMs));
  return OpenListener(status);
}

bool Session::AcceptPending(int waitMs) {
  if (!listen_ || !listen_->WaitReadable(waitMs)) return false;
  const int handle = listen_->Accept();
  if (handle < 0) return false;  // tried again next time
  SetKeepAlive(handle, kKeepAliveIdleMs, kKeepAliveIntervalMs);
  static_cast<TvxCommsSocket&>(*link_).AttachSocket(handle);
  link_->SetRoundTripTime(settings_.roundTripTime.value_or(kAcceptedRoundTripMs));
  link_->SetExtraTime(settings_.extraTime.value_or(kAcceptedExtraMs));
  listen_.reset();
  return true;
}

bool Session::CheckHeader(const StatusSink& status) {
  auto* socket = dynamic_cast<TvxCommsSocket*>(link_.get());
  if (!socket) return false;
  return ProcessConnectHeader(*socket, settings_.secretKey, status);
}

std::unique_ptr<HeaderCheck> Session::StartHeaderCheck(const StatusSink& status) {
  auto* socket = dynamic_cast<TvxCommsSocket*>(link_.get());
  if (!socket) return nullptr;
  return std::make_unique<HeaderCheck>(*socket, settings_.secretKey, status);
}

}  // namespace vxk
