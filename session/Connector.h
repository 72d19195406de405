#pragma once

#include <memory>
#include <string>

#include "comms/OpResult.h"
#include "security/HeaderCheck.h"
#include "session/Session.h"

namespace vxk {

// How the link to the device comes up and goes down, the same for the window and vxkctl: the
// listen port or the inherited socket is set up, a listening device is taken, the link is
// opened (tried again while there is no device), a TCP device's header is read and checked a
// step at a time, and an open link is watched for its device leaving. It reports what happened
// as events; what to do about them (show them, run the open sequence, listen again, end the
// process) is the front end's. Runs on the thread that owns the session.
class Connector {
 public:
  enum class Event {
    None,      // nothing changed (still waiting, or still reading the header)
    Waiting,   // the link is closed and does not open: no device (yet)
    Accepted,  // listen mode: a device connected, its header comes next
    Opened,    // the device is there (over TCP it proved itself): the open sequence follows
    Refused,   // its header was refused or late; the link is closed
    Lost,      // an open link lost its device; the link is closed
  };

  // status gets the informative lines of the start and of the header.
  Connector(Session& session, Session::StatusSink status);
  ~Connector();
  Connector(const Connector&) = delete;
  Connector& operator=(const Connector&) = delete;

  // Sets the link up. Fails (LocalError) when the terminal lock cannot be used or the listen
  // port cannot be bound or listened on; the status lines have said which.
  OpResult Start();
  // Takes a device that connected to the listen port within waitMs.
  Event Accept(int waitMs);
  // Opens a closed link, or goes on with the header of a TCP device for at most waitMs.
  Event Open(int waitMs);
  // Whether an open link's device is still there; Lost (and the link closed) when not, or
  // when the link closed itself since it opened.
  Event Watch();
  // Listen mode, after a refusal or once the device is lost: listen on the port again for the
  // next device (or the same one calling again).
  OpResult ListenAgain();

  bool Opened() const { return opened_; }
  bool ReadingHeader() const { return header_ != nullptr; }
  // A header was accepted in this process (a device proved itself at least once).
  bool HeaderAccepted() const { return headerAccepted_; }

 private:
  Event AfterHeader(HeaderCheck::State state);

  Session& session_;
  Session::StatusSink status_;
  std::unique_ptr<HeaderCheck> header_;
  bool opened_ = false;
  bool headerAccepted_ = false;
};

}  // namespace vxk
