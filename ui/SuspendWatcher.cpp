#include "ui/SuspendWatcher.h"

#include <QDBusConnection>

namespace vxk {

SuspendWatcher::SuspendWatcher(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  connected_ = bus.connect(QStringLiteral("org.freedesktop.login1"),
                           QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"),
                           QStringLiteral("PrepareForSleep"), this, SLOT(OnPrepareForSleep(bool)));
}

void SuspendWatcher::OnPrepareForSleep(bool starting) {
  if (!starting) emit Resumed();
}

}  // namespace vxk
