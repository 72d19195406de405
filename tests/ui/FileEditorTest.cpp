#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextLayout>
#include <QTreeWidget>
#include <algorithm>
#include <deque>

#include "UiTestSupport.h"
#include "ui/EditAction.h"
#include "ui/EditorFindBar.h"
#include "ui/PagedView.h"
#include "ui/ufmFile.h"

using namespace vxk;

namespace {

// Runs one script each time the modal editor comes up, in order.
class EditorRounds {
 public:
  using Script = std::function<void(TfmFile&)>;
  EditorRounds(TfmFile& editor, std::vector<Script> rounds) : rounds_(std::move(rounds)) {
    QObject::connect(&editor, &QDialog::finished, [this] { shown_ = false; });
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, &editor] {
      if (!shown_ && ran < rounds_.size() && QApplication::activeModalWidget() == &editor) {
        shown_ = true;
        rounds_[ran++](editor);
      }
    });
    timer_.start();
  }
  size_t ran = 0;

 private:
  std::vector<Script> rounds_;
  bool shown_ = false;
  QTimer timer_;
};

// Answers message boxes in turn with the given buttons and keeps their titles and texts.
class BoxAnswers {
 public:
  explicit BoxAnswers(std::deque<QMessageBox::StandardButton> answers)
      : answers_(std::move(answers)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || answers_.empty()) return;
      seen << box->windowTitle() + "|" + box->text();
      EXPECT_EQ(box->icon(), QMessageBox::Question);
      box->button(answers_.front())->click();
      answers_.pop_front();
    });
    timer_.start();
  }
  QStringList seen;

 private:
  std::deque<QMessageBox::StandardButton> answers_;
  QTimer timer_;
};

QColor Base(const TfmFile& e) {
  return e.reFile->palette().color(QPalette::Base);
}

TEST(FileEditor, CaptionsAndControls) {
  TfmFile e;
  const std::pair<QString, QString> texts[] = {
      {e.windowTitle(), "File Edit"},       {e.Button1->text(), "&Copy All"},
      {e.Button2->text(), "Paste Replace"}, {e.cbHex->text(), "He&x"},
      {e.cbReadOnly->text(), "&Read Only"}, {e.btnCancel->text(), "Cancel"},
      {e.btnSave->text(), "&Save"},         {e.actSave->shortcut().toString(), "Ctrl+S"}};
  for (const auto& [got, want] : texts) EXPECT_EQ(got, want);
  EXPECT_EQ(e.minimumSize(), QSize(730, 550));
  EXPECT_EQ(e.size(), QSize(730, 573));
  EXPECT_EQ(e.Timer1->interval(), 250);
  EditorRounds rounds(e, {[](TfmFile& f) {
                        EXPECT_EQ(f.windowTitle(), QStringLiteral("Edit File: /Lua/x.lua"));
                        EXPECT_TRUE(f.Timer1->isActive());
                        f.btnSave->click();
                      }});
  EXPECT_FALSE(e.EditContent("/Lua/x.lua", "abc").changed);
  EXPECT_EQ(rounds.ran, 1u);
  EXPECT_FALSE(e.Timer1->isActive());
}

