#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "server/ServerDaemon.h"
#include "session/SessionSettings.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;

namespace vxk {

// The server daemon's window: the port, the shared key (masked), the limit of tool processes
// at once (ServerChildLimit in the settings file) and one log line per tool process started
// for a device, or per device refused at the limit. Timer1 takes the devices that connected
// since its last tick.
class TfmServer : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "vx.keeper TCP Server";
  static constexpr int kTimerMs = 500;
  // How long one tick waits for each further connection.
  static constexpr int kAcceptWaitMs = 10;

  // Takes -rtt= and -time= from the settings (8000 and 500 when absent), the limit of tool
  // processes from the settings file.
  explicit TfmServer(const SessionSettings& settings, QWidget* parent = nullptr);
  ~TfmServer() override;

  void SetPort(const QString& port);
  // The key as raw bytes; the box shows it, and a key typed into the box later replaces it.
  void SetKey(const std::string& key);
  void StartListening();
  void AddLogLine(const QString& text);

  ServerDaemon& Daemon() { return *daemon_; }

  QLabel* Label1 = nullptr;
  QLineEdit* edPort = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* edKey = nullptr;
  QLabel* lblLimit = nullptr;
  QPlainTextEdit* memLog = nullptr;
  QTimer* Timer1 = nullptr;

 public slots:
  void Timer1Timer();

 private:
  void FormCreate(const SessionSettings& settings);

  std::unique_ptr<ServerDaemon> daemon_;
  std::string key_;
  QString keyShown_;
};

}  // namespace vxk
