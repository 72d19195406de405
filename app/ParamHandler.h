#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace vxk {

// Raised by Parse for an option outside the allowed set.
class CommandLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The process's options: entries without their marker (-, -- or /), in the order given,
// compared without regard to case; the first occurrence of an option counts.
class TCommandLine {
 public:
  // keyfd= is the descriptor the server daemon hands a tool process its key on.
  static constexpr const char* kAllowed =
      "[help][h][tcp=][server=][ssl][tls][com=][key=][rtt=][time=][sock=][keyfd=]";

  // args are the real arguments, without the program name. An empty allowed set accepts all.
  void Parse(const std::string& allowed, const std::vector<std::string>& args);

  bool HasOption(const std::string& name) const;
  bool HasValue(const std::string& name) const;
  std::string GetValue(const std::string& name) const;
  // The value as a decimal 32-bit integer; def when absent or not a valid integer.
  int GetInt(const std::string& name, int def) const;

  const std::vector<std::string>& Options() const { return options_; }
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  const std::string* FindValued(const std::string& name) const;

  std::vector<std::string> options_;
  std::vector<std::string> positional_;
};

// The one instance of the process.
TCommandLine& CommandLine();

// Reads text as a decimal 32-bit integer (optional sign, digits only).
bool ParseDecimalInt(const std::string& text, int& value);

}  // namespace vxk
