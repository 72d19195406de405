#pragma once

#include <QObject>

namespace vxk {

// Reports the system's automatic resumption from suspend (logind's PrepareForSleep(false) on
// the system bus). Without a system bus it reports nothing.
class SuspendWatcher : public QObject {
  Q_OBJECT

 public:
  explicit SuspendWatcher(QObject* parent = nullptr);
  bool Connected() const { return connected_; }

 signals:
  void Resumed();

 private slots:
  void OnPrepareForSleep(bool starting);

 private:
  bool connected_ = false;
};

}  // namespace vxk
