#include "cli/RunRecord.h"

#include <cstdio>
#include <ctime>

#include "cli/JsonObject.h"

namespace vxk {

std::string IsoUtcMs(int64_t utcMs) {
  const std::time_t seconds = static_cast<std::time_t>(utcMs / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(utcMs % 1000));
  return text;
}

std::string RunRecord::Json() const {
  JsonObject json;
  json.Device("serial", serial)
      .Device("product", product)
      .Device("firmware", firmware)
      .Bool("authenticated", authenticated)
      .Local("peer", peer)
      .Local("run", run)
      .Local("start", IsoUtcMs(startMs))
      .Local("end", IsoUtcMs(endMs))
      .Local("outcome", outcome)
      .Number("exit", exit);
  if (exit == kExitOk) {
    json.Null("reason").Null("status").Null("message");
  } else {
    json.Local("reason", failure.reason);
    if (failure.status.empty()) {
      json.Null("status");
    } else {
      json.Device("status", failure.status);
    }
    json.Local("message", failure.message);
  }
  return json.Raw("steps", JsonArray(steps)).Text();
}

}  // namespace vxk
