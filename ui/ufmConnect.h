#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "ui/ConnectTarget.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace vxk {

class HidBackend;
class SecretStore;

// Asks which link a new tool window should open: USB (the vx.keeper devices present are
// listed), a serial port (the ports present are listed; one this user may not open says how to
// get the right) or a TCP listen port with its key and round-trip time. A recent connection
// fills the fields. The key of a TCP link is looked up in the desktop keyring; where none runs
// the dialog says that the key is not kept.
class TfmConnect : public QDialog {
  Q_OBJECT

 public:
  TfmConnect(HidBackend& hid, SecretStore& secrets, QWidget* parent);

  // Lists the devices and ports present and the recent connections, and fills the fields from
  // the most recent one. Called before each showing.
  void Prepare(const std::vector<ConnectTarget>& recent);
  // The link as the fields now say; valid once the dialog was accepted.
  ConnectTarget Target() const;
  QString Key() const;

  // The ports to list and the check of one; the system's by default.
  std::function<std::vector<std::string>()> ListSerialPorts;
  std::function<std::string(const std::string&)> CheckSerialAccess;

  QComboBox* cbRecent = nullptr;
  QRadioButton* rbUsb = nullptr;
  QRadioButton* rbSerial = nullptr;
  QRadioButton* rbTcp = nullptr;
  QListWidget* lvUsb = nullptr;
  QPushButton* btnRefresh = nullptr;
  QComboBox* cbPort = nullptr;
  QLabel* lblSerial = nullptr;
  QSpinBox* edPort = nullptr;
  QLineEdit* edKey = nullptr;
  QSpinBox* edRtt = nullptr;
  QLabel* lblKeyring = nullptr;
  QPushButton* btnConnect = nullptr;
  QPushButton* btnCancel = nullptr;

  void accept() override;

 private slots:
  void cbRecentActivated(int index);
  void FillUsb();
  void LinkChosen();
  void CheckPort();
  void LookUpKey();

 private:
  void BuildLayout();
  void Show(const ConnectTarget& target);

  HidBackend& hid_;
  SecretStore& secrets_;
  std::vector<ConnectTarget> recent_;
  bool keyTyped_ = false;  // the user typed the key: the keyring's does not replace it
  int lookups_ = 0;        // only the latest keyring answer counts
};

}  // namespace vxk