TEST(FileEditor, TextOpensEditableAndBinaryInHex) {
  TfmFile e;
  EditorRounds rounds(e, {[](TfmFile& f) {
                            EXPECT_FALSE(f.cbReadOnly->isChecked());
                            EXPECT_FALSE(f.cbHex->isChecked());
                            EXPECT_FALSE(f.cbHex->isEnabled());
                            EXPECT_FALSE(f.reFile->isReadOnly());
                            EXPECT_EQ(Base(f), QColor(239, 244, 223));
                            EXPECT_EQ(f.lblLine->text(), "Line:    1/   1\n3 bytes");
                            f.btnSave->click();
                          },
                          [](TfmFile& f) {
                            EXPECT_TRUE(f.cbReadOnly->isChecked());
                            EXPECT_TRUE(f.cbHex->isChecked());
                            EXPECT_TRUE(f.cbHex->isEnabled());
                            EXPECT_TRUE(f.reFile->isReadOnly());
                            EXPECT_EQ(Base(f), f.palette().color(QPalette::Button));
                            EXPECT_TRUE(f.lblLine->text().isEmpty());
                            EXPECT_EQ(f.reFile->toPlainText(),
                                      "0000: 61 00 01 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E"
                                      "  a..bcdefghijklmn\n"
                                      "0010: 6F" +
                                          QString(45, ' ') + "  o");
                            EXPECT_FALSE(f.btnSave->isEnabled());
                            // Out of read-only mode: the masked text, no hex view, Save again.
                            f.cbReadOnly->click();
                            EXPECT_EQ(f.reFile->toPlainText(), "a??bcdefghijklmno");
                            EXPECT_FALSE(f.cbHex->isChecked());
                            EXPECT_FALSE(f.cbHex->isEnabled());
                            EXPECT_FALSE(f.lblLine->text().isEmpty());
                            EXPECT_TRUE(f.btnSave->isEnabled());
                            f.cbHex->click();
                            EXPECT_FALSE(f.cbHex->isChecked());
                            // Back in read-only mode the hex view returns and Save is off,
                            // by button and by key, however the text was edited.
                            f.reFile->insertPlainText("edit");
                            f.cbReadOnly->click();
                            f.cbHex->click();
                            EXPECT_TRUE(f.reFile->toPlainText().startsWith("0000: 61 00 01"));
                            EXPECT_FALSE(f.btnSave->isEnabled());
                            EXPECT_FALSE(f.actSave->isEnabled());
                            QTest::keyClick(f.reFile, Qt::Key_S, Qt::ControlModifier);
                            f.btnSave->click();
                            EXPECT_TRUE(f.isVisible());
                            f.btnCancel->click();  // read-only: closes without asking
                          }});
  EXPECT_FALSE(e.EditContent("/a.txt", "abc").changed);
  EXPECT_FALSE(e.EditContent("/b.bin", std::string("a\0\x01"
                                                   "bcdefghijklmno",
                                                   17))
                   .changed);
  EXPECT_EQ(rounds.ran, 2u);
}

TEST(FileEditor, UnchangedTextIsNotRewrittenAndEditsKeepLineEnds) {
  TfmFile e;
  // LF line ends, a masked NUL and a non-breaking space: nothing here is an edit.
  const std::string content("one\xa0\nt\0wo\n", 10);
  EditorRounds rounds(e, {[](TfmFile& f) { f.btnSave->click(); },
                          [](TfmFile& f) {
                            EXPECT_EQ(f.lblLine->text(), "Line:    1/   3\n10 bytes");
                            f.reFile->moveCursor(QTextCursor::End);
                            f.reFile->insertPlainText("x\ny");
                            EXPECT_EQ(f.lblLine->text(), "Line:    4/   4\n13 bytes");
                            QTest::keyClick(f.reFile, Qt::Key_S, Qt::ControlModifier);
                          }});
  EXPECT_FALSE(e.EditContent("/f.txt", content).changed);
  const TfmFile::Edit edit = e.EditContent("/f.txt", content);
  EXPECT_TRUE(edit.changed);
  EXPECT_EQ(edit.text, "one\xa0\nt?wo\nx\ny");
  EXPECT_EQ(rounds.ran, 2u);
}

TEST(FileEditor, CancelAsksBeforeDiscardingEdits) {
  TfmFile e;
  BoxAnswers boxes({QMessageBox::No, QMessageBox::Yes});
  EditorRounds rounds(e, {[](TfmFile& f) {
                        f.reFile->insertPlainText("new ");
                        f.btnCancel->click();  // No: the window stays with the edit
                        EXPECT_TRUE(f.isVisible());
                        EXPECT_EQ(f.reFile->toPlainText(), "new abc");
                        QTest::keyClick(f.reFile, Qt::Key_Escape);  // Yes
                      }});
  EXPECT_FALSE(e.EditContent("/a.txt", "abc").changed);
  EXPECT_EQ(rounds.ran, 1u);
  EXPECT_EQ(boxes.seen, (QStringList{"Confirm|Discard changes?", "Confirm|Discard changes?"}));
  EXPECT_FALSE(e.isVisible());
}

