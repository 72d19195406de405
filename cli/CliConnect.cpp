#include "cli/CliConnect.h"

#include "cli/SecretFile.h"
#include "comms/Ticks.h"
#include "session/Connector.h"

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

OpResult Connect(Session& session, const CliOptions& options,
                 const std::function<void(const std::string&)>& status,
                 const std::atomic<bool>& cancel) {
  Connector connector(session, status);
  const OpResult started = connector.Start();
  if (!started) return started;
  const bool listen = options.link == CliOptions::Link::Listen;
  const int64_t deadline = TickCount() + WaitMs(options);
  for (;;) {
    if (cancel) return OpResult::Fail(Reason::Cancelled);
    if (listen && session.Listening() &&
        connector.Accept(kAcceptSliceMs) != Connector::Event::Accepted) {
      if (TickCount() >= deadline)
        return OpResult::Fail(Reason::TimedOut,
                              "no device connected to TCP port " + options.port + " in time");
      continue;
    }
    switch (connector.Open(kAcceptSliceMs)) {
      case Connector::Event::Opened:
        return OpResult::Done();
      case Connector::Event::Refused:
        return OpResult::Fail(Reason::Refused,
                              "the device's connection header was refused (malformed, late, "
                              "or without proof of the key)");
      case Connector::Event::Waiting:
        if (TickCount() >= deadline) {
          if (options.link == CliOptions::Link::Serial)
            return OpResult::Fail(Reason::NotOpen, "cannot open serial port " + options.port);
          return OpResult::Fail(Reason::NotOpen, options.usbSerial.empty()
                                                     ? "no vx.keeper found on USB"
                                                     : "no vx.keeper with serial number " +
                                                           options.usbSerial + " found on USB");
        }
        SleepMs(kOpenRetryMs);
        break;
      default:
        break;  // the header is still coming; its own deadline bounds it
    }
  }
}

}  // namespace vxk
