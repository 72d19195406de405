#include "session/LinkPoll.h"

#include "comms/Packet.h"
#include "comms/Ticks.h"
#include "ops/LogChannel.h"

namespace vxk {
namespace {

// The open sequence waits this long after its ESC, then this long for the first text.
constexpr int kAfterEscMs = 50;
constexpr int kFirstReadMs = 150;
// An open link's poll waits this long for the first text.
constexpr int kPollReadMs = 10;

void DrainLog(TvxComms& link, std::vector<std::string>& records) {
  LogChannel(link).DrainRecords(
      [&records](std::string_view record) { records.emplace_back(record); });
}

void OpenSequence(Session& session, const PollRequest& request, PollResult& out) {
  TvxComms& link = session.Link();
  out.info = ReadDeviceInfo(link);
  if (request.logVisible) LogChannel(link).SendFilter(request.logFilter);
  session.Terminal().Send(std::string(1, TvxTerminal::kEsc));
  SleepMs(kAfterEscMs);
  out.incoming = ReadIncoming(link, kFirstReadMs);
  DrainLog(link, out.records);
  if (out.info.capabilities.find(".nfi.") != std::string::npos)
    out.listing = ListForDisplay(session.Terminal(), session.Files(), request.currentDir);
}

}  // namespace

DeviceInfo ReadDeviceInfo(TvxComms& link) {
  DeviceInfo info;
  if (!link.IsAlive()) return info;
  info.alive = true;
  info.serial = link.SerialNumber();
  info.product = link.ProductName();
  info.text = link.Manufacturer() + "\n" + "#" + info.serial + "\n" + info.product + " v" +
              link.FirmwareVersion() + " (build " + link.FirmwareBuild() + " @ " +
              link.FirmwareDate() + ")";
  info.capabilities = link.Capabilities();
  return info;
}

std::string ReadIncoming(TvxComms& link, int firstWaitMs, size_t maxBytes) {
  std::string text = link.Read(kTerminalChannel, firstWaitMs, -1);
  while (text.size() < maxBytes) {
    const std::string more = link.Read(kTerminalChannel, 0, -1);
    if (more.empty()) break;
    text += more;
  }
  return text;
}

PollResult PollLink(Session& session, Connector& connector, const PollRequest& request) {
  PollResult out;
  TvxComms& link = session.Link();
  if (!connector.ReadingHeader() && link.IsOpen()) {
    out.open = true;
    out.incoming = ReadIncoming(link, kPollReadMs);
    DrainLog(link, out.records);
    return out;
  }
  out.event = connector.Open(kHeaderStepMs);
  if (out.event == Connector::Event::Opened) OpenSequence(session, request, out);
  out.open = link.IsOpen();
  return out;
}

WatchResult WatchLink(Session& session, Connector& connector) {
  WatchResult out;
  out.accepted = connector.Accept(kPollReadMs) == Connector::Event::Accepted;
  out.lost = connector.Watch() == Connector::Event::Lost;
  out.open = session.Link().IsOpen();
  return out;
}

}  // namespace vxk
