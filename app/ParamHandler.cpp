#include "app/ParamHandler.h"

#include <cctype>
#include <climits>

namespace vxk {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return Lower(a) == Lower(b);
}

}  // namespace

TCommandLine& CommandLine() {
  static TCommandLine instance;
  return instance;
}

bool ParseDecimalInt(const std::string& text, int& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long n = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    n = n * 10 + (text[i] - '0');
    if (n > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) n = -n;
  if (n > INT_MAX || n < INT_MIN) return false;
  value = static_cast<int>(n);
  return true;
}

void TCommandLine::Parse(const std::string& allowed, const std::vector<std::string>& args) {
  options_.clear();
  positional_.clear();
  const std::string allowedLower = Lower(allowed);
  for (const std::string& arg : args) {
    if (arg.empty() || (arg[0] != '-' && arg[0] != '/')) {
      positional_.push_back(arg);
      continue;
    }
    const std::string entry = arg.substr(arg.size() > 1 && arg[1] == '-' ? 2 : 1);
    if (!allowedLower.empty()) {
      std::string key = Lower(entry);
      const size_t eq = key.find('=');
      if (eq != std::string::npos) key.resize(eq + 1);
      if (allowedLower.find("[" + key + "]") == std::string::npos) {
        throw CommandLineError("Invalid commandline option: " + entry);
      }
    }
    options_.push_back(entry);
  }
}

bool TCommandLine::HasOption(const std::string& name) const {
  for (const std::string& entry : options_) {
    if (EqualNoCase(entry, name)) return true;
  }
  return false;
}

const std::string* TCommandLine::FindValued(const std::string& name) const {
  const std::string prefix = Lower(name) + "=";
  for (const std::string& entry : options_) {
    if (entry.size() >= prefix.size() && Lower(entry.substr(0, prefix.size())) == prefix) {
      return &entry;
    }
  }
  return nullptr;
}

bool TCommandLine::HasValue(const std::string& name) const {
  return FindValued(name) != nullptr;
}

std::string TCommandLine::GetValue(const std::string& name) const {
  const std::string* entry = FindValued(name);
  return entry ? entry->substr(entry->find('=') + 1) : std::string();
}

int TCommandLine::GetInt(const std::string& name, int def) const {
  if (!HasValue(name)) return def;
  int value = def;
  return ParseDecimalInt(GetValue(name), value) ? value : def;
}

}  // namespace vxk
