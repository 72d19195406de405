#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "ui/RichEditUtils.h"

using namespace vxk;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);

// The main window on a virtual USB device, with the open sequence done.
class Pane : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_unique<FakeHidBackend>(&sim.Device());
    tool = std::make_unique<Tool>(std::vector<std::string>{}, backend.get());
    tool->window->show();
    ASSERT_TRUE(
        WaitUntil([&] { return tool->window->Browser().lvFiles->topLevelItemCount() > 0; }, 5000));
    pane().actTermClear->trigger();
  }
  TerminalPane& pane() { return tool->window->Pane(); }
  QPlainTextEdit* edit() { return pane().reTerm(); }
  // Device output that arrives without a command; the poll shows it.
  void DeviceSends(const std::string& bytes) {
    backend->WithDevice([&](VirtualDevice& d) { d.Print(bytes); });
  }
  void Type(const QString& keys) { QTest::keyClicks(edit(), keys); }

  SimDevice sim;
  std::unique_ptr<FakeHidBackend> backend;
  std::unique_ptr<Tool> tool;
};

TEST_F(Pane, PromptIsRedAndPlainTextBlack) {
  pane().ShowIncoming(
      "hello\r\n\xABvxk>\xBB"
      "after");
  EXPECT_EQ(edit()->toPlainText(), QStringLiteral("hello\nvxk>after"));
  EXPECT_EQ(ColourOf(edit(), "hello"), kBlack);
  EXPECT_EQ(ColourOf(edit(), "vxk>"), kRed);
  EXPECT_EQ(ColourOf(edit(), "after"), kBlack);
}

TEST_F(Pane, LineEndsBecomeOneBreakEachEvenWhenSplit) {
  pane().ShowStatus(QStringLiteral("status"));
  pane().ShowIncoming("\r\n\xABp\xBB");
  pane().ShowIncoming("a\r");
  pane().ShowIncoming("\nb\nc\rd");
  EXPECT_EQ(edit()->toPlainText(), QStringLiteral("status\n\npa\nb\nc\nd"));
  bool bold = false;
  EXPECT_EQ(ColourOf(edit(), "status", &bold), QColor(128, 0, 128));
  EXPECT_TRUE(bold);
}

TEST_F(Pane, PasswordPromptMasksTypedKeysAndAcceptanceRelists) {
  sim.Device().SetPassword("pw");
  pane().ShowIncoming(
      "login\xAB"
      "PASSWORD:\xBB");
  EXPECT_TRUE(pane().PasswordMode());
  EXPECT_EQ(ColourOf(edit(), "login"), kBlack);
  EXPECT_EQ(ColourOf(edit(), "PASSWORD:"), kRed);
  Type(QStringLiteral("pw"));
  EXPECT_TRUE(WaitUntil(
      [&] { return edit()->toPlainText().endsWith(QStringLiteral("PASSWORD:**")); }, 3000));
  bool bold = false;
  EXPECT_EQ(ColourOf(edit(), "**", &bold), kBlue);
  EXPECT_TRUE(bold);
  tool->window->Browser().lvFiles->clear();
  QTest::keyClick(edit(), Qt::Key_Return);
  // The device accepts; its next prompt turns the mode off and the folder is listed again.
  ASSERT_TRUE(WaitUntil([&] { return !pane().PasswordMode(); }, 3000));
  EXPECT_TRUE(
      WaitUntil([&] { return tool->window->Browser().lvFiles->topLevelItemCount() > 0; }, 3000));
  EXPECT_FALSE(sim.Device().Locked());
  EXPECT_TRUE(edit()->toPlainText().contains(QStringLiteral("**\nPassword accepted")));
}

TEST_F(Pane, PromptSplitAcrossPollsKeepsColourAndMasking) {
  pane().ShowIncoming("text\xABPASS");
  EXPECT_FALSE(pane().PasswordMode());
  pane().ShowIncoming("WORD:\xBB");
  EXPECT_TRUE(pane().PasswordMode());
  EXPECT_EQ(ColourOf(edit(), "WORD:"), kRed);
  Type(QStringLiteral("x"));
  EXPECT_TRUE(WaitUntil([&] { return edit()->toPlainText().endsWith(QStringLiteral("*")); }, 3000));
}

TEST_F(Pane, PromptEndWithoutStartIsStillTested) {
  pane().ShowIncoming("PASSWORD?\xBB");
  EXPECT_TRUE(pane().PasswordMode());
  EXPECT_EQ(ColourOf(edit(), "PASSWORD?"), kBlack);
  pane().ShowIncoming("\xABvxk>\xBB");
  EXPECT_FALSE(pane().PasswordMode());
}

