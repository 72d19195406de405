#include "ui/ToolActions.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "ui/UiRunner.h"
#include "ui/ufmLCD.h"
#include "ui/ufmTime.h"

namespace vxk {
namespace {

// The viewer's first place: this far inside the main window's top right corner.
constexpr int kPlacementInset = 16;

}  // namespace

ToolActions::ToolActions(QWidget* main, QWidget* focusBack)
    : QObject(main), main_(main), focusBack_(focusBack) {
  lcd_ = new TfmLCD(main);
  time_ = new TfmSyncTime(main);

  actLCD = new QAction(QStringLiteral("&Display"), this);
  actLCD->setObjectName(QStringLiteral("actLCD"));
  actLCD->setVisible(false);
  actLCD->setEnabled(false);
  connect(actLCD, &QAction::triggered, this, &ToolActions::actLCDExecute);

  actSyncTime = new QAction(QStringLiteral("Sync Time"), this);
  actSyncTime->setObjectName(QStringLiteral("actSyncTime"));
  connect(actSyncTime, &QAction::triggered, this, &ToolActions::actSyncTimeExecute);
}

void ToolActions::AddMenus(QMenuBar* bar) {
  bar->addAction(actLCD);
  QMenu* tools = bar->addMenu(QStringLiteral("T&ools"));
  tools->setObjectName(QStringLiteral("mnuTools"));
  tools->addAction(actSyncTime);
}

void ToolActions::SetRunner(UiRunner* runner) {
  runner_ = runner;
  lcd_->SetRunner(runner);
  time_->SetRunner(runner);
}

void ToolActions::ShowCapabilities(const std::string& capabilities) {
  const bool lcd = capabilities.find(".lcd.") != std::string::npos;
  actLCD->setEnabled(lcd);
  if (lcd) actLCD->setVisible(true);  // never hidden again
}

void ToolActions::LinkClosed() {
  actLCD->setEnabled(false);
}

void ToolActions::actLCDExecute() {
  if (!runner_) return;
  // Nothing happens while the device asks for its password.
  lcd_->GetSnapshot(TfmLCD::kPasswordFirst, [this](bool asked) {
    if (!asked) return;
    if (!placed_) {
      placed_ = true;
      const QRect outer = main_->frameGeometry();
      lcd_->move(outer.x() + outer.width() - lcd_->frameGeometry().width() - kPlacementInset,
                 outer.y() + kPlacementInset);
    }
    if (focusBack_) focusBack_->setFocus();
  });
}

void ToolActions::actSyncTimeExecute() {
  time_->Execute();
}

}  // namespace vxk
