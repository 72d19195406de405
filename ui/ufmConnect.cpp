#include "ui/ufmConnect.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "comms/Hid.h"
#include "comms/vxComms.h"
#include "ui/Accessibility.h"
#include "ui/DeviceText.h"
#include "ui/SecretStore.h"

namespace vxk {
namespace {

// Device text on one line of a list: control bytes never reach the screen.
QString OneLine(const std::string& bytes) {
  std::string text = bytes;
  for (char& c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = '?';
  }
  return FromDevice(text);
}

QString Local(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

template <class T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

TfmConnect::TfmConnect(HidBackend& hid, SecretStore& secrets, QWidget* parent)
    : QDialog(parent), hid_(hid), secrets_(secrets) {
  setObjectName(QStringLiteral("fmConnect"));
  setWindowTitle(QStringLiteral("Connect"));
  ListSerialPorts = [] { return SerialPorts(); };
  CheckSerialAccess = SerialAccessProblem;
  BuildLayout();
}

void TfmConnect::BuildLayout() {
  cbRecent = Named(new QComboBox(this), "cbRecent");
  Describe(cbRecent, QStringLiteral("Recent connections"));
  rbUsb = Named(new QRadioButton(QStringLiteral("&USB"), this), "rbUsb");
  rbUsb->setToolTip(QStringLiteral("The new window opens the first vx.keeper found on USB."));
  lvUsb = Named(new QListWidget(this), "lvUsb");
  lvUsb->setSelectionMode(QAbstractItemView::NoSelection);
  lvUsb->setFixedHeight(lvUsb->fontMetrics().lineSpacing() * 4 + 8);
  Describe(lvUsb, QStringLiteral("vx.keeper devices on USB"),
           QStringLiteral("The new window opens the first of them"));
  btnRefresh = Named(new QPushButton(QStringLiteral("Re&fresh"), this), "btnRefresh");
  rbSerial = Named(new QRadioButton(QStringLiteral("&Serial port"), this), "rbSerial");
  cbPort = Named(new QComboBox(this), "cbPort");
  cbPort->setEditable(true);
  Describe(cbPort, QStringLiteral("Serial port"));
  Describe(cbPort->lineEdit(), QStringLiteral("Serial port"),
           QStringLiteral("A device path such as /dev/ttyUSB0"));
  lblSerial = Named(new QLabel(this), "lblSerial");
  lblSerial->setWordWrap(true);
  rbTcp = Named(new QRadioButton(QStringLiteral("&TCP listen"), this), "rbTcp");
  edPort = Named(new QSpinBox(this), "edPort");
  edPort->setRange(1, 65535);
  edPort->setValue(5000);
  Describe(edPort, QStringLiteral("TCP port"));
  edKey = Named(new QLineEdit(this), "edKey");
  edKey->setEchoMode(QLineEdit::Password);
  Describe(edKey, QStringLiteral("Key"), QStringLiteral("The secret key the device proves"));
  edRtt = Named(new QSpinBox(this), "edRtt");
  edRtt->setRange(0, 600000);
  edRtt->setSingleStep(1000);
  edRtt->setSuffix(QStringLiteral(" ms"));
  edRtt->setSpecialValueText(QStringLiteral("default"));
  Describe(edRtt, QStringLiteral("Round-trip time"));
  lblKeyring = Named(new QLabel(this), "lblKeyring");
  lblKeyring->setWordWrap(true);
  btnConnect = Named(new QPushButton(QStringLiteral("&Connect"), this), "btnConnect");
  btnConnect->setDefault(true);
  btnCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");

  auto* recent = new QLabel(QStringLiteral("&Recent:"), this);
  recent->setBuddy(cbRecent);
  auto* port = new QLabel(QStringLiteral("P&ort:"), this);
  port->setBuddy(edPort);
  auto* key = new QLabel(QStringLiteral("&Key:"), this);
  key->setBuddy(edKey);
  auto* rtt = new QLabel(QStringLiteral("Round tri&p:"), this);
  rtt->setBuddy(edRtt);

  auto* grid = new QGridLayout(this);
  grid->addWidget(recent, 0, 0);
  grid->addWidget(cbRecent, 0, 1);
  grid->addWidget(rbUsb, 1, 0, Qt::AlignTop);
  auto* usb = new QHBoxLayout;
  usb->addWidget(lvUsb, 1);
  usb->addWidget(btnRefresh, 0, Qt::AlignTop);
  grid->addLayout(usb, 1, 1);
  grid->addWidget(rbSerial, 2, 0);
  grid->addWidget(cbPort, 2, 1);
  grid->addWidget(lblSerial, 3, 1);
  grid->addWidget(rbTcp, 4, 0);
  auto* tcp = new QHBoxLayout;
  for (QWidget* w :
       {static_cast<QWidget*>(port), static_cast<QWidget*>(edPort), static_cast<QWidget*>(key)})
    tcp->addWidget(w);
  tcp->addWidget(edKey, 1);
  tcp->addWidget(rtt);
  tcp->addWidget(edRtt);
  grid->addLayout(tcp, 4, 1);
  grid->addWidget(lblKeyring, 5, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnConnect);
  buttons->addWidget(btnCancel);
  grid->addLayout(buttons, 6, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  setMinimumWidth(560);

  connect(cbRecent, &QComboBox::activated, this, &TfmConnect::cbRecentActivated);
  connect(btnRefresh, &QPushButton::clicked, this, &TfmConnect::FillUsb);
  for (QRadioButton* r : {rbUsb, rbSerial, rbTcp})
    connect(r, &QRadioButton::toggled, this, [this](bool on) {
      if (on) LinkChosen();
    });
  connect(cbPort, &QComboBox::currentTextChanged, this, &TfmConnect::CheckPort);
  connect(edPort, &QSpinBox::valueChanged, this, [this] {
    if (!keyTyped_) edKey->clear();
    LookUpKey();
  });
  connect(edKey, &QLineEdit::textEdited, this,
          [this](const QString& text) { keyTyped_ = !text.isEmpty(); });
  connect(btnConnect, &QPushButton::clicked, this, &TfmConnect::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfmConnect::reject);
}

void TfmConnect::Prepare(const std::vector<ConnectTarget>& recent) {
  recent_ = recent;
  cbRecent->clear();
  for (const ConnectTarget& t : recent_) cbRecent->addItem(Local(TargetText(t)));
  cbRecent->setEnabled(!recent_.empty());
  FillUsb();
  cbPort->clear();
  for (const std::string& p : ListSerialPorts()) cbPort->addItem(Local(p));
  keyTyped_ = false;
  edKey->clear();
  Show(recent_.empty() ? ConnectTarget{} : recent_.front());
}

void TfmConnect::Show(const ConnectTarget& target) {
  using Link = ConnectTarget::Link;
  if (target.link == Link::Serial) cbPort->setCurrentText(Local(target.port));
  if (target.link == Link::Listen) {
    QSignalBlocker quiet(edPort);  // one keyring look-up, below
    edPort->setValue(QString::fromStdString(target.port).toInt());
    edRtt->setValue(target.roundTripMs);
  }
  QRadioButton* choice = target.link == Link::Usb      ? rbUsb
                         : target.link == Link::Serial ? rbSerial
                                                       : rbTcp;
  if (choice->isChecked()) {
    LinkChosen();
  } else {
    choice->setChecked(true);  // runs LinkChosen
  }
}

void TfmConnect::cbRecentActivated(int index) {
  if (index < 0 || static_cast<size_t>(index) >= recent_.size()) return;
  if (!keyTyped_) edKey->clear();
  Show(recent_[static_cast<size_t>(index)]);
}

void TfmConnect::FillUsb() {
  lvUsb->clear();
  const auto found =
      PresentHidDevices(hid_, TvxComms::kVendorId, TvxComms::kProductId, TvxComms::kUsagePage);
  for (const HidDeviceInfo& d : found) {
    const QString serial = d.serialNumber.empty() ? QStringLiteral("?") : OneLine(d.serialNumber);
    lvUsb->addItem(QStringLiteral("#%1  %2").arg(serial, OneLine(d.product)));
  }
  if (found.empty()) lvUsb->addItem(QStringLiteral("No vx.keeper found on USB"));
}

void TfmConnect::LinkChosen() {
  const bool usb = rbUsb->isChecked();
  const bool serial = rbSerial->isChecked();
  const bool tcp = rbTcp->isChecked();
  lvUsb->setEnabled(usb);
  btnRefresh->setEnabled(usb);
  cbPort->setEnabled(serial);
  lblSerial->setEnabled(serial);
  for (QWidget* w :
       {static_cast<QWidget*>(edPort), static_cast<QWidget*>(edKey), static_cast<QWidget*>(edRtt)})
    w->setEnabled(tcp);
  lblKeyring->setEnabled(tcp);
  if (serial) CheckPort();
  if (tcp) LookUpKey();
}

void TfmConnect::CheckPort() {
  const ConnectTarget target = Target();
  std::string problem = TargetProblem(target);
  if (problem.empty() && target.port[0] == '/') problem = CheckSerialAccess(target.port);
  lblSerial->setText(Local(problem));
}

void TfmConnect::LookUpKey() {
  if (!rbTcp->isChecked()) return;
  const int lookup = ++lookups_;
  lblKeyring->setText(QStringLiteral("Looking for the key in the desktop keyring..."));
  secrets_.Read(
      QString::fromStdString(KeyringEntry(Target())), this,
      [this, lookup](SecretStore::Result result, const QString& key) {
        if (lookup != lookups_) return;
        switch (result) {
          case SecretStore::Result::Ok:
            if (!keyTyped_) edKey->setText(key);
            lblKeyring->setText(QStringLiteral("The key comes from the desktop keyring."));
            break;
          case SecretStore::Result::NotFound:
            lblKeyring->setText(
                QStringLiteral("The key will be kept in the desktop keyring, never in the settings "
                               "file."));
            break;
          case SecretStore::Result::NoKeyring:
            lblKeyring->setText(
                QStringLiteral("No desktop keyring is running: the key is used for this connection "
                               "only and is not kept."));
            break;
        }
      });
}

ConnectTarget TfmConnect::Target() const {
  ConnectTarget t;
  if (rbSerial->isChecked()) {
    t.link = ConnectTarget::Link::Serial;
    t.port = cbPort->currentText().trimmed().toLocal8Bit().toStdString();
  } else if (rbTcp->isChecked()) {
    t.link = ConnectTarget::Link::Listen;
    t.port = std::to_string(edPort->value());
    t.roundTripMs = edRtt->value();
  }
  return t;
}

QString TfmConnect::Key() const {
  return rbTcp->isChecked() ? edKey->text() : QString();
}

void TfmConnect::accept() {
  const std::string problem = TargetProblem(Target());
  if (!problem.empty()) {
    (rbSerial->isChecked() ? lblSerial : lblKeyring)->setText(Local(problem));
    return;
  }
  QDialog::accept();
}

}  // namespace vxk
