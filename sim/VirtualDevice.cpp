#include "sim/VirtualDevice.h"

#include <algorithm>
#include <cctype>

#include "comms/Ticks.h"

namespace vxk {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

VirtualDevice::VirtualDevice(DeviceIdentity identity) : identity_(std::move(identity)) {}

void VirtualDevice::Receive(int channel, std::string_view bytes, uint8_t flags) {
  if (channel == 0) {
    if (answered_ && !bytes.empty()) {
      ++turnCount_;
      answered_ = false;
    }
    const int64_t now = Now();
    Tick(now);
    if (generators_[0] || now < busyUntil_) return;
    if (now < holdUntil_) {
      held_.append(bytes.substr(0, kMaxHeld - std::min(kMaxHeld, held_.size())));
      return;
    }
    if (dataLeft_ > 0) lastDataMs_ = now;
    if (fault_.Armed()) {
      fault_.See(bytes);
      if (fault_.OnReceive(bytes.size())) Emit(0, {});
    }
    ReceiveTerminal(bytes);
  } else if (channel > 0 && channel < kChannels && channelHandlers_[channel]) {
    channelHandlers_[channel](*this, bytes, flags);
  }
}

VirtualDevice::Command VirtualDevice::CommandFor(const std::string& name) const {
  const auto it = commands_.find(Lower(name));
  return it == commands_.end() ? Command() : it->second;
}

void VirtualDevice::SetChannelHandler(int channel, ChannelHandler handler) {
  if (!handler) {
    SetPacketHandler(channel, nullptr);
    return;
  }
  SetPacketHandler(channel,
                   [handler = std::move(handler)](VirtualDevice& device, std::string_view bytes,
                                                  uint8_t) { handler(device, bytes); });
}

void VirtualDevice::SetPacketHandler(int channel, PacketHandler handler) {
  if (channel > 0 && channel < kChannels) channelHandlers_[channel] = std::move(handler);
}

void VirtualDevice::SetFramed(int channel, bool framed) {
  if (channel < 0 || channel >= kChannels) return;
  Output& out = output_[channel];
  if (out.framed == framed) return;
  // What is pending keeps its order: stream bytes become packets, packets become bytes.
  if (framed) {
    const std::string rest = out.data.substr(out.head);
    out.data.clear();
    out.head = 0;
    for (size_t pos = 0; pos < rest.size(); pos += kFrameBytes)
      out.frames.push_back(rest.substr(pos, kFrameBytes));
  } else {
    for (const std::string& frame : out.frames) out.data += frame;
    out.frames.clear();
  }
  out.framed = framed;
}

bool VirtualDevice::Framed(int channel) const {
  return channel >= 0 && channel < kChannels && output_[channel].framed;
}

void VirtualDevice::ReceiveTerminal(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (dataLeft_ > 0) {
      const size_t n = std::min(dataLeft_, bytes.size() - i);
      data_.append(bytes.data() + i, n);
      dataLeft_ -= n;
      i += n;
      if (dataLeft_ == 0) {
        DataSink sink = std::move(sink_);
        sink_ = nullptr;
        std::string data = std::move(data_);
        data_.clear();
        if (sink) sink(*this, data);
        // The rest of what came with the data is lost while the device is busy.
        if (Busy()) return;
      }
      continue;
    }
    const char c = bytes[i++];
    switch (c) {
      case '\x1B':
        line_.clear();
        Print("\r\n");
        EmitPrompt();
        break;
      case '\r': {
        std::string line;
        line.swap(line_);
        RunLine(line);
        if (Busy()) return;
        break;
      }
      case '\n':
        break;
      case '\b':
      case '\x7F':
        if (!line_.empty()) line_.pop_back();
        break;
      default:
        if (line_.size() < kMaxLine) line_.push_back(c);
        break;
    }
  }
}

void VirtualDevice::RunLine(const std::string& line) {
  lastCommand_ = line;
  ++commandCount_;
  history_.push_back(line);
  if (history_.size() > kHistory) history_.pop_front();
  if (locked_) {
    if (line == password_) {
      locked_ = false;
      PrintLine("Password accepted");
    } else {
      PrintLine("Wrong password");
    }
    EmitPrompt();
    return;
  }
  const size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) {
    EmitPrompt();
    return;
  }
  const size_t end = line.find(' ', start);
  const std::string name = Lower(line.substr(start, end == std::string::npos ? end : end - start));
  const std::string args = end == std::string::npos ? std::string() : line.substr(end + 1);
  auto it = commands_.find(name);
  if (it == commands_.end()) {
    PrintLine("Unknown command: " + line.substr(start));
    EmitPrompt();
    return;
  }
  // Copy: a handler may register or replace commands.
  Command command = it->second;
  command(*this, args);
}

size_t VirtualDevice::Pending(const Output& out) {
  return out.framed ? out.frames.size() : out.data.size() - out.head;
}

void VirtualDevice::Refill(int channel, size_t want) {
  Output& out = output_[channel];
  while (generators_[channel] && Pending(out) < want) {
    // Called where it lives, so that its state carries on; it may replace or stop itself.
    Generator generate = std::move(generators_[channel]);
    generators_[channel] = nullptr;
    const uint64_t changes = generatorChanges_;
    const std::string piece = generate(*this);
    if (generatorChanges_ == changes && !piece.empty()) generators_[channel] = std::move(generate);
    if (piece.empty()) break;
    Emit(channel, piece);
  }
}

size_t VirtualDevice::PendingOutput(int channel) {
  if (channel < 0 || channel >= kChannels) return 0;
  Tick(Now());
  Refill(channel, 1);
  if (channel == 0 && fault_.Armed()) return std::min(Pending(output_[0]), fault_.TakeLimit(Now()));
  return Pending(output_[channel]);
}

