#pragma once

#include <sys/types.h>

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "ui/SecretStore.h"

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace vxk {

class HidBackend;
class TfmConnect;
struct ConnectTarget;

// "Connect…" (Ctrl+K) in the File menu: asks for a link and starts a new tool process for it
// with the options its command line takes, as the server daemon starts its tool processes. The
// key of a TCP link reaches the new process on an inherited pipe (-keyfd=), never on its
// command line, and is kept in the desktop keyring, never in the settings file; the link itself
// joins the recent connections there. Started processes are reaped as they end.
class ConnectAction : public QObject {
  Q_OBJECT

 public:
  // secrets: where keys are kept; the desktop keyring when null.
  ConnectAction(HidBackend& hid, QWidget* window, std::unique_ptr<SecretStore> secrets = nullptr);
  ~ConnectAction() override;

  // Puts "Connect…" at the top of the File menu, set apart from the rest.
  void AddTo(QMenu* file);

  TfmConnect* fmConnect() const { return dialog_; }
  // The program started; this one by default.
  std::string program;
  // The processes started and not yet seen to end.
  const std::vector<pid_t>& Started() const { return started_; }

  QAction* actConnect = nullptr;

 public slots:
  void actConnectExecute();

 private:
  // Starts the tool for target; false (and the user told why) when it did not start.
  bool Launch(const ConnectTarget& target, const QString& key);
  void Reap();

  QWidget* window_;
  std::unique_ptr<SecretStore> secrets_;
  TfmConnect* dialog_ = nullptr;
  QTimer* reaper_ = nullptr;
  std::vector<pid_t> started_;
};

}  // namespace vxk
