#include "cli/IdentityFields.h"

#include <unistd.h>

#include <atomic>
#include <ctime>

#include "comms/vxCommsSocket.h"

namespace vxk {
namespace {

using Getter = std::string (TvxComms::*)();

struct FieldSource {
  const char* name;
  Getter get;
  // The TCP link's placeholder for it means "not said". The maker's name and the capability
  // text are no placeholders: a header may well say the same.
  bool placeholder;
};

const FieldSource kFields[] = {{"manufacturer", &TvxComms::Manufacturer, false},
                               {"serial", &TvxComms::SerialNumber, true},
                               {"product", &TvxComms::ProductName, true},
                               {"firmware", &TvxComms::FirmwareVersion, true},
                               {"build", &TvxComms::FirmwareBuild, true},
                               {"date", &TvxComms::FirmwareDate, true},
                               {"capabilities", &TvxComms::Capabilities, false}};

// The texts of a TCP link no header has spoken to.
TvxComms& BlankLink() {
  static TerminalLock unused("");
  static TvxCommsSocket blank(unused);
  return blank;
}

}  // namespace

std::vector<IdentityField> IdentityOf(Session& session) {
  using Kind = SessionSettings::LinkKind;
  const Kind kind = session.Settings().kind;
  TvxComms& link = session.Link();
  std::vector<IdentityField> fields;
  for (const FieldSource& f : kFields) {
    IdentityField field{f.name, std::nullopt};
    if (kind != Kind::Serial) {
      const std::string value = (link.*f.get)();
      const bool placeholder =
          kind == Kind::Usb ? value.empty() : f.placeholder && value == (BlankLink().*f.get)();
      if (!placeholder) field.value = value;
    }
    fields.push_back(std::move(field));
  }
  return fields;
}

std::string IdentityValue(const std::vector<IdentityField>& fields, const std::string& name) {
  for (const IdentityField& f : fields) {
    if (f.name == name) return f.value.value_or("");
  }
  return {};
}

std::string NewRunId() {
  static std::atomic<unsigned> count{0};
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  return std::string(stamp) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
}

Placeholders DevicePlaceholders(Session& session) {
  const std::vector<IdentityField> fields = IdentityOf(session);
  auto value = [&](const char* name) {
    const std::string v = IdentityValue(fields, name);
    return v.empty() ? std::string("unknown") : v;
  };
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", &utc);
  return {{"serial", value("serial")},
          {"product", value("product")},
          {"firmware", value("firmware")},
          {"date", date},
          {"run", NewRunId()}};
}

}  // namespace vxk
