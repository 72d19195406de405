#include "cli/JsonObject.h"

#include <cmath>
#include <cstdio>

#include "cli/CliText.h"

namespace vxk {
namespace {

std::string Escaped(unsigned code) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", code);
  return buf;
}

}  // namespace

std::string LocalJsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t len = Utf8Length(text, i);
    if (len == 0) {
      out += Escaped(b);  // a stray byte, read as Latin-1
      ++i;
    } else if (len == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      out += Escaped(static_cast<unsigned char>(text[i + 1]));  // a C1 control
      i += 2;
    } else if (len == 1 && (b < 0x20 || b == 0x7F)) {
      out += Escaped(b);
      ++i;
    } else if (len == 1 && (b == '"' || b == '\\')) {
      out += '\\';
      out += static_cast<char>(b);
      ++i;
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  return out + "\"";
}

JsonObject& JsonObject::Field(const std::string& name, const std::string& json) {
  if (!body_.empty()) body_ += ", ";
  body_ += LocalJsonString(name) + ": " + json;
  return *this;
}

JsonObject& JsonObject::Device(const std::string& name, const std::string& deviceText) {
  return Field(name, JsonString(deviceText));
}

JsonObject& JsonObject::Local(const std::string& name, const std::string& localText) {
  return Field(name, LocalJsonString(localText));
}

JsonObject& JsonObject::Device(const std::string& name,
                               const std::optional<std::string>& deviceText) {
  return deviceText ? Device(name, *deviceText) : Null(name);
}

JsonObject& JsonObject::Local(const std::string& name,
                              const std::optional<std::string>& localText) {
  return localText ? Local(name, *localText) : Null(name);
}

JsonObject& JsonObject::Number(const std::string& name, int64_t value) {
  return Field(name, std::to_string(value));
}

JsonObject& JsonObject::Real(const std::string& name, double value) {
  if (!std::isfinite(value)) return Null(name);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", value);
  return Field(name, buf);
}

JsonObject& JsonObject::Bool(const std::string& name, bool value) {
  return Field(name, value ? "true" : "false");
}

JsonObject& JsonObject::Null(const std::string& name) {
  return Field(name, "null");
}

JsonObject& JsonObject::Raw(const std::string& name, const std::string& json) {
  return Field(name, json);
}

std::string JsonArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
  return out + "]";
}

}  // namespace vxk
