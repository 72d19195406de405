#pragma once

#include <array>
#include <string>
#include <vector>

#include "sim/VirtualDevice.h"

namespace vxk {

// How the virtual boot loader behaves; tests change it to slow or fail a stage.
struct BootLoaderSettings {
  std::string product = "vx.keeper BootLoader";  // its USB product text
  int restartMs = 1500;  // how long the device is away when it restarts ("boot", "run")
  // The three stages after an image has arrived: how long each takes, and what it says.
  std::array<int, 3> stageMs = {300, 1200, 2500};
  std::array<std::string, 3> stageReply = {"Load OK", "Verify OK", "Burn OK"};
  bool answerLoad = true;  // false: LOAD never answers "Send file" (nor anything else)
};

// The device's boot loader: "boot" restarts the device into it, LOAD takes an image and
// answers after each of its load, verify and burn stages (the interpreter is busy meanwhile),
// "run" restarts into the application. Over USB the restart drops the link and the device
// comes back with the boot loader's product text; over TCP the connection ends; a serial line
// stays. Install after the file commands: the application's LOAD stays as it was.
class BootLoader {
 public:
  struct Image {
    std::string name;
    std::string data;
  };

  explicit BootLoader(BootLoaderSettings settings = {}) : settings_(std::move(settings)) {}
  void Install(VirtualDevice& device);

  BootLoaderSettings& Settings() { return settings_; }
  bool Active() const { return active_; }
  // Images taken in boot-loader mode, in the order they came.
  const std::vector<Image>& Images() const { return images_; }
  int Boots() const { return boots_; }
  int Runs() const { return runs_; }

 private:
  void Boot(VirtualDevice& d);
  void Run(VirtualDevice& d);
  void Load(VirtualDevice& d, const std::string& args);
  void Stage(VirtualDevice& d, size_t stage);
  void Restart(VirtualDevice& d);

  BootLoaderSettings settings_;
  VirtualDevice::Command appLoad_;
  std::string appProduct_;
  std::string appPrompt_;
  bool active_ = false;
  std::vector<Image> images_;
  int boots_ = 0;
  int runs_ = 0;
};

}  // namespace vxk
