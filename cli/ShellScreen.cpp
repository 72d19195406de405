#include "cli/ShellScreen.h"

#include "comms/Cp1252.h"
#include "ops/LocalFiles.h"

namespace vxk {
namespace {

constexpr char kPromptStart = '\xAB';
constexpr char kPromptEnd = '\xBB';

// Device text for a raw-mode terminal: the C0 controls a terminal acts on in a harmful way
// (ESC sequences above all) and the bytes that would become C1 controls are left out; CR, LF,
// TAB, BS and BEL pass.
std::string Printable(const std::string& bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    const bool c1 = b >= 0x80 && Cp1252ToUnicode(b) < 0xA0;
    if ((b >= 0x20 && !c1) || c == '\r' || c == '\n' || c == '\t' || c == '\b' || c == '\a')
      out += c;
  }
  return DeviceNameToLocal(out);
}

}  // namespace

std::string ShellScreen::Incoming(const std::string& bytes) {
  std::string shown;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != kPromptStart && c != kPromptEnd) continue;
    const std::string segment = bytes.substr(start, i - start);
    shown += Printable(segment);
    if (c == kPromptStart) {
      promptSoFar_.clear();
      inPrompt_ = true;
    } else {
      passwordMode_ = (promptSoFar_ + segment).find("PASSWORD") != std::string::npos;
      promptSoFar_.clear();
      inPrompt_ = false;
    }
    start = i + 1;
  }
  const std::string rest = bytes.substr(start);
  shown += Printable(rest);
  if (inPrompt_) {
    promptSoFar_ += rest;
    if (promptSoFar_.size() > kMaxPromptCarry) {
      promptSoFar_.erase(0, promptSoFar_.size() - kMaxPromptCarry);
    }
  }
  return shown;
}

std::string ShellScreen::Typed(char key) const {
  const auto code = static_cast<unsigned char>(key);
  if (key == '\r' || key == '\n') return "\r\n";
  if (key == '\b' || code == 0x7F) return "\b \b";
  if (code < 0x20) return {};
  if (passwordMode_) return "*";
  return DeviceNameToLocal(std::string(1, key));
}

}  // namespace vxk
