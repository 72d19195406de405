// Screen readers, keyboard-only use, scaled screens and dark palettes, checked on the real
// windows against the virtual device.
#include <gtest/gtest.h>

#include <QSplitter>
#include <QSplitterHandle>

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "sim/HidRig.h"
#include "ui/Accessibility.h"
#include "ui/ConnectAction.h"
#include "ui/FileIcons.h"
#include "ui/FileOperations.h"
#include "ui/FixedColours.h"
#include "ui/PngImage.h"
#include "ui/SupportActions.h"
#include "ui/ToolActions.h"
#include "ui/ufmConnect.h"
#include "ui/ufmDiag.h"
#include "ui/ufmFile.h"
#include "ui/ufmLCD.h"
#include "ui/ufmLog.h"
#include "ui/ufmMkDir.h"
#include "ui/ufmRename.h"
#include "ui/ufmServer.h"
#include "ui/ufmTime.h"

using namespace vxk;

namespace {

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_unique<FakeHidBackend>(&sim.Device());
    tool = std::make_unique<Tool>(std::vector<std::string>{}, backend.get());
    tool->window->show();
    ASSERT_TRUE(WaitUntil([&] { return list()->topLevelItemCount() > 0; }, 5000));
    server = std::make_unique<TfmServer>(SessionSettings{});
    server->Timer1->stop();
  }
  QTreeWidget* list() { return tool->window->Browser().lvFiles; }
  // Every window of the tool with the names a screen reader must find in it.
  struct Window {
    QWidget* window;
    std::vector<std::pair<const char*, const char*>> names;  // object name, spoken name
  };
  std::vector<Window> Windows() {
    TfmMain& w = *tool->window;
    return {
        {&w,
         {{"reTerm", "Terminal"},
          {"memInfo", "Device information"},
          {"edDir", "Device folder"},
          {"lvFiles", "Device files"},
          {"Button1", "Load Firmware"},
          {"statusLink", "Link"},
          {"statusDevice", "Device"},
          {"lblStatus", "Operation"}}},
        {&w.FileEditor(), {{"reFile", "File content"}, {"btnSave", "Save"}, {"cbHex", "Hex"}}},
        {w.fmLog, {{"reLog", "Device log"}, {"reModem", "Modem traffic"}, {"Button1", "Copy All"}}},
        {w.Tools().fmLCD(), {{"imgLCD", "LCD picture"}, {"btnKey3", "Key 3"}}},
        {w.Tools().fmSyncTime(),
         {{"memVxkTime", "Device time"},
          {"edTZ", "Time zone offset"},
          {"btnSyncTime", "Sync"},
          {"lblDifference", "Difference, device minus PC"}}},
        {w.Support().fmDiag(), {{"edPassword", "ZIP password (optional)"}, {"btnClose", "Close"}}},
        {w.Ops().fmMkDir, {{"edDir", "Directory name"}, {"btnMake", "Make"}}},
        {w.Ops().fmRename, {{"edFromName", "Current name"}, {"edToName", "New name"}}},
        {w.findChild<ConnectAction*>()->fmConnect(),
         {{"cbRecent", "Recent connections"},
          {"lvUsb", "vx.keeper devices on USB"},
          {"rbSerial", "Serial port"},
          {"edPort", "TCP port"},
          {"edKey", "Key"},
          {"btnConnect", "Connect"}}},
        {server.get(), {{"edPort", "Port"}, {"edKey", "Key"}, {"memLog", "Server log"}}},
    };
  }

  SimDevice sim;
  std::unique_ptr<FakeHidBackend> backend;
  std::unique_ptr<Tool> tool;
  std::unique_ptr<TfmServer> server;
};

TEST_F(Desktop, EveryFocusableControlHasASpokenName) {
  for (const Window& w : Windows()) {
    ASSERT_NE(w.window, nullptr);
    const std::string window = w.window->objectName().toStdString();
    for (QWidget* unnamed : UnnamedControls(w.window))
      ADD_FAILURE() << window << ": " << unnamed->metaObject()->className() << " "
                    << unnamed->objectName().toStdString() << " has no accessible name";
    for (const auto& [object, name] : w.names) {
      QWidget* control = nullptr;  // the window's own, not one of a dialog it owns
      for (QWidget* c : w.window->findChildren<QWidget*>(QLatin1String(object)))
        if (!control && c->window() == w.window) control = c;
      ASSERT_NE(control, nullptr) << window << "." << object;
      EXPECT_EQ(SpokenName(control), QLatin1String(name)) << window << "." << object;
    }
  }
  // The file list's columns are read by their captions.
  const QAbstractItemModel* model = list()->model();
  for (int c = 0; c < 4; ++c)
    EXPECT_FALSE(model->headerData(c, Qt::Horizontal).toString().isEmpty()) << c;
}

