#include "comms/vxCommsSocket.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <algorithm>

#include "comms/HeaderLineReader.h"
#include "comms/Ticks.h"

namespace vxk {

namespace {

constexpr int kPollSliceMs = 500;
constexpr size_t kReceiveChunk = 64 * 1024;

}  // namespace

TvxCommsSocket::TvxCommsSocket(TerminalLock& lock)
    : TvxComms(nullptr, lock), socket_(std::make_unique<TcpSocket>()) {
  SetRoundTripTime(8000);
  SetExtraTime(250);
  ResetIdentity();
}

void TvxCommsSocket::ResetIdentity() {
  serialNumber_ = "999999";
  manufacturer_ = "Corvane";
  productName_ = "vx.keeper.Unknown";
  capabilities_ = ".uft.nfi.";
  info210_.clear();
  info211_.clear();
  firmwareVersion_ = "0.00";
  firmwareBuild_ = "0000";
  firmwareDate_ = "2018-01-01";
}

TvxCommsSocket::~TvxCommsSocket() = default;

bool TvxCommsSocket::Open() {
  if (!socket_->HasHandle()) return false;
  opened_ = true;
  return true;
}

void TvxCommsSocket::Close() {
  socket_->Close();
  opened_ = false;
}

bool TvxCommsSocket::IsOpen() {
  return opened_;
}

bool TvxCommsSocket::IsAlive() {
  if (!opened_ || !socket_->HasHandle()) return false;
  if (socket_->Broken()) return false;
  // An orderly close by the device shows as readable with nothing to read.
  if (socket_->WaitReadable(0) && socket_->BytesWaiting() <= 0) return false;
  return true;
}

bool TvxCommsSocket::Write(const std::string& text, int channel, uint8_t flags, int timeoutMs) {
  if (timeoutMs > 0) timeoutMs += ExtraTime();
  if (channel != kTerminalChannel) return false;
  if (text.empty()) return true;
  if (!socket_->WaitWritable(timeoutMs)) return false;
  socket_->SetSendTimeout(timeoutMs);
  return socket_->SendAll(text.data(), text.size());
}

bool TvxCommsSocket::Poll(int timeoutMs) {
  bool result = false;
  int remaining = timeoutMs;
  if (chunk_.empty()) chunk_.resize(kReceiveChunk);
  for (;;) {
    // What the buffer cannot store stays in the kernel, so TCP holds the device back
    // instead of its data being thrown away.
    const size_t room = std::min(TerminalRoom(), chunk_.size());
    if (room == 0) return result;
    const int wait = std::max(0, std::min(remaining, kPollSliceMs));
    const ssize_t n = socket_->Receive(chunk_.data(), room, wait);
    if (n > 0) {
      StoreTerminalBytes(chunk_.data(), static_cast<size_t>(n));
      result = true;
      remaining = 0;
      continue;
    }
    remaining -= wait;
    if (remaining <= 0) return result;
  }
}

size_t TvxCommsSocket::PendingOutput() {
  int queued = 0;
  if (!socket_->HasHandle() || ::ioctl(socket_->Handle(), SIOCOUTQ, &queued) != 0 || queued < 0)
    return 0;
  return static_cast<size_t>(queued);
}

void TvxCommsSocket::AttachSocket(int handle) {
  if (!socket_->Adopt(handle)) return;
  socket_->SetLinger(true, RoundTripTime());
}

std::string TvxCommsSocket::ReadHeaderLine(int timeoutMs, int64_t deadline) {
  HeaderLineReader reader(*this, timeoutMs, deadline);
  reader.Continue(-1);
  return reader.Take();
}

}  // namespace vxk
