#include "ui/ufmDiag.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "FileAccess/DateTime.h"
#include "ops/DiagArchive.h"
#include "ui/Application.h"
#include "ui/DeviceText.h"
#include "ui/RichEditUtils.h"
#include "ui/ToolSettings.h"
#include "ui/UiRunner.h"

namespace vxk {
namespace {

QCheckBox* MakeBox(QWidget* parent, const char* name, const QString& text, bool checked) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setChecked(checked);
  box->setAccessibleName(text);
  return box;
}

// A pane's text as the archive keeps it: Windows-1252 with CR LF line ends.
std::string PaneText(QPlainTextEdit* pane) {
  return pane ? CrLfLines(ToDevice(pane->toPlainText())) : std::string();
}

std::string PaneRtf(QPlainTextEdit* pane) {
  QPlainTextEdit empty;
  return DocumentRtf(pane ? pane->document() : empty.document());
}

}  // namespace

TfmDiag::TfmDiag(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmDiag"));
  setWindowTitle(QStringLiteral("Diagnostics"));
  resize(462, 384);
  setModal(true);

  auto* label = new QLabel(QStringLiteral("&Password"), this);
  label->setObjectName(QStringLiteral("Label1"));
  edPassword = new QLineEdit(this);
  edPassword->setObjectName(QStringLiteral("edPassword"));
  // The password is the archive's own: empty leaves the ZIP file open to anyone.
  const QString zipPassword = QStringLiteral("ZIP password (optional)");
  edPassword->setAccessibleName(zipPassword);
  edPassword->setPlaceholderText(zipPassword);
  edPassword->setToolTip(
      QStringLiteral("Encrypts the ZIP file's entries (all but ui.info.txt); "
                     "leave it empty for an archive without a password"));
  label->setBuddy(edPassword);

  cbRoot = MakeBox(this, "cbRoot", QStringLiteral("(Root)"), true);
  cbConfig = MakeBox(this, "cbConfig", QStringLiteral("Config"), true);
  cbLua = MakeBox(this, "cbLua", QStringLiteral("Lua"), true);
  cbLogs = MakeBox(this, "cbLogs", QStringLiteral("Logs"), true);
  cbStore = MakeBox(this, "cbStore", QStringLiteral("Store"), false);
  cbSend = MakeBox(this, "cbSend", QStringLiteral("Send"), false);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setAccessibleName(QStringLiteral("Progress"));
  Memo1->setPlainText(QStringLiteral("- get diagnostics -\n"));

  Save = new QPushButton(QStringLiteral("Save"), this);
  Save->setObjectName(QStringLiteral("Save"));
  Save->setAccessibleName(QStringLiteral("Save"));
  Save->setDefault(true);
  Save->setAutoDefault(true);
  connect(Save, &QPushButton::clicked, this, &TfmDiag::SaveClick);
  btnClose = new QPushButton(QStringLiteral("Close"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setAutoDefault(false);
  btnClose->setAccessibleName(QStringLiteral("Close"));
  connect(btnClose, &QPushButton::clicked, this, &TfmDiag::reject);

  auto* boxes = new QVBoxLayout;
  for (QCheckBox* box : {cbRoot, cbConfig, cbLua, cbLogs, cbStore, cbSend}) boxes->addWidget(box);
  boxes->addStretch(1);
  boxes->addWidget(Save);
  boxes->addWidget(btnClose);
  auto* grid = new QGridLayout(this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(edPassword, 0, 1, 1, 2);
  grid->addLayout(boxes, 1, 0);
  grid->addWidget(Memo1, 1, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);

  QWidget* order[] = {edPassword, cbRoot, cbConfig, cbLua,    cbLogs,
                      cbStore,    cbSend, Save,     btnClose, Memo1};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  FDiagDir = ToolSettings::DefaultFolder();
  ChooseFile = [this](const QString& folder, const QString& name) {
    return AskForFile(folder, name);
  };
}

void TfmDiag::SetRunner(UiRunner* runner) {
  runner_ = runner;
}

void TfmDiag::reject() {
  // While the archive is written, Esc and the close box stop it; the dialog stays.
  if (saving_) {
    if (runner_) runner_->Cancel();
    return;
  }
  QDialog::reject();
}

void TfmDiag::SetPanes(QPlainTextEdit* info, QPlainTextEdit* term, QPlainTextEdit* log,
                       QPlainTextEdit* modem) {
  info_ = info;
  term_ = term;
  log_ = log;
  modem_ = modem;
}

void TfmDiag::Progress(const QString& text) {
  Memo1->appendPlainText(text);
  Memo1->repaint();  // seen at once, while the save keeps the thread
}

QString TfmDiag::AskForFile(const QString& folder, const QString& name) {
  QFileDialog dialog(this, QStringLiteral("Save ZIP file"), folder);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("zip"));
  dialog.selectFile(name);
  if (dialog.exec() != QDialog::Accepted) return QString();
  return dialog.selectedFiles().value(0);
}

void TfmDiag::SaveClick() {
  if (saving_) return;
  Memo1->clear();
  if (!runner_) return;
  // The device as the main window last heard it: reading it again is device work.
  const DeviceInfo& device = runner_->Device();
  const QString name = FromDevice(
      DiagArchiveName(device.serial, TimeToLocalDateTime(QDateTime::currentSecsSinceEpoch())));
  const QString folder = FDiagDir;
  const QString path = ChooseFile ? ChooseFile(folder, name) : QString();
  if (path.isEmpty()) return;

  FDiagDir = folder;  // where the dialog started, not where the file went
  DiagRequest request;
  request.path = QFile::encodeName(path).toStdString();
  request.password = ToDevice(edPassword->text());
  request.info = info_ ? ToDevice(info_->toPlainText()) : std::string();
  request.capabilities = device.capabilities;
  const std::pair<QCheckBox*, const char*> folders[] = {{cbConfig, "/Config"}, {cbLogs, "/Logs"},
                                                        {cbLua, "/Lua"},       {cbStore, "/Store"},
                                                        {cbSend, "/Send"},     {cbRoot, "/"}};
  for (const auto& [box, path] : folders)
    if (box->isChecked()) request.folders.push_back(path);
  request.panes = {{"ui.terminal.txt", PaneText(term_)}, {"ui.terminal.rtf", PaneRtf(term_)},
                   {"ui.usb.txt", PaneText(log_)},       {"ui.usb.rtf", PaneRtf(log_)},
                   {"ui.modem.txt", PaneText(modem_)},   {"ui.modem.rtf", PaneRtf(modem_)}};
  saving_ = true;
  Save->setEnabled(false);
  btnClose->setEnabled(false);  // Esc stops the save; Close waits for it
  UiRunner::Op op;
  op.what = windowTitle();
  op.step = [this](const std::string& line) { Progress(FromDevice(line)); };
  runner_->Call<DiagResult>(
      this, std::move(op),
      [request](Session& s, const OpContext& context) {
        return DiagArchive(s.Terminal(), s.Files()).Save(request, context);
      },
      [this](const OpResult& result, DiagResult&) {
        saving_ = false;
        Save->setEnabled(true);
        btnClose->setEnabled(true);
        // The error is shown with the normal cursor; the dialog stays open for another try.
        if (result.reason == Reason::Cancelled) {
          Progress(FromDevice(DescribeResult(result)));
        } else if (!result) {
          Application::ShowError(result.reason == Reason::LocalError
                                     ? QString::fromLocal8Bit(result.detail.c_str())
                                     : FromDevice(DescribeResult(result)));
        } else {
          accept();
        }
      });
}

}  // namespace vxk
