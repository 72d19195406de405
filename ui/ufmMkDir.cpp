#include "ui/ufmMkDir.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/Accessibility.h"
#include "ui/DialogPlacement.h"
#include "ui/NameInput.h"

namespace vxk {

TfmMkDir::TfmMkDir(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmMkDir"));
  setFixedSize(400, 135);
  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  edDir = new QLineEdit(this);
  edDir->setObjectName(QStringLiteral("edDir"));
  edDir->setFont(NameFont());
  edDir->installEventFilter(new NameKeyFilter(this, false));
  Label1->setBuddy(edDir);
  btnMake = new QPushButton(QStringLiteral("Make"), this);
  btnMake->setObjectName(QStringLiteral("btnMake"));
  btnMake->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  connect(btnMake, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(edDir, 0, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnMake);
  buttons->addWidget(btnCancel);
  grid->addLayout(buttons, 1, 0, 1, 2);
  SetMode(Mode::Directory);
}

void TfmMkDir::SetMode(Mode mode) {
  const bool dir = mode == Mode::Directory;
  setWindowTitle(dir ? QStringLiteral("Make Directory") : QStringLiteral("New File"));
  Label1->setText(dir ? QStringLiteral("Dir:") : QStringLiteral("File:"));
  Describe(edDir, dir ? QStringLiteral("Directory name") : QStringLiteral("File name"));
}

QString TfmMkDir::Name() const {
  return edDir->text();
}

void TfmMkDir::accept() {
  if (!IsAcceptableName(edDir->text())) return;
  QDialog::accept();
}

void TfmMkDir::showEvent(QShowEvent* event) {
  edDir->clear();
  CentreOnParent(this);
  edDir->setFocus();
  QDialog::showEvent(event);
}

}  // namespace vxk