TEST_F(Desktop, ShiftTabLeavesTheTerminalWhileTabGoesToTheDevice) {
  tool->window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(tool->window.get()));
  QWidget* term = tool->window->Pane().reTerm();
  term->setFocus();
  QTest::keyClick(term, Qt::Key_V);
  QTest::keyClick(term, Qt::Key_Tab);
  QTest::keyClick(term, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), term);
  QTest::keyClick(term, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([&] { return sim.Device().LastCommand() == "v\t\t"; }, 2000))
      << sim.Device().LastCommand();
  QTest::keyClick(term, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_NE(QApplication::focusWidget(), term);
}

TEST_F(Desktop, FileActionsByKeysAlone) {
  tool->window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(tool->window.get()));
  FileOperations& ops = tool->window->Ops();
  tool->window->Browser().ShowDeviceDirectory("/Lua");
  ASSERT_TRUE(tool->Idle());
  const auto found = list()->findItems(QStringLiteral("main.lua"), Qt::MatchExactly, 0);
  ASSERT_FALSE(found.isEmpty());
  list()->setCurrentItem(found.first());
  list()->setFocus();

  // The menu key opens the list's popup; Down, Down, Enter picks Save to PC.
  QTemporaryDir folder;
  ops.ChooseFolder = [&](const QString&, const QString&) { return folder.path(); };
  // The desktop turns the menu key into a keyboard context-menu request to the focus.
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(8, 8));
  QApplication::sendEvent(list(), &menuKey);
  QMenu* popup = tool->window->Browser().puFiles;
  ASSERT_TRUE(WaitUntil([&] { return popup->isVisible(); }, 2000));
  QTest::keyClick(popup, Qt::Key_Down);
  QTest::keyClick(popup, Qt::Key_Down);
  QTest::keyClick(popup, Qt::Key_Return);
  EXPECT_TRUE(WaitUntil([&] { return QFile::exists(folder.filePath("main.lua")); }, 5000));
  ASSERT_TRUE(tool->Idle());
  // The offscreen platform hands the activation to the popup once the event loop runs on,
  // after it has closed; a desktop gives it back to the window.
  tool->window->activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == tool->window.get(); }, 3000));

  // F2 opens the rename dialog with the focus in the new name; typing and Enter renames.
  ops.RunDialog = [](QDialog& dialog) {
    QTimer::singleShot(0, &dialog, [&dialog] {
      QWidget* at = dialog.focusWidget();
      if (!at || at->objectName() != QStringLiteral("edToName")) {
        ADD_FAILURE() << "focus not in the new name";
        return dialog.reject();
      }
      QTest::keyClicks(at, QStringLiteral("init.lua"));
      QTest::keyClick(at, Qt::Key_Return);
    });
    return dialog.exec();
  };
  list()->setFocus();
  QTest::keyClick(list(), Qt::Key_F2);
  ASSERT_TRUE(WaitUntil([&] { return sim.Files().Files().Find("/Lua/init.lua"); }, 5000));
  EXPECT_EQ(sim.Files().Files().Find("/Lua/main.lua"), nullptr);
}

// Every action of the main window is in a menu the keyboard opens (Alt and a letter, the menu
// key) or has a key of its own.
TEST_F(Desktop, EveryActionOfTheMainWindowIsReachableByKeys) {
  QWidget* main = tool->window.get();
  QSet<QAction*> inMenus;
  std::function<void(const QList<QAction*>&)> add = [&](const QList<QAction*>& actions) {
    for (QAction* a : actions) {
      inMenus.insert(a);
      if (a->menu()) add(a->menu()->actions());
    }
  };
  add(tool->window->menuBar()->actions());
  for (QMenu* popup : main->findChildren<QMenu*>())
    if (popup->parentWidget() && popup->parentWidget()->window() == main) add(popup->actions());
  int checked = 0;
  for (QAction* a : main->findChildren<QAction*>()) {
    auto* owner = qobject_cast<QWidget*>(a->parent());
    if (!owner || owner->window() != main || a->isSeparator() || a->menu()) continue;
    ++checked;
    EXPECT_TRUE(inMenus.contains(a) || !a->shortcut().isEmpty())
        << a->objectName().toStdString() << " \"" << a->text().toStdString() << "\"";
  }
  EXPECT_GT(checked, 15);
  EXPECT_TRUE(inMenus.contains(tool->window->Ops().actUpload));
}

// The splitters share space by keys alone: Tab reaches a handle, arrows move it.
TEST_F(Desktop, SplittersMoveWithTheArrowKeys) {
  tool->window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(tool->window.get()));
  for (const char* name : {"Splitter1", "Splitter2"}) {
    auto* splitter = tool->window->findChild<QSplitter*>(QString::fromLatin1(name));
    ASSERT_NE(splitter, nullptr) << name;
    QSplitterHandle* handle = splitter->handle(1);
    EXPECT_EQ(handle->focusPolicy() & Qt::TabFocus, Qt::TabFocus) << name;
    EXPECT_FALSE(SpokenName(handle).isEmpty()) << name;
    const int before = splitter->sizes().first();
    handle->setFocus();
    const Qt::Key grow = splitter->orientation() == Qt::Vertical ? Qt::Key_Down : Qt::Key_Right;
    const Qt::Key shrink = splitter->orientation() == Qt::Vertical ? Qt::Key_Up : Qt::Key_Left;
    QTest::keyClick(handle, shrink);
    QTest::keyClick(handle, shrink);
    EXPECT_LT(splitter->sizes().first(), before) << name;
    QTest::keyClick(handle, grow);
    QTest::keyClick(handle, grow);
    EXPECT_EQ(splitter->sizes().first(), before) << name;
  }
}