TEST(FileEditor, CopyAllAndPasteReplace) {
  TfmFile e;
  EditorRounds rounds(e, {[](TfmFile& f) {
                        QApplication::clipboard()->clear();
                        f.actPaste->trigger();
                        EXPECT_EQ(f.reFile->toPlainText(), "a\nb");
                        f.actCopy->trigger();
                        EXPECT_EQ(QApplication::clipboard()->text(), "a\nb");
                        QApplication::clipboard()->setText("p\r\nq\r\nr");
                        f.actPaste->trigger();
                        EXPECT_EQ(f.reFile->toPlainText(), "p\nq\nr");
                        EXPECT_EQ(f.lblLine->text(), "Line:    3/   3\n7 bytes");
                        f.btnSave->click();
                      }});
  const TfmFile::Edit edit = e.EditContent("/a.txt", "a\r\nb");
  EXPECT_EQ(edit.text, "p\r\nq\r\nr");
}

TEST(FileEditor, FindByKeysInTheText) {
  TfmFile e;
  EditorRounds rounds(e, {[](TfmFile& f) {
                        // The keys are the window's shortcuts: it must be the active one.
                        f.activateWindow();
                        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
                        auto caret = [&f] {
                          const QTextCursor c = f.reFile->textCursor();
                          return std::pair(c.blockNumber(), c.selectedText());
                        };
                        QTest::keyClick(f.reFile, Qt::Key_F, Qt::ControlModifier);
                        ASSERT_TRUE(f.findBar->isVisible());
                        EXPECT_EQ(QApplication::focusWidget(), f.findBar->edFind);
                        QTest::keyClicks(f.findBar->edFind, "ALPHA");
                        QTest::keyClick(f.findBar->edFind, Qt::Key_Return);
                        EXPECT_EQ(caret(), std::pair(0, QString("alpha")));
                        QTest::keyClick(f.findBar->edFind, Qt::Key_F3);
                        EXPECT_EQ(caret(), std::pair(2, QString("alpha")));
                        EXPECT_TRUE(f.findBar->lblFind->text().isEmpty());
                        QTest::keyClick(f.findBar->edFind, Qt::Key_F3);
                        EXPECT_EQ(caret(), std::pair(0, QString("alpha")));
                        EXPECT_EQ(f.findBar->lblFind->text(), "Search wrapped");
                        QTest::keyClick(f.findBar->edFind, Qt::Key_F3, Qt::ShiftModifier);
                        EXPECT_EQ(caret(), std::pair(2, QString("alpha")));
                        f.findBar->cbMatchCase->setChecked(true);
                        QTest::keyClick(f.findBar->edFind, Qt::Key_F3);
                        EXPECT_EQ(f.findBar->lblFind->text(), "Not found");
                        EXPECT_EQ(caret(), std::pair(2, QString("alpha")));
                        // Escape leaves the find bar, not the editor.
                        QTest::keyClick(f.findBar->edFind, Qt::Key_Escape);
                        EXPECT_FALSE(f.findBar->isVisible());
                        EXPECT_TRUE(f.isVisible());
                        EXPECT_EQ(QApplication::focusWidget(), f.reFile);
                        f.btnCancel->click();
                      }});
  EXPECT_FALSE(e.EditContent("/a.txt", "alpha\nBeta\nalphabet\n").changed);
  EXPECT_EQ(rounds.ran, 1u);
}

