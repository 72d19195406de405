#include "app/SessionOptions.h"

namespace vxk {
namespace {

std::optional<int> IntOption(const TCommandLine& options, const std::string& name) {
  int value = 0;
  if (options.HasValue(name) && ParseDecimalInt(options.GetValue(name), value)) return value;
  return std::nullopt;
}

}  // namespace

SessionSettings SessionSettingsFrom(const TCommandLine& options) {
  using Kind = SessionSettings::LinkKind;
  SessionSettings s;
  if (options.HasValue("sock")) {
    s.kind = Kind::Socket;
    s.socketHandle = options.GetInt("sock", 0);
  } else if (options.HasValue("tcp")) {
    s.kind = Kind::Listen;
    s.port = options.GetValue("tcp");
  } else if (options.HasValue("com")) {
    s.kind = Kind::Serial;
    s.port = options.GetValue("com");
  }
  s.secretKey = options.GetValue("key");
  s.roundTripTime = IntOption(options, "rtt");
  s.extraTime = IntOption(options, "time");
  s.tls = options.HasOption("ssl") || options.HasOption("tls");
  return s;
}

}  // namespace vxk
