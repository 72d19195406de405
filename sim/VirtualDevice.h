#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "sim/DeviceIdentity.h"
#include "sim/StreamFault.h"

namespace vxk {

// A vx.keeper behind its command interpreter, without any transport: bytes the host sends go
// in through Receive, bytes for the host are collected per channel and taken with TakeOutput.
// The prompt is framed by 0xAB ... 0xBB; ESC abandons the input line and redraws the prompt;
// CR runs the line. Commands are looked up by their first word, case-insensitively.
//
// Time: the device reads its clock (TickCount unless a test sets another) whenever bytes
// arrive and whenever its output is asked for; transports also call Tick in their loops, so
// that timed events (the receive time-out, actions set with After) happen while nothing else
// does. A transport that cannot call Tick sees them at the next arrival or output query.
class VirtualDevice {
 public:
  using Command = std::function<void(VirtualDevice& device, const std::string& args)>;
  using DataSink = std::function<void(VirtualDevice& device, const std::string& data)>;
  using ChannelHandler = std::function<void(VirtualDevice& device, std::string_view bytes)>;
  // As ChannelHandler, with the flags byte of the packet that carried the bytes.
  using PacketHandler =
      std::function<void(VirtualDevice& device, std::string_view bytes, uint8_t flags)>;
  using Action = std::function<void(VirtualDevice& device)>;
  // Makes the next piece of a channel's output; empty when there is no more.
  using Generator = std::function<std::string(VirtualDevice& device)>;
  using Clock = std::function<int64_t()>;

  static constexpr int kChannels = 32;
  static constexpr size_t kMaxLine = 4096;
  // A transfer (ExpectData) is abandoned when no byte of it arrives for this long.
  static constexpr int kReceiveTimeoutMs = 2000;
  // The status line of an abandoned transfer.
  static constexpr const char* kTimeoutStatus = "62:Timer expired";
  // Generated output is made ahead of the host by at most about this much.
  static constexpr size_t kGenerateAhead = 65536;

  explicit VirtualDevice(DeviceIdentity identity = {});

  // Host to device, with the flags byte of the packet (transports without packets pass 0).
  // While the interpreter is busy (a generator on channel 0, or a Pause), bytes on channel 0
  // are dropped.
  void Receive(int channel, std::string_view bytes, uint8_t flags = 0);

  // Device to host. Both bring the device up to its clock first and top up generated output,
  // so a channel with a generator always has output pending.
  size_t PendingOutput(int channel);
  bool HasOutput();
  std::string TakeOutput(int channel, size_t maxBytes);
  // Drops output in flight; generators stay.
  void DiscardOutput();

  // Runs what is due at nowMs (device clock): the receive time-out and actions set with After.
  void Tick(int64_t nowMs);
  // The device-clock time of the next timed event, -1 when none is waiting.
  int64_t NextDeadline() const;
  void SetClock(Clock clock);
  int64_t Now() const;
  void SetReceiveTimeout(int ms) { receiveTimeoutMs_ = ms > 0 ? ms : 1; }
  int ReceiveTimeout() const { return receiveTimeoutMs_; }
  // Runs action ms from now.
  void After(int ms, Action action);
  // For ms from now, bytes on channel 0 are kept (up to kMaxHeld) and taken when the time is
  // up, as a device busy sending takes what its input buffer held.
  void HoldInput(int ms);
  static constexpr size_t kMaxHeld = 4096;
  // The interpreter is busy for ms (typed bytes are dropped), then runs then (may be null).
  void Pause(int ms, Action then);

  // Output made lazily as the host takes it, for output without end; a null generator stops
  // it. While channel 0 has one, the interpreter is busy.
  void SetGenerator(int channel, Generator generator);
  bool Generating(int channel) const;
  bool Busy() const;

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
  // The same, with each packet's flags byte.
  void SetPacketHandler(int channel, PacketHandler handler);
  // On a framed channel every Emit, and every piece a generator makes, travels as a packet of
  // its own (cut to 61 bytes), as records do; TakeOutput then gives one packet at a time.
  void SetFramed(int channel, bool framed);
  bool Framed(int channel) const;
  // Packet data bytes on a framed channel.
  static constexpr size_t kFrameBytes = 61;

  DeviceIdentity& Identity() { return identity_; }
  const DeviceIdentity& Identity() const { return identity_; }
  // A non-empty password locks the interpreter until it is typed at the prompt.
  // Arms a fault of the channel-0 stream, counted from now (Kind::None disarms).
  void InjectFault(const StreamFault& fault);
  const StreamFaultState& Fault() const { return fault_; }

  void SetPassword(const std::string& password);
  bool Locked() const { return locked_; }
  void SetPromptText(const std::string& text) { promptText_ = text; }
  std::string PromptText() const;

  // Lines the interpreter has run, for tests.
  const std::string& LastCommand() const { return lastCommand_; }
  int CommandCount() const { return commandCount_; }
  // Round trips the host made: the times bytes arrived on channel 0 after the device had
  // answered the ones before (the first arrival counts too).
  int TurnCount() const { return turnCount_; }
  // The most recent kHistory lines, oldest first.
  const std::deque<std::string>& CommandHistory() const { return history_; }
  static constexpr size_t kHistory = 4096;

  // A handler may ask the transport to drop the connection.
  void RequestDisconnect() {
    disconnect_ = true;
    restartAt_ = -1;
  }
  // The device restarts: it drops the connection and is back ms from now. A transport that
  // can (the fake USB bus) brings it back then; a serial line just stays; TCP ends.
  void RequestRestart(int ms) {
    disconnect_ = true;
    restartAt_ = Now() + (ms > 0 ? ms : 0);
  }
  bool DisconnectRequested() const { return disconnect_; }
  // When a restarting device is back (device clock); -1 when it is not restarting.
  int64_t RestartAt() const { return disconnect_ ? restartAt_ : -1; }
  void ClearDisconnect() {
    disconnect_ = false;
    restartAt_ = -1;
  }
  // The handler of a command, or null, e.g. to wrap it.
  Command CommandFor(const std::string& name) const;

 private:
  struct Output {
    std::string data;
    size_t head = 0;
    // Framed channels: the packets, oldest first.
    std::deque<std::string> frames;
    bool framed = false;
  };

  void ReceiveTerminal(std::string_view bytes);
  void RunLine(const std::string& line);
  void AbandonData();
  void Refill(int channel, size_t want);
  static size_t Pending(const Output& out);

  DeviceIdentity identity_;
  std::array<Output, kChannels> output_;
  StreamFaultState fault_;
  std::map<std::string, Command> commands_;
  std::array<PacketHandler, kChannels> channelHandlers_;
  std::string line_;
  std::string password_;
  bool locked_ = false;
  std::string promptText_ = "vxk>";
  size_t dataLeft_ = 0;
  std::string data_;
  DataSink sink_;
  int64_t lastDataMs_ = 0;
  int receiveTimeoutMs_ = kReceiveTimeoutMs;
  std::multimap<int64_t, Action> timers_;
  int64_t busyUntil_ = 0;
  int64_t holdUntil_ = 0;
  std::string held_;
  std::array<Generator, kChannels> generators_;
  uint64_t generatorChanges_ = 0;
  Clock clock_;
  std::string lastCommand_;
  int commandCount_ = 0;
  int turnCount_ = 0;
  bool answered_ = true;  // output on channel 0 since the last arrival
  std::deque<std::string> history_;
  bool disconnect_ = false;
  int64_t restartAt_ = -1;
};

}  // namespace vxk
