#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vxk {

// Local text (UTF-8: paths, messages) as a JSON string literal, quotes included. Control
// characters, C1 controls and bytes that are no valid UTF-8 are written as \u00XX.
std::string LocalJsonString(const std::string& text);

// One JSON object on one line, built field by field in the order given. Device text is
// Windows-1252 and is converted; local text is UTF-8.
class JsonObject {
 public:
  JsonObject& Device(const std::string& name, const std::string& deviceText);
  JsonObject& Local(const std::string& name, const std::string& localText);
  // A device text that may be unknown: null when it is.
  JsonObject& Device(const std::string& name, const std::optional<std::string>& deviceText);
  JsonObject& Local(const std::string& name, const std::optional<std::string>& localText);
  JsonObject& Number(const std::string& name, int64_t value);
  JsonObject& Real(const std::string& name, double value);
  JsonObject& Bool(const std::string& name, bool value);
  JsonObject& Null(const std::string& name);
  // A value that is JSON already (an object, an array).
  JsonObject& Raw(const std::string& name, const std::string& json);

  std::string Text() const { return "{" + body_ + "}"; }

 private:
  JsonObject& Field(const std::string& name, const std::string& json);
  std::string body_;
};

// Values that are JSON already, as an array.
std::string JsonArray(const std::vector<std::string>& items);

}  // namespace vxk