TEST(DarkPalette, UncolouredTextStaysReadableAndFixedBackgroundsStay) {
  const QPalette before = QApplication::palette();
  QApplication::setPalette(DarkPalette());
  {
    SimDevice sim;
    FakeHidBackend backend(&sim.Device());
    Tool tool({}, &backend);
    tool.window->show();
    ASSERT_TRUE(tool.PaneShows(QStringLiteral(">"), 5000));
    TfmMain& w = *tool.window;
    std::vector<QWidget*> texts;
    for (QWidget* top :
         {static_cast<QWidget*>(&w), static_cast<QWidget*>(&w.FileEditor()),
          static_cast<QWidget*>(w.fmLog), static_cast<QWidget*>(w.Tools().fmSyncTime())}) {
      for (QWidget* t : top->findChildren<QPlainTextEdit*>()) texts.push_back(t);
      for (QWidget* t : top->findChildren<QLineEdit*>()) texts.push_back(t);
      texts.push_back(top->findChild<QTreeWidget*>());
    }
    for (QWidget* t : texts) {
      if (!t) continue;
      const QPalette p = t->palette();
      EXPECT_GE(ContrastRatio(p.color(QPalette::Text), p.color(QPalette::Base)), 4.5)
          << t->objectName().toStdString();
    }
    // The fixed colours stay: the terminal's device background, the log's pane colour.
    EXPECT_EQ(w.Pane().reTerm()->palette().color(QPalette::Base), QColor(243, 252, 216));
    EXPECT_EQ(w.fmLog->reLog->palette().color(QPalette::Base), QColor(240, 244, 249));
  }
  QApplication::setPalette(before);
}

TEST(Contrast, RatioAndReadableColour) {
  EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 0.01);
  EXPECT_NEAR(ContrastRatio(Qt::white, Qt::white), 1.0, 0.01);
  EXPECT_EQ(ReadableOn(QColor(224, 224, 224)), QColor(Qt::black));
  EXPECT_EQ(ReadableOn(QColor(40, 40, 44)), QColor(Qt::white));
}

// Run at QT_SCALE_FACTOR=2 by its own ctest entry; holds at any scale.
TEST_F(Desktop, ScaledWindowsShowWholeTextsAndDevicePixelPictures) {
  const qreal ratio = tool->window->devicePixelRatioF();
  if (qEnvironmentVariable("QT_SCALE_FACTOR") == QStringLiteral("2")) ASSERT_EQ(ratio, 2.0);
  TfmMain& w = *tool->window;
  for (const Window& win : Windows()) {
    win.window->show();
    QApplication::processEvents();
    for (QWidget* c : win.window->findChildren<QWidget*>()) {
      if (!c->isVisibleTo(win.window)) continue;
      const bool text = qobject_cast<QLabel*>(c) ? !static_cast<QLabel*>(c)->text().isEmpty()
                                                 : qobject_cast<QAbstractButton*>(c) != nullptr;
      if (!text) continue;
      const QSize need = c->minimumSizeHint().isValid() ? c->minimumSizeHint() : c->sizeHint();
      EXPECT_GE(c->width(), need.width())
          << win.window->objectName().toStdString() << "." << c->objectName().toStdString();
      EXPECT_GE(c->height(), need.height())
          << win.window->objectName().toStdString() << "." << c->objectName().toStdString();
    }
    if (win.window != &w) win.window->hide();
  }
  // File icons come at the screen's pixels, not as a 16-pixel bitmap blown up.
  const QPixmap icon = list()->topLevelItem(0)->icon(0).pixmap(list()->iconSize(), ratio);
  EXPECT_EQ(icon.width(), qRound(16 * ratio));
  EXPECT_EQ(FileIconPixmap(kIconFolder, 2).size(), QSize(32, 32));

  // The LCD picture is shown one bitmap pixel per device pixel, and saved at its own size.
  TfmLCD& lcd = *w.Tools().fmLCD();
  lcd.GetSnapshot();
  ASSERT_TRUE(Idle(w.Runner()));
  ASSERT_TRUE(lcd.isVisible());
  EXPECT_TRUE(lcd.findChild<QLabel*>("imgLCD")->accessibleDescription().startsWith("128 by 64"));
  const QPixmap shown = lcd.findChild<QLabel*>("imgLCD")->pixmap();
  EXPECT_EQ(shown.size(), lcd.Picture().size());
  EXPECT_DOUBLE_EQ(shown.devicePixelRatio(), lcd.devicePixelRatioF());
  QTemporaryDir dir;
  lcd.SaveToFile(dir.filePath("lcd.png"));
  EXPECT_EQ(QImage(dir.filePath("lcd.png")).size(), QSize((128 + 12) * 2, (64 + 12) * 2));
  lcd.hide();
}

}  // namespace
