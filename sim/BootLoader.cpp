#include "sim/BootLoader.h"

#include <cstdlib>

namespace vxk {
namespace {

constexpr const char* kPrompt = "BL>";
// An image larger than this is refused rather than buffered.
constexpr long long kMaxImage = 64LL << 20;

std::string TakeWord(std::string& args) {
  const size_t start = args.find_first_not_of(' ');
  if (start == std::string::npos) {
    args.clear();
    return std::string();
  }
  const size_t end = args.find(' ', start);
  std::string word = args.substr(start, end == std::string::npos ? end : end - start);
  args = end == std::string::npos ? std::string() : args.substr(end + 1);
  return word;
}

}  // namespace

void BootLoader::Install(VirtualDevice& device) {
  appLoad_ = device.CommandFor("load");
  device.RegisterCommand("boot", [this](VirtualDevice& d, const std::string&) { Boot(d); });
  device.RegisterCommand("run", [this](VirtualDevice& d, const std::string&) { Run(d); });
  device.RegisterCommand("load",
                         [this](VirtualDevice& d, const std::string& args) { Load(d, args); });
}

void BootLoader::Boot(VirtualDevice& d) {
  ++boots_;
  if (!active_) {
    appProduct_ = d.Identity().product;
    appPrompt_ = d.Locked() ? std::string("vxk>") : d.PromptText();
  }
  active_ = true;
  d.Identity().product = settings_.product;
  d.SetPromptText(kPrompt);
  d.PrintLine("Restarting into the boot loader");
  Restart(d);
}

void BootLoader::Run(VirtualDevice& d) {
  if (!active_) {
    d.PrintLine("Firmware is running");
    d.EmitPrompt();
    return;
  }
  ++runs_;
  active_ = false;
  d.Identity().product = appProduct_;
  d.SetPromptText(appPrompt_);
  d.PrintLine("Starting the firmware");
  Restart(d);
}

void BootLoader::Restart(VirtualDevice& d) {
  // Typed input is lost while the device restarts; the transport decides what the host sees.
  d.Pause(settings_.restartMs, [](VirtualDevice& dd) { dd.EmitPrompt(); });
  d.RequestRestart(settings_.restartMs);
}

void BootLoader::Load(VirtualDevice& d, const std::string& args) {
  if (!settings_.answerLoad) return;
  if (!active_) {
    if (appLoad_) {
      appLoad_(d, args);
    } else {
      d.PrintLine("Unknown command: LOAD");
      d.EmitPrompt();
    }
    return;
  }
  std::string rest = args;
  const std::string countText = TakeWord(rest);
  const std::string name = TakeWord(rest);
  char* end = nullptr;
  const long long count = std::strtoll(countText.c_str(), &end, 10);
  if (countText.empty() || *end || count < 0 || count > kMaxImage || name.empty()) {
    d.PrintLine("22:Invalid argument");
    d.EmitPrompt();
    return;
  }
  d.PrintLine("Send file");
  d.ExpectData(static_cast<size_t>(count),
               [this, name](VirtualDevice& dd, const std::string& data) {
                 images_.push_back({name, data});
                 Stage(dd, 0);
               });
}

void BootLoader::Stage(VirtualDevice& d, size_t stage) {
  d.Pause(settings_.stageMs[stage], [this, stage](VirtualDevice& dd) {
    dd.PrintLine(settings_.stageReply[stage]);
    dd.EmitPrompt();
    if (stage + 1 < settings_.stageMs.size()) Stage(dd, stage + 1);
  });
}

}  // namespace vxk
