#pragma once

#include <QObject>
#include <QString>

#include "session/LinkPoll.h"
#include "session/SessionSettings.h"

class QLabel;
class QStatusBar;

namespace vxk {

// The link's part of the main window's status bar: which link and how it stands ("TCP 5000:
// listening", "USB: connected"), and the device on it ("#100042 vx.keeper.Sim").
class LinkStatus : public QObject {
  Q_OBJECT

 public:
  enum class State { Waiting, Listening, Connected, Closed, NotListening };

  LinkStatus(const SessionSettings& settings, QStatusBar* bar, QObject* parent);

  // "USB", "Serial /dev/ttyUSB0", "Serial COM3", "TCP 5000", "TCP socket", with the state.
  static QString LinkText(const SessionSettings& settings, State state);
  // "#serial product"; empty for a device that told nothing.
  static QString DeviceText(const DeviceInfo& device);

  void SetState(State state);
  State Current() const { return state_; }
  void SetDevice(const DeviceInfo& device);
  void ClearDevice();

  QLabel* statusLink = nullptr;
  QLabel* statusDevice = nullptr;

 private:
  SessionSettings settings_;
  State state_ = State::Waiting;
};

}  // namespace vxk
