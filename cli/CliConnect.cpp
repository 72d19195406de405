#include "cli/CliConnect.h"

#include "cli/SecretFile.h"
#include "comms/Ticks.h"

namespace vxk {
namespace {

// Waits of the link set-up.
constexpr int kDefaultWaitS = 5;
constexpr int kDefaultListenWaitS = 60;
constexpr int kOpenRetryMs = 250;
constexpr int kAcceptSliceMs = 100;

int WaitMs(const CliOptions& options) {
  const int fallback =
      options.link == CliOptions::Link::Listen ? kDefaultListenWaitS : kDefaultWaitS;
  return options.waitSeconds.value_or(fallback) * 1000;
}

}  // namespace

std::string ResolveKey(const CliOptions& options, const char* environmentKey) {
  if (options.key) return *options.key;
  if (!options.keyFile.empty()) return ReadSecretFile(options.keyFile, "key file");
  return environmentKey ? std::string(environmentKey) : std::string();
}

SessionSettings SettingsOf(const CliOptions& options, const std::string& key) {
  SessionSettings s;
  switch (options.link) {
    case CliOptions::Link::Usb:
      s.kind = SessionSettings::LinkKind::Usb;
      break;
    case CliOptions::Link::Serial:
      s.kind = SessionSettings::LinkKind::Serial;
      break;
    case CliOptions::Link::Listen:
      s.kind = SessionSettings::LinkKind::Listen;
      break;
    case CliOptions::Link::Socket:
      s.kind = SessionSettings::LinkKind::Socket;
      break;
  }
  s.port = options.port;
  s.usbSerial = options.usbSerial;
  s.socketHandle = options.socketHandle;
  s.secretKey = key;
  s.roundTripTime = options.roundTripTime;
  s.extraTime = options.extraTime;
  return s;
}

std::string ConnectErrorText(ConnectError error, const CliOptions& options) {
  switch (error) {
    case ConnectError::None:
      return {};
    case ConnectError::NoDevice:
      if (options.link == CliOptions::Link::Serial)
        return "cannot open serial port " + options.port;
      return options.usbSerial.empty()
                 ? "no vx.keeper found on USB"
                 : "no vx.keeper with serial number " + options.usbSerial + " found on USB";
    case ConnectError::ListenFailed:
      return "cannot listen on TCP port " + options.port;
    case ConnectError::NoConnection:
      return "no device connected to TCP port " + options.port + " in time";
    case ConnectError::HeaderRefused:
      return "the device's connection header was refused (wrong key?)";
    case ConnectError::LockUnusable:
      return "cannot use the terminal lock";
    case ConnectError::Cancelled:
      return "interrupted";
  }
  return "cannot reach the device";
}

ConnectError Connect(Session& session, const CliOptions& options,
                     const std::function<void(const std::string&)>& status,
                     const std::atomic<bool>& cancel) {
  bool startFailed = false;
  const bool started = session.Start([&](const std::string& line) {
    if (line == "BIND ERROR!" || line == "LISTEN ERROR!") startFailed = true;
    status(line);
  });
  if (!started) return ConnectError::LockUnusable;
  if (startFailed) return ConnectError::ListenFailed;
  const int64_t deadline = TickCount() + WaitMs(options);
  TvxComms& link = session.Link();
  if (options.link == CliOptions::Link::Listen) {
    while (!session.AcceptPending(kAcceptSliceMs)) {
      if (cancel) return ConnectError::Cancelled;
      if (TickCount() >= deadline) return ConnectError::NoConnection;
    }
    if (!link.Open()) return ConnectError::NoConnection;
  } else {
    while (!link.Open()) {
      if (cancel) return ConnectError::Cancelled;
      if (TickCount() >= deadline) return ConnectError::NoDevice;
      SleepMs(kOpenRetryMs);
    }
  }
  if (session.ExpectsHeader() && session.IsNetworkLink() && !session.CheckHeader(status)) {
    return ConnectError::HeaderRefused;
  }
  session.Files().QuoteNames = link.Capabilities().find(".nfi.") != std::string::npos;
  return ConnectError::None;
}

}  // namespace vxk
