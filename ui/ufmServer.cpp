#include "ui/ufmServer.h"

#include "ui/Accessibility.h"
#include "ui/ToolSettings.h"

#include <QFont>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

namespace vxk {
namespace {

QFont ConsoleFont() {
  QFont font(QStringLiteral("Lucida Console"));
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  if (!QFontInfo(font).fixedPitch()) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  return font;
}

}  // namespace

TfmServer::TfmServer(const SessionSettings& settings, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("fmServer"));
  setWindowTitle(QString::fromLatin1(kCaption));
  QFont font(QStringLiteral("Tahoma"));
  font.setPointSize(8);
  setFont(font);

  Label1 = new QLabel(QStringLiteral("&Port"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  edPort = new QLineEdit(QStringLiteral("port"), this);
  edPort->setObjectName(QStringLiteral("edPort"));
  Label1->setBuddy(edPort);

  Label2 = new QLabel(QStringLiteral("&Key"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  edKey = new QLineEdit(this);
  edKey->setObjectName(QStringLiteral("edKey"));
  edKey->setEchoMode(QLineEdit::Password);
  edKey->setFont(ConsoleFont());
  Label2->setBuddy(edKey);

  lblLimit = new QLabel(this);
  lblLimit->setObjectName(QStringLiteral("lblLimit"));

  memLog = new QPlainTextEdit(this);
  memLog->setObjectName(QStringLiteral("memLog"));
  memLog->setReadOnly(true);
  memLog->setFont(ConsoleFont());
  Describe(edPort, QStringLiteral("Port"), QStringLiteral("TCP port the server listens on"));
  Describe(edKey, QStringLiteral("Key"), QStringLiteral("Secret key devices authenticate with"));
  Describe(memLog, QStringLiteral("Server log"));
  Describe(lblLimit, QStringLiteral("Device limit"),
           QStringLiteral("Most devices served at once; more are turned away"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(edPort, 0, 1);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(edKey, 1, 1);
  grid->addWidget(lblLimit, 2, 0, 1, 2);
  grid->addWidget(memLog, 3, 0, 1, 2);
  grid->setRowStretch(3, 1);
  grid->setColumnStretch(1, 1);
  resize(320, 315);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kTimerMs);
  connect(Timer1, &QTimer::timeout, this, &TfmServer::Timer1Timer);

  FormCreate(settings);
}

TfmServer::~TfmServer() = default;

void TfmServer::FormCreate(const SessionSettings& settings) {
  daemon_ = std::make_unique<ServerDaemon>(
      settings.roundTripTime.value_or(ServerDaemon::kDefaultRoundTripMs),
      settings.extraTime.value_or(ServerDaemon::kDefaultExtraMs));
  daemon_->SetChildLimit(ToolSettings::ServerChildLimit(ServerDaemon::kDefaultChildLimit));
  lblLimit->setText(QStringLiteral("At most %1 devices at a time").arg(daemon_->ChildLimit()));
  Timer1->start();
}

void TfmServer::SetPort(const QString& port) {
  edPort->setText(port);
}

void TfmServer::SetKey(const std::string& key) {
  key_ = key;
  keyShown_ = QString::fromLocal8Bit(key.data(), static_cast<qsizetype>(key.size()));
  edKey->setText(keyShown_);
  edKey->setVisible(!key.empty());
  Label2->setVisible(!key.empty());
}

void TfmServer::StartListening() {
  daemon_->StartListening(edPort->text().toStdString(), [this](const std::string& line) {
    AddLogLine(QString::fromStdString(line));
  });
  edPort->setEnabled(false);
}

void TfmServer::AddLogLine(const QString& text) {
  memLog->setUpdatesEnabled(false);
  memLog->appendPlainText(text);
  memLog->setUpdatesEnabled(true);
}

void TfmServer::Timer1Timer() {
  // The timer stops while its handler runs, so a slow start never queues ticks.
  const bool running = Timer1->isActive();
  Timer1->stop();
  // Bytes that are no valid text in the box still reach the children unchanged.
  daemon_->SetKey(edKey->text() == keyShown_ ? key_ : edKey->text().toLocal8Bit().toStdString());
  daemon_->AcceptWaiting(
      kAcceptWaitMs, [this](const std::string& line) { AddLogLine(QString::fromStdString(line)); });
  // Devices left waiting by a tick cut short are taken as soon as the window's own events have
  // run, not half a second later.
  if (running) Timer1->start(daemon_->CutShort() ? 0 : kTimerMs);
}

}  // namespace vxk