TEST_F(Pane, TypedKeysGoToTheDeviceAndEchoInBlue) {
  Type(QStringLiteral("echo hi"));
  QTest::keyClick(edit(), Qt::Key_Return);
  ASSERT_TRUE(tool->PaneShows(QStringLiteral("echo hi\nhi\n"), 3000))
      << tool->PaneText().toStdString();
  EXPECT_EQ(sim.Device().LastCommand(), "echo hi");
  EXPECT_EQ(ColourOf(edit(), "echo hi"), kBlue);
}

TEST_F(Pane, BackspaceReachesDeviceAndPane) {
  Type(QStringLiteral("echo abX"));
  QTest::keyClick(edit(), Qt::Key_Backspace);
  Type(QStringLiteral("c"));
  QTest::keyClick(edit(), Qt::Key_Return);
  ASSERT_TRUE(tool->PaneShows(QStringLiteral("\nabc\n"), 3000)) << tool->PaneText().toStdString();
  EXPECT_TRUE(edit()->toPlainText().contains(QStringLiteral("echo abc")));
}

TEST_F(Pane, KeyThatCannotBeSentIsDropped) {
  tool->window->Timer1->stop();  // no poll may open the link again meanwhile
  tool->window->Timer2->stop();
  tool->Worker([](Session& s) {
    s.Link().Close();
    return true;
  });
  const QString before = edit()->toPlainText();
  Type(QStringLiteral("abc"));
  QTest::keyClick(edit(), Qt::Key_Backspace);
  tool->Worker([](Session&) { return true; });  // after the keys
  Pump(50);
  EXPECT_EQ(edit()->toPlainText(), before);
}

TEST_F(Pane, PasteSendsAndEchoesItalic) {
  QApplication::clipboard()->setText(QStringLiteral("echo pasted\r"));
  pane().actPaste->trigger();
  ASSERT_TRUE(tool->PaneShows(QStringLiteral("pasted\n"), 3000));
  QTextCursor cursor(edit()->document());
  EXPECT_EQ(ColourOf(edit(), "echo pasted"), kBlue);
  EXPECT_EQ(sim.Device().LastCommand(), "echo pasted");
}

TEST_F(Pane, PasteOfTooMuchTextIsRefused) {
  QApplication::clipboard()->setText(QString(8193, QChar('x')));
  const int commands = sim.Device().CommandCount();
  MessageBoxCatcher box;
  pane().actPaste->trigger();
  EXPECT_EQ(box.title, QStringLiteral("Error"));
  EXPECT_EQ(box.text, QStringLiteral("Too much text!"));
  EXPECT_FALSE(edit()->toPlainText().contains(QStringLiteral("xxx")));
  EXPECT_EQ(sim.Device().CommandCount(), commands);
}

TEST_F(Pane, PastedLinesRunOneByOne) {
  const int commands = sim.Device().CommandCount();
  QApplication::clipboard()->setText(QStringLiteral("echo one\necho two\r\n"));
  pane().actPaste->trigger();
  ASSERT_TRUE(WaitUntil([&] { return sim.Device().CommandCount() >= commands + 2; }, 3000))
      << sim.Device().LastCommand();
  EXPECT_EQ(sim.Device().CommandCount(), commands + 2);
  EXPECT_EQ(sim.Device().LastCommand(), "echo two");
  EXPECT_TRUE(tool->PaneShows(QStringLiteral("echo one\necho two\n"), 3000))
      << tool->PaneText().toStdString();
}

