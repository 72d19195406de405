#pragma once

#include <functional>
#include <memory>
#include <string>

#include "FileAccess/vxkFiles.h"
#include "comms/HidBackend.h"
#include "comms/OpResult.h"
#include "comms/TcpSocket.h"
#include "comms/TerminalLock.h"
#include "comms/vxComms.h"
#include "comms/vxTerminal.h"
#include "session/SessionSettings.h"

namespace vxk {

class HeaderCheck;

// One conversation with one device: the link of the chosen kind, the terminal engine on it
// and the file layer on that. Choosing and opening the link lives here, so that the window and
// the command-line program share it.
class Session {
 public:
  using StatusSink = std::function<void(const std::string&)>;

  Session(const SessionSettings& settings, HidBackend& hid, TerminalLock& lock);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Adopts the inherited socket or opens the listen port; reports "Listening on PORT",
  // "BIND ERROR!", "LISTEN ERROR!" and the TLS notice through status. Fails (LocalError, with
  // the system's text) when the port cannot be listened on, or when the terminal lock cannot be
  // used at all (its problem reported too): the session must then do no device I/O, since
  // another program could be talking to the same device.
  OpResult Start(const StatusSink& status);

  TvxComms& Link() { return *link_; }
  TvxTerminal& Terminal() { return *terminal_; }
  TvxkFiles& Files() { return *files_; }
  const SessionSettings& Settings() const { return settings_; }

  // Every link but USB: it keeps the identity texts itself (the serial link is built on the
  // TCP one), so they stay on show after the link closes.
  bool IsNetworkLink() const { return network_; }
  // A network link with this set reads the device's connection header when it opens.
  bool ExpectsHeader() const { return expectsHeader_; }
  // What the window caption adds for this link: " (socket)", " TCP:5000", " (COM3)".
  const std::string& CaptionSuffix() const { return captionSuffix_; }

  // Listen mode: takes a device that connects within waitMs; true when one was taken. The
  // listen port closes then: one process serves one device.
  bool AcceptPending(int waitMs);
  bool Listening() const { return listen_ != nullptr; }
  // Listen mode, after the device just taken was refused or has gone: closes its link,
  // forgets what its header told and listens on the port again, reporting as Start does.
  OpResult ListenAgain(const StatusSink& status);

  // Reads and checks a TCP device's header under the secret key; false when it was refused
  // (the link is then closed).
  bool CheckHeader(const StatusSink& status);
  // The same check taken a step at a time (see HeaderCheck), for a caller that must not wait;
  // null when the link is no TCP link.
  std::unique_ptr<HeaderCheck> StartHeaderCheck(const StatusSink& status);

 private:
  OpResult OpenListener(const StatusSink& status);

  SessionSettings settings_;
  TerminalLock& lock_;
  std::unique_ptr<TvxComms> link_;
  std::unique_ptr<TvxTerminal> terminal_;
  std::unique_ptr<TvxkFiles> files_;
  std::unique_ptr<TcpSocket> listen_;
  std::string captionSuffix_;
  bool network_ = false;
  bool expectsHeader_ = false;
};

}  // namespace vxk
