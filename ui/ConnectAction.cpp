#include "ui/ConnectAction.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <cstring>

#include "server/ChildStarter.h"
#include "server/KeyPipe.h"
#include "ui/ConnectTarget.h"
#include "ui/DeviceText.h"
#include "ui/SecretStore.h"
#include "ui/ToolSettings.h"
#include "ui/ufmConnect.h"

namespace vxk {
namespace {

constexpr int kReapIntervalMs = 1000;

}  // namespace

ConnectAction::ConnectAction(HidBackend& hid, QWidget* window, std::unique_ptr<SecretStore> secrets)
    : QObject(window),
      program(OwnProgramPath()),
      window_(window),
      secrets_(secrets ? std::move(secrets) : std::make_unique<KeyringStore>()) {
  setObjectName(QStringLiteral("ConnectAction"));
  actConnect = new QAction(QStringLiteral("Connect\u2026"), window);
  actConnect->setObjectName(QStringLiteral("actConnect"));
  actConnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
  window->addAction(actConnect);
  connect(actConnect, &QAction::triggered, this, &ConnectAction::actConnectExecute);
  dialog_ = new TfmConnect(hid, *secrets_, window);
  reaper_ = new QTimer(this);
  reaper_->setInterval(kReapIntervalMs);
  connect(reaper_, &QTimer::timeout, this, &ConnectAction::Reap);
}

ConnectAction::~ConnectAction() = default;

void ConnectAction::AddTo(QMenu* file) {
  if (!file) return;
  QAction* first = file->actions().value(0);
  file->insertAction(first, actConnect);
  file->insertSeparator(first);
}

void ConnectAction::actConnectExecute() {
  dialog_->Prepare(ToolSettings::RecentConnections());
  if (dialog_->exec() != QDialog::Accepted) return;
  const ConnectTarget target = dialog_->Target();
  const QString key = dialog_->Key();
  if (!Launch(target, key)) return;
  ToolSettings::SaveRecentConnections(Remember(ToolSettings::RecentConnections(), target));
  if (target.link == ConnectTarget::Link::Listen && !key.isEmpty())
    secrets_->Write(QString::fromStdString(KeyringEntry(target)), key, this,
                    [](SecretStore::Result) {});
}

bool ConnectAction::Launch(const ConnectTarget& target, const QString& key) {
  KeyPipe pipe;
  int keyFd = -1;
  if (target.link == ConnectTarget::Link::Listen) {
    if (!pipe.Fill(key.toStdString())) {
      QMessageBox::critical(window_, QStringLiteral("Error"),
                            QStringLiteral("Could not hand the key to the new window."));
      return false;
    }
    keyFd = pipe.ReadEnd();
  }
  std::vector<std::string> argv{program};
  for (std::string& a : ToolArguments(target, keyFd)) argv.push_back(std::move(a));
  const ChildStart started =
      StartChildProcess(program, argv, keyFd >= 0 ? std::vector<int>{keyFd} : std::vector<int>{});
  if (started.pid <= 0) {
    QMessageBox::critical(window_, QStringLiteral("Error"),
                          QStringLiteral("Could not start %1: %2")
                              .arg(QString::fromLocal8Bit(program.c_str()),
                                   QString::fromLocal8Bit(std::strerror(started.error))));
    return false;
  }
  started_.push_back(started.pid);
  reaper_->start();
  return true;
}

void ConnectAction::Reap() {
  std::vector<pid_t> running;
  for (pid_t pid : started_)
    if (!ReapIfEnded(pid)) running.push_back(pid);
  started_.swap(running);
  if (started_.empty()) reaper_->stop();
}

}  // namespace vxk
