#include "sim/LogService.h"

#include <cstdlib>
#include <memory>

#include "sim/VirtualDevice.h"

namespace vxk {
namespace {

constexpr uint8_t kSetFlags = 0x80;
constexpr uint8_t kClearFlags = 0x40;
constexpr size_t kFilterPacket = 15;

std::string RecordBytes(uint8_t type, std::string_view text) {
  std::string record(1, static_cast<char>(type));
  record.append(text);
  return record;
}

}  // namespace

void LogService::Install(VirtualDevice& device) {
  device_ = &device;
  device.SetFramed(kChannel, true);
  device.SetPacketHandler(kChannel, [this](VirtualDevice&, std::string_view bytes, uint8_t flags) {
    OnPacket(bytes, flags);
  });
  device.RegisterCommand("log", [this](VirtualDevice& d, const std::string& args) {
    const size_t blank = args.find(' ');
    const int type = std::atoi(args.substr(0, blank).c_str());
    const std::string text = blank == std::string::npos ? std::string() : args.substr(blank + 1);
    d.PrintLine(Record(static_cast<uint8_t>(type & 0xFF), text) ? "sent" : "filtered");
    d.EmitPrompt();
  });
  device.RegisterCommand("logflood", [this](VirtualDevice& d, const std::string& args) {
    StartFlood(static_cast<size_t>(std::strtoul(args.c_str(), nullptr, 10)));
    d.EmitPrompt();
  });
}

void LogService::OnPacket(std::string_view bytes, uint8_t flags) {
  const bool full = bytes.size() == kFilterPacket;
  if (flags == kSetFlags && full && bytes.substr(0, 7) == "FILTER ") {
    uint64_t mask = 0;
    for (int i = 0; i < 8; ++i) mask |= uint64_t(static_cast<uint8_t>(bytes[7 + i])) << (8 * i);
    mask_ = mask;
    subscribed_ = true;
    ++filterPackets_;
  } else if (flags == kClearFlags && full && bytes.substr(0, 7) == "FILTER-") {
    subscribed_ = false;
    ++filterPackets_;
  } else {
    ++badPackets_;
  }
}

bool LogService::Record(uint8_t type, std::string_view text) {
  if (!device_ || !Passes(type)) return false;
  device_->Emit(kChannel, RecordBytes(type, text));
  ++sent_;
  return true;
}

std::vector<std::string> LogService::Samples() {
  std::vector<std::string> samples;
  for (const int type : {0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 255}) {
    samples.push_back(RecordBytes(static_cast<uint8_t>(type), "type " + std::to_string(type)));
  }
  samples.push_back(std::string(1, '\x07'));                 // the type byte alone
  samples.push_back(RecordBytes(8, std::string(60, 'L')));   // a full packet
  samples.push_back(RecordBytes(5, std::string("AT\r\n")));  // a modem line
  samples.push_back(RecordBytes(6, std::string("ATZ\r")));
  samples.push_back(RecordBytes(5, std::string("n\0l e\x1B b\\ f\xFF", 12)));
  samples.push_back(RecordBytes(17, std::string("n\0l e\x1B b\\ f\xFF", 12)));
  return samples;
}

size_t LogService::SendSamples() {
  size_t n = 0;
  for (const std::string& s : Samples()) {
    if (Record(static_cast<uint8_t>(s[0]), std::string_view(s).substr(1))) ++n;
  }
  return n;
}

void LogService::StartFlood(size_t count) {
  if (!device_) return;
  auto samples = std::make_shared<std::vector<std::string>>(Samples());
  auto left = std::make_shared<size_t>(count);
  auto next = std::make_shared<size_t>(0);
  device_->SetGenerator(kChannel, [this, samples, left, next](VirtualDevice&) -> std::string {
    // Records the filter holds back are skipped; the flood ends with its count or the
    // subscription.
    while (*left > 0 && subscribed_) {
      const std::string& s = (*samples)[(*next)++ % samples->size()];
      --*left;
      if (Passes(static_cast<uint8_t>(s[0]))) {
        ++sent_;
        return s;
      }
    }
    return std::string();
  });
}

bool LogService::Flooding() const {
  return device_ && device_->Generating(kChannel);
}

}  // namespace vxk
