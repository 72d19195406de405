#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "sim/DeviceIdentity.h"

namespace vxk {

// A vx.keeper behind its command interpreter, without any transport: bytes the host sends go
// in through Receive, bytes for the host are collected per channel and taken with TakeOutput.
// The prompt is framed by 0xAB ... 0xBB; ESC abandons the input line and redraws the prompt;
// CR runs the line. Commands are looked up by their first word, case-insensitively.
class VirtualDevice {
 public:
  using Command = std::function<void(VirtualDevice& device, const std::string& args)>;
  using DataSink = std::function<void(VirtualDevice& device, const std::string& data)>;
  using ChannelHandler = std::function<void(VirtualDevice& device, std::string_view bytes)>;

  static constexpr int kChannels = 32;
  static constexpr size_t kMaxLine = 4096;

  explicit VirtualDevice(DeviceIdentity identity = {});

  // Host to device.
  void Receive(int channel, std::string_view bytes);

  // Device to host.
  size_t PendingOutput(int channel) const;
  bool HasOutput() const;
  std::string TakeOutput(int channel, size_t maxBytes);
  void DiscardOutput();

  // For command handlers and tests: text on channel 0, or bytes on any channel.
  void Print(std::string_view text) { Emit(0, text); }
  void PrintLine(std::string_view text);
  void Emit(int channel, std::string_view bytes);
  void EmitPrompt();
  // The next count bytes on channel 0 are raw data for sink, not commands.
  void ExpectData(size_t count, DataSink sink);

  void RegisterCommand(const std::string& name, Command command);
  // Receives the bytes the host sends on a channel other than 0.
  void SetChannelHandler(int channel, ChannelHandler handler);

  DeviceIdentity& Identity() { return identity_; }
  const DeviceIdentity& Identity() const { return identity_; }
  // A non-empty password locks the interpreter until it is typed at the prompt.
  void SetPassword(const std::string& password);
  bool Locked() const { return locked_; }
  void SetPromptText(const std::string& text) { promptText_ = text; }
  std::string PromptText() const;

  // Lines the interpreter has run, for tests.
  const std::string& LastCommand() const { return lastCommand_; }
  int CommandCount() const { return commandCount_; }

  // A handler may ask the transport to drop the connection.
  void RequestDisconnect() { disconnect_ = true; }
  bool DisconnectRequested() const { return disconnect_; }
  void ClearDisconnect() { disconnect_ = false; }

 private:
  struct Output {
    std::string data;
    size_t head = 0;
  };

  void ReceiveTerminal(std::string_view bytes);
  void RunLine(const std::string& line);

  DeviceIdentity identity_;
  std::array<Output, kChannels> output_;
  std::map<std::string, Command> commands_;
  std::array<ChannelHandler, kChannels> channelHandlers_;
  std::string line_;
  std::string password_;
  bool locked_ = false;
  std::string promptText_ = "vxk>";
  size_t dataLeft_ = 0;
  std::string data_;
  DataSink sink_;
  std::string lastCommand_;
  int commandCount_ = 0;
  bool disconnect_ = false;
};

}  // namespace vxk