bool VirtualDevice::HasOutput() {
  for (int c = 0; c < kChannels; ++c) {
    if (PendingOutput(c) > 0) return true;
  }
  return false;
}

std::string VirtualDevice::TakeOutput(int channel, size_t maxBytes) {
  if (channel < 0 || channel >= kChannels) return std::string();
  Tick(Now());
  Output& out = output_[channel];
  if (out.framed) {
    Refill(channel, 1);
    if (out.frames.empty()) return std::string();
    std::string frame = std::move(out.frames.front());
    out.frames.pop_front();
    if (frame.size() > maxBytes) frame.resize(maxBytes);
    return frame;
  }
  Refill(channel, std::min(maxBytes, kGenerateAhead));
  size_t n = std::min(maxBytes, out.data.size() - out.head);
  if (channel == 0 && fault_.Armed()) {
    n = std::min(n, fault_.TakeLimit(Now()));
    fault_.Taken(n);
  }
  std::string taken = out.data.substr(out.head, n);
  out.head += n;
  if (out.head == out.data.size()) {
    out.data.clear();
    out.head = 0;
  } else if (out.head > (1u << 20) && out.head > out.data.size() / 2) {
    out.data.erase(0, out.head);
    out.head = 0;
  }
  return taken;
}

void VirtualDevice::DiscardOutput() {
  for (Output& out : output_) {
    out.data.clear();
    out.head = 0;
    out.frames.clear();
  }
}

void VirtualDevice::PrintLine(std::string_view text) {
  Print(text);
  Print("\r\n");
}

void VirtualDevice::Emit(int channel, std::string_view bytes) {
  if (channel < 0 || channel >= kChannels) return;
  if (channel == 0 && !bytes.empty()) answered_ = true;
  Output& out = output_[channel];
  if (channel == 0 && fault_.Armed()) {
    bool disconnect = false;
    out.data.append(fault_.OnEmit(bytes, disconnect));
    if (disconnect) RequestDisconnect();
    return;
  }
  if (!out.framed) {
    out.data.append(bytes);
    return;
  }
  // A record longer than a packet loses its tail, as on the device.
  out.frames.emplace_back(bytes.substr(0, kFrameBytes));
}

void VirtualDevice::EmitPrompt() {
  std::string prompt;
  prompt += '\xAB';
  prompt += PromptText();
  prompt += '\xBB';
  Print(prompt);
}

std::string VirtualDevice::PromptText() const {
  return locked_ ? "PASSWORD:" : promptText_;
}

void VirtualDevice::ExpectData(size_t count, DataSink sink) {
  dataLeft_ = count;
  data_.clear();
  sink_ = std::move(sink);
  lastDataMs_ = Now();
  if (count == 0) {
    DataSink done = std::move(sink_);
    sink_ = nullptr;
    if (done) done(*this, std::string());
  }
}

void VirtualDevice::RegisterCommand(const std::string& name, Command command) {
  commands_[Lower(name)] = std::move(command);
}

void VirtualDevice::AbandonData() {
  // A real device gives up a transfer after a pause; the partial data is lost.
  dataLeft_ = 0;
  std::string().swap(data_);
  sink_ = nullptr;
  PrintLine(kTimeoutStatus);
  EmitPrompt();
}

void VirtualDevice::Tick(int64_t nowMs) {
  if (dataLeft_ > 0 && nowMs - lastDataMs_ >= receiveTimeoutMs_) AbandonData();
  while (!timers_.empty() && timers_.begin()->first <= nowMs) {
    Action action = std::move(timers_.begin()->second);
    timers_.erase(timers_.begin());
    if (action) action(*this);
  }
}

void VirtualDevice::InjectFault(const StreamFault& fault) {
  fault_.Arm(fault, "\xAB" + PromptText() + "\xBB");
}

int64_t VirtualDevice::NextDeadline() const {
  int64_t next = -1;
  if (dataLeft_ > 0) next = lastDataMs_ + receiveTimeoutMs_;
  if (fault_.ReleaseAt() >= 0 && (next < 0 || fault_.ReleaseAt() < next)) next = fault_.ReleaseAt();
  if (!timers_.empty() && (next < 0 || timers_.begin()->first < next)) {
    next = timers_.begin()->first;
  }
  return next;
}

void VirtualDevice::SetClock(Clock clock) {
  clock_ = std::move(clock);
}

int64_t VirtualDevice::Now() const {
  return clock_ ? clock_() : TickCount();
}

void VirtualDevice::After(int ms, Action action) {
  timers_.emplace(Now() + std::max(ms, 0), std::move(action));
}

void VirtualDevice::HoldInput(int ms) {
  holdUntil_ = std::max(holdUntil_, Now() + std::max(ms, 0));
  After(ms, [](VirtualDevice& d) {
    if (d.Now() < d.holdUntil_ || d.held_.empty()) return;
    const std::string held = std::move(d.held_);
    d.held_.clear();
    d.Receive(0, held);
  });
}

void VirtualDevice::Pause(int ms, Action then) {
  busyUntil_ = std::max(busyUntil_, Now() + std::max(ms, 0));
  After(ms, std::move(then));
}

void VirtualDevice::SetGenerator(int channel, Generator generator) {
  if (channel < 0 || channel >= kChannels) return;
  generators_[channel] = std::move(generator);
  ++generatorChanges_;
}

bool VirtualDevice::Generating(int channel) const {
  return channel >= 0 && channel < kChannels && generators_[channel] != nullptr;
}

bool VirtualDevice::Busy() const {
  return generators_[0] != nullptr || Now() < busyUntil_;
}

void VirtualDevice::SetPassword(const std::string& password) {
  password_ = password;
  locked_ = !password.empty();
}

}  // namespace vxk