TEST_F(Pane, SelectAllCopyAndPasteKeysFollowTheFocus) {
  QWidget* window = tool->window.get();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTreeWidget* list = tool->window->Browser().lvFiles;
  pane().ShowIncoming("some text");
  list->setFocus();
  ASSERT_TRUE(WaitUntil([&] { return list->hasFocus(); }, 3000));
  QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(list->selectedItems().size(), list->topLevelItemCount());
  EXPECT_FALSE(edit()->textCursor().hasSelection());
  QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
  EXPECT_FALSE(QApplication::clipboard()->text().contains(QStringLiteral("some text")));
  // Paste in the list sends nothing to the device.
  QApplication::clipboard()->setText(QStringLiteral("echo no\r"));
  const int commands = sim.Device().CommandCount();
  QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
  tool->Worker([](Session&) { return true; });  // whatever was posted has run
  Pump(100);
  EXPECT_EQ(sim.Device().CommandCount(), commands);

  edit()->setFocus();
  ASSERT_TRUE(WaitUntil([&] { return edit()->hasFocus(); }, 3000));
  QTest::keyClick(edit(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(edit()->textCursor().selectedText().size(), TextLength(edit()));
}

TEST_F(Pane, ShrinkingKeepsTheEndInViewUnlessScrolledUp) {
  tool->window->Timer1->stop();  // nothing new may scroll the pane meanwhile
  std::string lines;
  for (int i = 0; i < 300; ++i) lines += "line " + std::to_string(i) + "\r\n";
  pane().ShowIncoming(lines + "\xABvxk>\xBB");
  QScrollBar* bar = edit()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  ASSERT_EQ(bar->value(), bar->maximum());
  const QSize size = tool->window->size();
  auto shrinkTo = [&](int height) {
    const int before = edit()->height();
    tool->window->resize(size.width(), height);
    return WaitUntil([&] { return edit()->height() < before - 50; }, 3000);
  };
  // Two steps of 70 pixels: the status area below keeps the pane from getting much smaller.
  ASSERT_TRUE(shrinkTo(size.height() - 70));
  EXPECT_EQ(bar->value(), bar->maximum());
  bar->setValue(10);
  ASSERT_TRUE(shrinkTo(size.height() - 140));
  EXPECT_EQ(bar->value(), 10);
}

TEST_F(Pane, TerminalAndDeviceInfoShareTheWidth) {
  EXPECT_NEAR(tool->window->Browser().memInfo->width(), 330, 10);
  tool->window->resize(500, tool->window->height());
  ASSERT_TRUE(WaitUntil([&] { return tool->window->width() == 500; }, 3000));
  EXPECT_GE(edit()->width(), 200);
  EXPECT_GE(tool->window->Browser().memInfo->width(), 100);
}

TEST_F(Pane, CopyWithoutSelectionCopiesEverythingAndSelectsNothing) {
  pane().ShowIncoming("first line\r\nsecond");
  QApplication::clipboard()->clear();
  pane().actTermCopy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("first line\nsecond"));
  EXPECT_FALSE(edit()->textCursor().hasSelection());
  pane().actTermAll->trigger();
  EXPECT_EQ(edit()->textCursor().selectedText().size(), 17);
}

TEST_F(Pane, FontStepsAndReset) {
  pane().actFontReset->trigger();
  EXPECT_EQ(pane().FontPointSize(), 10);
  std::vector<int> up;
  for (int i = 0; i < 4; ++i) {
    pane().actFontUp->trigger();
    up.push_back(pane().FontPointSize());
  }
  EXPECT_EQ(up, (std::vector<int>{11, 12, 14, 16}));
  std::vector<int> down;
  for (int i = 0; i < 4; ++i) {
    pane().actFontDown->trigger();
    down.push_back(pane().FontPointSize());
  }
  EXPECT_EQ(down, (std::vector<int>{14, 12, 11, 10}));
  EXPECT_EQ(edit()->font().pointSize(), 10);
}

TEST_F(Pane, CapCutsWholeLines) {
  std::string lines;
  for (int i = 0; lines.size() < 200000; ++i)
    lines += "line " + std::to_string(100000 + i) + " of text\r\n";
  pane().ShowIncoming(lines);
  const QString text = edit()->toPlainText();
  EXPECT_LE(TextLength(edit()), TerminalPane::kLimit);
  EXPECT_GE(TextLength(edit()), TerminalPane::kLimit / 2);
  EXPECT_TRUE(text.startsWith(QStringLiteral("line "))) << text.left(30).toStdString();
  // Full at the cap: ten more characters remove the first whole line.
  pane().actTermClear->trigger();
  const QString full =
      QStringLiteral("first line\n") + QString(TerminalPane::kLimit - 11, QChar('y'));
  edit()->setPlainText(full);
  ASSERT_EQ(TextLength(edit()), TerminalPane::kLimit);
  pane().ShowIncoming("0123456789");
  EXPECT_TRUE(edit()->toPlainText().startsWith(QStringLiteral("yyy")));
  EXPECT_EQ(TextLength(edit()), TerminalPane::kLimit - 1);
}

TEST_F(Pane, PopupMenuOrder) {
  QStringList names;
  for (QAction* a : pane().puTerm()->actions())
    names << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(names, (QStringList{"Copy", "Paste", "Clear", "-", "Font Larger", "Font Reset",
                                "Font Smaller"}));
}

}  // namespace