TEST(FileEditor, LargeFileOpensPagedAndReadOnly) {
  std::string content;
  for (int i = 0; content.size() <= TfmFile::kPagedBytes; ++i)
    content += "row " + std::to_string(i) + (i == 70000 ? " Needle" : "") + "\r\n";
  const int lines = static_cast<int>(std::count(content.begin(), content.end(), '\n')) + 1;
  TfmFile e;
  EditorRounds rounds(
      e, {[&](TfmFile& f) {
            f.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
            EXPECT_TRUE(f.pvFile->isVisible());
            EXPECT_FALSE(f.reFile->isVisible());
            EXPECT_TRUE(f.lblLarge->isVisible());
            EXPECT_TRUE(f.reFile->document()->isEmpty());  // no second copy in a text box
            EXPECT_TRUE(f.cbReadOnly->isChecked());
            EXPECT_FALSE(f.cbReadOnly->isEnabled());
            EXPECT_FALSE(f.btnSave->isEnabled());
            EXPECT_FALSE(f.Button2->isEnabled());
            EXPECT_EQ(f.lblLine->text(),
                      QString::asprintf("Line:    1/%4d\n%zu bytes", lines, content.size()));
            EXPECT_EQ(f.pvFile->LineText(1), "row 1");
            QTest::keyClick(f.pvFile, Qt::Key_F, Qt::ControlModifier);
            QTest::keyClicks(f.findBar->edFind, "needle");
            QTest::keyClick(f.findBar->edFind, Qt::Key_F3);
            EXPECT_EQ(f.pvFile->CurrentLine(), 70000u);
            EXPECT_LE(f.pvFile->FirstVisibleLine(), 70000u);
            EXPECT_GT(f.pvFile->FirstVisibleLine() + 60, 70000u);
            EXPECT_TRUE(f.lblLine->text().startsWith("Line: 70001/"));
            // The hex view of the same bytes, the match still in view.
            f.cbHex->click();
            EXPECT_TRUE(f.pvFile->Hex());
            EXPECT_TRUE(f.lblLine->text().isEmpty());
            // Its line holds the match's first byte (hex digits have no N).
            EXPECT_TRUE(f.pvFile->LineText(f.pvFile->CurrentLine()).contains('N'));
            f.cbHex->click();
            f.actCopy->trigger();
            EXPECT_TRUE(QApplication::clipboard()->text().startsWith("row 0\nrow 1\nrow 2"));
            QTest::keyClick(f.pvFile, Qt::Key_S, Qt::ControlModifier);
            EXPECT_TRUE(f.isVisible());
            QTest::keyClick(f.pvFile, Qt::Key_Escape);
          },
          [](TfmFile& f) {
            // The next file, a small one, opens editable in the text box again.
            EXPECT_TRUE(f.reFile->isVisible());
            EXPECT_FALSE(f.pvFile->isVisible());
            EXPECT_TRUE(f.cbReadOnly->isEnabled());
            EXPECT_TRUE(f.btnSave->isEnabled());
            f.btnSave->click();
          }});
  EXPECT_FALSE(e.EditContent("/Logs/big.log", content).changed);
  EXPECT_FALSE(e.EditContent("/a.txt", "abc").changed);
  EXPECT_EQ(rounds.ran, 2u);
}

// The Edit action against the virtual device.
class EditFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_unique<FakeHidBackend>(&sim.Device());
    tool = std::make_unique<Tool>(std::vector<std::string>{}, backend.get());
    tool->window->show();
    ASSERT_TRUE(WaitUntil([&] { return list()->topLevelItemCount() > 0; }, 5000));
  }
  QTreeWidget* list() { return tool->window->Browser().lvFiles; }
  TfmFile& editor() { return tool->window->FileEditor(); }
  void Select(const QString& name) {
    const auto found = list()->findItems(name, Qt::MatchExactly, 0);
    ASSERT_FALSE(found.isEmpty()) << name.toStdString();
    list()->setCurrentItem(found.first());
  }
  void Open(const QString& name) {
    Select(name);
    QTest::keyClick(list(), Qt::Key_Return);
    ASSERT_TRUE(tool->Idle());
  }
  SimFileSystem& Files() { return sim.Files().Files(); }
  std::string Data(const char* path) { return Files().Find(path)->data; }

  SimDevice sim;
  std::unique_ptr<FakeHidBackend> backend;
  std::unique_ptr<Tool> tool;
};

