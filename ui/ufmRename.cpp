#include "ui/ufmRename.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/Accessibility.h"
#include "ui/DialogPlacement.h"
#include "ui/NameInput.h"

namespace vxk {

TfmRename::TfmRename(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmRename"));
  setWindowTitle(QStringLiteral("Rename"));
  setFixedSize(400, 151);
  auto* from = new QLabel(QStringLiteral("From:"), this);
  from->setObjectName(QStringLiteral("Label1"));
  auto* to = new QLabel(QStringLiteral("To:"), this);
  to->setObjectName(QStringLiteral("Label2"));
  edFromName = new QLineEdit(this);
  edFromName->setObjectName(QStringLiteral("edFromName"));
  edFromName->setReadOnly(true);
  edToName = new QLineEdit(this);
  edToName->setObjectName(QStringLiteral("edToName"));
  auto* keys = new NameKeyFilter(this, true);  // edToNameKeyPress, for both boxes
  for (QLineEdit* edit : {edFromName, edToName}) {
    edit->setFont(NameFont());
    edit->installEventFilter(keys);
  }
  from->setBuddy(edFromName);
  to->setBuddy(edToName);
  Describe(edFromName, QStringLiteral("Current name"));
  Describe(edToName, QStringLiteral("New name"));
  btnRename = new QPushButton(QStringLiteral("Rename"), this);
  btnRename->setObjectName(QStringLiteral("btnRename"));
  btnRename->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  connect(btnRename, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout(this);
  grid->addWidget(from, 0, 0);
  grid->addWidget(edFromName, 0, 1);
  grid->addWidget(to, 1, 0);
  grid->addWidget(edToName, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnRename);
  buttons->addWidget(btnCancel);
  grid->addLayout(buttons, 2, 0, 1, 2);
}

void TfmRename::SetName(const QString& name) {
  edFromName->setText(name);
  edToName->setText(name);
}

QString TfmRename::NewName() const {
  return edToName->text();
}

void TfmRename::accept() {
  if (!IsAcceptableName(edToName->text())) return;
  QDialog::accept();
}

void TfmRename::showEvent(QShowEvent* event) {
  CentreOnParent(this);
  edToName->setFocus();
  edToName->selectAll();
  QDialog::showEvent(event);
}

}  // namespace vxk
