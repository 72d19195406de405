#include "ui/SupportActions.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "ui/ufmAbout.h"
#include "ui/ufmDiag.h"

namespace vxk {

SupportActions::SupportActions(QWidget* main) : QObject(main) {
  diag_ = new TfmDiag(main);
  about_ = new TfmAbout(main);

  actDiag = new QAction(QStringLiteral("Get Diagnostics"), this);
  actDiag->setObjectName(QStringLiteral("actDiag"));
  connect(actDiag, &QAction::triggered, this, &SupportActions::actDiagExecute);
  actAbout = new QAction(QStringLiteral("About"), this);
  actAbout->setObjectName(QStringLiteral("actAbout"));
  connect(actAbout, &QAction::triggered, this, &SupportActions::actAboutExecute);
}

void SupportActions::AddMenus(QMenu* tools, QMenuBar* bar) {
  if (tools) tools->addAction(actDiag);
  bar->addAction(actAbout);
}

void SupportActions::actDiagExecute() {
  diag_->exec();  // whatever the link's state: the archive says what it could get
}

void SupportActions::actAboutExecute() {
  about_->exec();
}

}  // namespace vxk