TEST_F(EditFlow, EnterOpensTheFileAndASavedEditIsWrittenBack) {
  Open("Config");
  EditorRounds rounds(
      editor(), {[](TfmFile& f) {
        EXPECT_EQ(f.windowTitle(), "Edit File: /Config/settings.cfg");
        EXPECT_TRUE(f.reFile->toPlainText().startsWith("[station]\nname=Riverside 4\n"));
        QTextCursor c(f.reFile->document()->findBlockByNumber(2));
        c.movePosition(QTextCursor::EndOfBlock);
        c.insertText("0");
        f.btnSave->click();
      }});
  Open("settings.cfg");
  EXPECT_EQ(rounds.ran, 1u);
  EXPECT_EQ(Data("/Config/settings.cfg"),
            "[station]\r\nname=Riverside 4\r\ninterval=600\r\n[modem]\r\napn=iot.example\r\n");
  EXPECT_EQ(sim.Device().LastCommand(), "NFDIR @\"/Config\"");  // relisted
}

TEST_F(EditFlow, UnchangedSaveWritesNothingAndLuaIsHighlighted) {
  Open("Lua");
  int luaFormats = -1;
  EditorRounds rounds(
      editor(), {[&](TfmFile& f) {
        // The highlighter's first pass runs from the event loop.
        WaitUntil([&] { return !f.reFile->document()->begin().layout()->formats().isEmpty(); },
                  1000);
        luaFormats = static_cast<int>(f.reFile->document()->begin().layout()->formats().size());
        f.btnSave->click();
      }});
  const int commands = sim.Device().CommandCount();
  QTreeWidgetItem* item = list()->findItems("main.lua", Qt::MatchExactly, 0).value(0);
  ASSERT_NE(item, nullptr);
  list()->setCurrentItem(item);
  emit list()->itemDoubleClicked(item, 0);
  ASSERT_TRUE(tool->Idle());
  EXPECT_EQ(rounds.ran, 1u);
  EXPECT_GT(luaFormats, 0);
  EXPECT_EQ(sim.Device().LastCommand(), "NFTYPE @\"/Lua/main.lua\"");
  EXPECT_LE(sim.Device().CommandCount(), commands + 2);  // readiness check and the read only
}

TEST_F(EditFlow, FailedReadOpensNothing) {
  Open("Config");
  Files().Delete("/Config/channels.cfg");
  EditorRounds rounds(editor(), {[](TfmFile& f) { f.btnCancel->click(); }});
  tool->window->Edit().actEdit->trigger();  // nothing selected: nothing happens
  Select("channels.cfg");
  tool->window->Edit().actEdit->trigger();
  ASSERT_TRUE(tool->Idle());
  EXPECT_EQ(rounds.ran, 0u);
  EXPECT_NE(list()->findItems("channels.cfg", Qt::MatchExactly, 0).value(0), nullptr);
}

TEST_F(EditFlow, FailedWriteIsReportedAndTheEditsOfferedAgain) {
  Open("Config");
  BoxAnswers boxes({QMessageBox::Yes});
  EditorRounds rounds(editor(), {[&](TfmFile& f) {
                                   f.reFile->moveCursor(QTextCursor::End);
                                   f.reFile->insertPlainText("ch3=rain,mm,0.2");
                                   sim.Files().Faults().failStatus = true;
                                   f.btnSave->click();
                                 },
                                 [&](TfmFile& f) {
                                   EXPECT_TRUE(f.reFile->toPlainText().endsWith("ch3=rain,mm,0.2"));
                                   sim.Files().Faults().failStatus = false;
                                   f.btnSave->click();
                                 }});
  Open("channels.cfg");
  EXPECT_EQ(rounds.ran, 2u);
  ASSERT_EQ(boxes.seen.size(), 1);
  EXPECT_TRUE(boxes.seen[0].startsWith("Confirm|Could not write /Config/channels.cfg"));
  EXPECT_EQ(ColourOf(tool->window->Pane().reTerm(), "Could not write /Config/channels.cfg"),
            QColor(255, 0, 0));
  EXPECT_EQ(Data("/Config/channels.cfg"), "ch1=level,m,0.001\r\nch2=temp,C,0.1\r\nch3=rain,mm,0.2");
}

}  // namespace
