// The main window's stored settings: folders, the path box and the placement of the main and
// log windows, read at the first show and written at close.
#include <QLineEdit>

#include "ui/FileOperations.h"
#include "ui/SupportActions.h"
#include "ui/uCorrectFormPlacement.h"
#include "ui/ufmDiag.h"
#include "ui/ufmLog.h"
#include "ui/ufmMain.h"

namespace vxk {

void TfmMain::LoadSettings() {
  settings_ = ToolSettings::Load();
  firmware_->OpenDir = settings_.openDir;
  ops_->SaveToDir = settings_.saveToDir;
  browser_->edDir->setText(settings_.dir);
  support_->fmDiag()->FDiagDir = settings_.diagDir;
  const QSize screen = PrimaryScreenSize();
  SetWindowPlacement(this, ApplyPlacement(WindowPlacement(this), settings_.main, screen));
  bool logStored = false;
  SetWindowPlacement(fmLog,
                     ApplyPlacement(WindowPlacement(fmLog), settings_.log, screen, &logStored));
  if (logStored) fmLog->LogPositionStored = true;
}

namespace {

// Where a window is now; where the window system keeps positions to itself, the position
// stays as stored.
Placement Current(const QWidget* window, const Placement& stored) {
  const QRect r = WindowPlacement(window);
  Placement p{r.x(), r.y(), r.width(), r.height()};
  if (!PositionsKnown()) {
    p.x = stored.x;
    p.y = stored.y;
  }
  return p;
}

}  // namespace

void TfmMain::SaveSettings() {
  StoredSettings s = settings_;
  s.openDir = firmware_->OpenDir;
  s.saveToDir = ops_->SaveToDir;
  s.dir = browser_->edDir->text();
  s.diagDir = support_->fmDiag()->FDiagDir;
  s.main = Current(this, settings_.main);
  // A log window never shown has no placement of its own: it keeps what was stored.
  if (!fmLog->FNotShownYet) s.log = Current(fmLog, settings_.log);
  ToolSettings::Save(s);
}

}  // namespace vxk
