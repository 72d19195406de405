#include "session/Connector.h"

namespace vxk {

Connector::Connector(Session& session, Session::StatusSink status)
    : session_(session), status_(std::move(status)) {}

Connector::~Connector() = default;

OpResult Connector::Start() {
  return session_.Start(status_);
}

Connector::Event Connector::Accept(int waitMs) {
  return session_.AcceptPending(waitMs) ? Event::Accepted : Event::None;
}

Connector::Event Connector::Open(int waitMs) {
  if (header_) return AfterHeader(header_->Step(waitMs));
  TvxComms& link = session_.Link();
  if (opened_ && link.IsOpen()) return Event::None;
  if (!link.Open()) return Event::Waiting;
  // The header is the first use of a TCP device's data; the opening goes on once it passed.
  if (session_.IsNetworkLink() && session_.ExpectsHeader()) {
    header_ = session_.StartHeaderCheck(status_);
    if (header_) return AfterHeader(header_->Step(waitMs));
  }
  opened_ = true;
  session_.Files().QuoteNames = link.Capabilities().find(".nfi.") != std::string::npos;
  return Event::Opened;
}

Connector::Event Connector::AfterHeader(HeaderCheck::State state) {
  if (state == HeaderCheck::State::Reading) return Event::None;
  header_.reset();
  if (state == HeaderCheck::State::Refused) {
    session_.Link().Close();
    return Event::Refused;
  }
  headerAccepted_ = true;
  opened_ = true;
  TvxComms& link = session_.Link();
  session_.Files().QuoteNames = link.Capabilities().find(".nfi.") != std::string::npos;
  return Event::Opened;
}

Connector::Event Connector::Watch() {
  TvxComms& link = session_.Link();
  // A device that leaves during its header is refused by the header check itself.
  if (header_) return Event::None;
  if (!link.IsOpen()) {
    // A link that closed itself under an operation (a read found its device gone, a restart
    // closed it) lost its device as well; that is told once.
    if (!opened_) return Event::None;
    opened_ = false;
    return Event::Lost;
  }
  if (link.IsAlive()) return Event::None;
  link.Close();
  opened_ = false;
  return Event::Lost;
}

OpResult Connector::ListenAgain() {
  opened_ = false;
  return session_.ListenAgain(status_);
}

}  // namespace vxk
