#pragma once

#include <string>

namespace vxk {

// What the interactive shell shows: device output with the prompt markers (0xAB, 0xBB) left
// out and Windows-1252 as UTF-8, and the user's keys echoed locally as the window's terminal
// pane does, masked with '*' while the device's prompt asks for a password.
class ShellScreen {
 public:
  // Text to print for bytes from the device.
  std::string Incoming(const std::string& bytes);
  // Text to print for one key typed by the user (already sent to the device).
  std::string Typed(char key) const;
  bool PasswordMode() const { return passwordMode_; }

 private:
  static constexpr size_t kMaxPromptCarry = 256;
  bool inPrompt_ = false;
  bool passwordMode_ = false;
  std::string promptSoFar_;
};

}  // namespace vxk
