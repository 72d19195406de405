#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "FileAccess/DateTime.h"
#include "UiTestSupport.h"
#include "ops/LocalFiles.h"
#include "ui/FileOperations.h"
#include "ui/StatusArea.h"
#include "ui/ufmMkDir.h"
#include "ui/ufmRename.h"

using namespace vxk;

namespace {

class FileOps : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_unique<FakeHidBackend>(&sim.Device());
    tool = std::make_unique<Tool>(std::vector<std::string>{}, backend.get());
    tool->window->show();
    ASSERT_TRUE(WaitUntil([&] { return list()->topLevelItemCount() > 0; }, 5000));
    ops().Ask = [this](const QString& title, const QString& text, QMessageBox::StandardButtons) {
      asked << title + "|" + text;
      return answer;
    };
  }
  FileOperations& ops() { return tool->window->Ops(); }
  FileBrowser& browser() { return tool->window->Browser(); }
  QTreeWidget* list() { return browser().lvFiles; }
  SimFileSystem& Files() { return sim.Files().Files(); }
  void Go(const char* dir) {
    browser().ShowDeviceDirectory(dir);
    ASSERT_TRUE(tool->Idle());
  }
  // Runs an action and waits until it and what it started have ended.
  void Run(QAction* action) {
    action->trigger();
    ASSERT_TRUE(tool->Idle());
  }
  void Select(const QStringList& names) {
    list()->clearSelection();
    for (const QString& n : names) {
      const auto found = list()->findItems(n, Qt::MatchExactly, 0);
      ASSERT_FALSE(found.isEmpty()) << n.toStdString();
      found.first()->setSelected(true);
      list()->setCurrentItem(found.first(), 0, QItemSelectionModel::Select);
    }
  }
  std::vector<std::string> Commands(const char* word) {
    std::vector<std::string> out;
    for (const std::string& c : sim.Device().CommandHistory())
      if (c.find(word) != std::string::npos) out.push_back(c);
    return out;
  }
  QString Local(const QString& name, const QByteArray& content) {
    const QString path = scratch.path() + "/" + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(content);
    return path;
  }
  // Drops local files on a target the way a file manager does.
  void Drop(QWidget* target, const QStringList& paths, Qt::KeyboardModifiers mods = {}) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::NoButton, mods);
    QCoreApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::NoButton, mods);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
  }
  bool Done() { return tool->PaneShows(QStringLiteral("done."), 10000) && tool->Idle(); }

  SimDevice sim;
  std::unique_ptr<FakeHidBackend> backend;
  std::unique_ptr<Tool> tool;
  QStringList asked;
  QMessageBox::StandardButton answer = QMessageBox::Yes;
  QTemporaryDir scratch;
};

TEST_F(FileOps, CaptionsShortcutsMenusAndDialogs) {
  struct Row {
    QAction* action;
    const char* name;
    const char* caption;
    QKeySequence key;
  };
  const Row rows[] = {
      {ops().actSave, "actSave", "Save to PC", {}},
      {ops().actDelete, "actDelete", "Delete", QKeySequence(Qt::Key_Delete)},
      {ops().actMkDir, "actMkDir", "Make Dir", {}},
      {ops().actMakeFile, "actMakeFile", "New File", {}},
      {ops().actRename, "actRename", "Rename", QKeySequence(Qt::Key_F2)},
      {ops().actUpload, "actUpload", "Upload\u2026", QKeySequence(Qt::CTRL | Qt::Key_U)},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.action->objectName(), QString::fromLatin1(r.name));
    EXPECT_EQ(r.action->text(), QString::fromUtf8(r.caption));
    EXPECT_EQ(r.action->shortcut(), r.key) << r.name;
  }
  auto names = [](QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
  };
  // The File menu as a whole is checked with the main window's menus.
  EXPECT_EQ(names(browser().puFiles),
            (QStringList{"Edit", "Save to PC", QStringLiteral("Upload\u2026"), "Rename", "Delete",
                         "-", "New File", "Make Dir", "-", "Refresh Directory"}));
  TfmMkDir& mk = *ops().fmMkDir;
  mk.SetMode(TfmMkDir::Mode::Directory);
  EXPECT_EQ(mk.windowTitle() + mk.Label1->text(), QStringLiteral("Make DirectoryDir:"));
  mk.SetMode(TfmMkDir::Mode::File);
  EXPECT_EQ(mk.windowTitle() + mk.Label1->text(), QStringLiteral("New FileFile:"));
  EXPECT_EQ(mk.size(), QSize(400, 135));
  EXPECT_EQ(mk.btnMake->text() + mk.btnCancel->text(), QStringLiteral("MakeCancel"));
  EXPECT_TRUE(mk.btnMake->isDefault());
  TfmRename& rn = *ops().fmRename;
  EXPECT_EQ(rn.windowTitle(), QStringLiteral("Rename"));
  EXPECT_EQ(rn.size(), QSize(400, 151));
  EXPECT_TRUE(rn.edFromName->isReadOnly());
  EXPECT_EQ(rn.btnRename->text() + rn.btnCancel->text(), QStringLiteral("RenameCancel"));
}

TEST_F(FileOps, DeleteAsksThenLeavesTheParentAlone) {
  Files().MakeDirectory("/D", 0);
  Files().WriteFile("/D/notes.txt", "n", 0);
  Files().WriteFile("/D/b.txt", "b", 0);
  Files().MakeDirectory("/D/sub", 0);
  Files().WriteFile("/D/sub/in.txt", "i", 0);
  Go("/D");
  Select({"notes.txt"});
  answer = QMessageBox::No;
  ops().actDelete->trigger();
  EXPECT_EQ(asked.takeFirst(), QStringLiteral("Confirm|Delete \"notes.txt\"?"));
  EXPECT_NE(Files().Find("/D/notes.txt"), nullptr);
  Select({"..", "notes.txt", "sub"});
  answer = QMessageBox::Yes;
  Run(ops().actDelete);
  EXPECT_EQ(asked.takeFirst(), QStringLiteral("Confirm|Delete 3 files?"));
  EXPECT_EQ(Files().Find("/D/notes.txt"), nullptr);
  EXPECT_EQ(Files().Find("/D/sub"), nullptr);
  EXPECT_NE(Files().Find("/D/b.txt"), nullptr);
  EXPECT_NE(Files().Find("/Lua"), nullptr);
  EXPECT_EQ(Commands("NFWIPEDIR").size(), 1u);
  EXPECT_TRUE(sim.Device().LastCommand().rfind("NFDIR", 0) == 0);  // relisted
}

// A refused delete does not stop the others, and the status bar tells the device's reason.
TEST_F(FileOps, DeleteTellsTheDevicesReasonAndGoesOn) {
  Files().MakeDirectory("/D", 0);
  Files().WriteFile("/D/a.txt", "a", 0);
  Files().WriteFile("/D/locked.txt", "l", 0);
  Files().WriteFile("/D/z.txt", "z", 0);
  Files().Find("/D/locked.txt")->attributes = 0x21;
  Go("/D");
  Select({"a.txt", "locked.txt", "z.txt"});
  Run(ops().actDelete);
  EXPECT_EQ(Files().Find("/D/a.txt"), nullptr);
  EXPECT_EQ(Files().Find("/D/z.txt"), nullptr);
  EXPECT_NE(Files().Find("/D/locked.txt"), nullptr);
  EXPECT_EQ(tool->window->Status().Text(), QStringLiteral("Delete: 5:Access denied"));
}

// Upload… takes files from Qt's own chooser (by keyboard too) and then goes the way of a drop.
TEST_F(FileOps, UploadChoosesFilesThenAsksAsADropDoes) {
  const QString lua = Local(QStringLiteral("init.lua"), "print(2)");
  const QString cfg = Local(QStringLiteral("notes.txt"), "n");
  QStringList offered;
  // Drives the dialog as a user would: the names typed, Upload pressed.
  auto chooseWhenShown = [&](const QString& typed) {
    QTimer::singleShot(50, [&, typed] {
      WaitUntil([] { return QApplication::activeModalWidget() != nullptr; }, 3000);
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      offered << dialog->objectName() + "|" + dialog->windowTitle() + "|" +
                     dialog->directory().absolutePath();
      if (typed.isEmpty()) {
        dialog->reject();
        return;
      }
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      name->setText(typed);
      QTest::keyClick(name, Qt::Key_Return);
    });
  };
  ops().UploadFromDir = scratch.path();
  tool->window->activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == tool->window.get(); }, 3000));
  chooseWhenShown(QStringLiteral("\"init.lua\" \"notes.txt\""));
  QTest::keyClick(tool->window.get(), Qt::Key_U, Qt::ControlModifier);
  ASSERT_TRUE(Done());
  EXPECT_EQ(offered, QStringList{"dlgUpload|Upload to Device|" + scratch.path()});
  EXPECT_EQ(asked, (QStringList{"Confirmation|Do you want files put in their proper place?\r\n"
                                "(Hold CTRL down to override this)"}));
  EXPECT_TRUE(tool->PaneText().contains(QStringLiteral("Uploading 2 files...")));
  EXPECT_EQ(Files().Find("/Lua/init.lua")->data, "print(2)");
  EXPECT_EQ(Files().Find("/notes.txt")->data, "n");
  EXPECT_EQ(ops().UploadFromDir, scratch.path());

  // Cancelled: nothing asked, nothing sent.
  asked.clear();
  const size_t writes = Commands("NFWRITE").size();
  chooseWhenShown(QString());
  ops().actUpload->trigger();
  EXPECT_EQ(offered.size(), 2);
  EXPECT_TRUE(asked.isEmpty());
  EXPECT_EQ(Commands("NFWRITE").size(), writes);
}

TEST_F(FileOps, DelAndF2BelongToTheFileList) {
  Go("/Lua");
  Select({"main.lua"});
  list()->setFocus();
  answer = QMessageBox::No;
  QTest::keyClick(list(), Qt::Key_Delete);
  int renames = 0;
  ops().RunDialog = [&](QDialog&) { return ++renames, int(QDialog::Rejected); };
  QTest::keyClick(list(), Qt::Key_F2);
  EXPECT_EQ(asked.size(), 1);
  EXPECT_EQ(renames, 1);
  tool->window->Pane().reTerm()->setFocus();
  QTest::keyClick(tool->window->Pane().reTerm(), Qt::Key_Delete);
  QTest::keyClick(tool->window->Pane().reTerm(), Qt::Key_F2);
  EXPECT_EQ(asked.size(), 1);
  EXPECT_EQ(renames, 1);
}

TEST_F(FileOps, NewFileAsksWhenTheNameExistsInAnyCase) {
  Go("/Lua");
  ops().RunDialog = [](QDialog& d) {
    static_cast<TfmMkDir&>(d).edDir->setText(QStringLiteral("MAIN.lua"));
    return int(QDialog::Accepted);
  };
  answer = QMessageBox::No;
  const std::string old = Files().Find("/Lua/main.lua")->data;
  ops().actMakeFile->trigger();
  EXPECT_EQ(asked, (QStringList{"Confirm|File exists! Overwrite?"}));
  EXPECT_TRUE(Commands("NFWRITE").empty());
  EXPECT_EQ(Files().Find("/Lua/main.lua")->data, old);
  answer = QMessageBox::Yes;
  Run(ops().actMakeFile);
  EXPECT_EQ(Files().Find("/Lua/main.lua")->data, "");
  // Make Dir in the other mode.
  ops().RunDialog = [](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Make Directory"));
    static_cast<TfmMkDir&>(d).edDir->setText(QStringLiteral("new dir"));
    return int(QDialog::Accepted);
  };
  Run(ops().actMkDir);
  ASSERT_NE(Files().Find("/Lua/new dir"), nullptr);
  EXPECT_TRUE(Files().Find("/Lua/new dir")->directory);
}

TEST_F(FileOps, RenameSendsTheBareNameAndLeavesTheParentAlone) {
  Go("/Lua");
  QString shown;
  ops().RunDialog = [&](QDialog& d) {
    auto& r = static_cast<TfmRename&>(d);
    shown = r.edFromName->text() + "|" + r.edToName->text();
    r.edToName->setText(QStringLiteral("boot.lua"));
    return int(QDialog::Accepted);
  };
  Select({".."});
  ops().actRename->trigger();
  EXPECT_TRUE(shown.isEmpty());
  EXPECT_TRUE(Commands("NFRENAME").empty());
  Select({"main.lua"});
  Run(ops().actRename);
  EXPECT_EQ(shown, QStringLiteral("main.lua|main.lua"));
  EXPECT_EQ(Commands("NFRENAME").back(), "NFRENAME \"/Lua/main.lua\" \"boot.lua\"");
  EXPECT_NE(Files().Find("/Lua/boot.lua"), nullptr);
}

TEST_F(FileOps, NameDialogsRefuseTypedSpecialsAndPastedControls) {
  TfmMkDir& mk = *ops().fmMkDir;
  mk.show();
  QTest::keyClicks(mk.edDir, QStringLiteral("a:b/c"));
  QTest::keyClick(mk.edDir, Qt::Key_Tab);
  QTest::keyClicks(mk.edDir, QStringLiteral("d"));
  EXPECT_EQ(mk.edDir->text(), QStringLiteral("abcd"));
  mk.edDir->setText(QStringLiteral("x\ry"));  // as a paste would
  mk.accept();
  EXPECT_TRUE(mk.isVisible());
  mk.reject();
  mk.show();
  EXPECT_TRUE(mk.edDir->text().isEmpty());  // emptied on every showing
  mk.reject();

  TfmRename& rn = *ops().fmRename;
  rn.SetName(QStringLiteral("old.txt"));
  rn.show();
  EXPECT_EQ(rn.edToName->selectedText(), QStringLiteral("old.txt"));
  QTest::keyClicks(rn.edToName, QStringLiteral("n;e\"w"));
  EXPECT_EQ(rn.edToName->text(), QStringLiteral("new"));
  QTest::keyClick(rn.edToName, Qt::Key_Escape);
  EXPECT_FALSE(rn.isVisible());
  EXPECT_EQ(rn.result(), int(QDialog::Rejected));
}

TEST_F(FileOps, DroppedScriptsAreRoutedOnRequest) {
  const QString lua = Local(QStringLiteral("init.lua"), "print(1)");
  answer = QMessageBox::No;
  Drop(list()->viewport(), {lua});
  ASSERT_TRUE(Done());
  EXPECT_EQ(asked, (QStringList{"Confirmation|Do you want files put in their proper place?\r\n"
                                "(Hold CTRL down to override this)"}));
  ASSERT_NE(Files().Find("/init.lua"), nullptr);
  EXPECT_NE(Commands("NFWRITE \"//init.lua\"").size(), 0u);
  // Shown collapsed, sent as formed.
  EXPECT_TRUE(tool->PaneText().contains(QStringLiteral(" 8 > /init.lua")));
  EXPECT_FALSE(tool->PaneText().contains(QStringLiteral("//"))) << tool->PaneText().toStdString();
  bool bold = false;
  EXPECT_EQ(ColourOf(tool->window->Pane().reTerm(), QStringLiteral("init.lua"), &bold),
            QColor(0, 128, 0));
  EXPECT_TRUE(bold);

  tool->window->Pane().reTerm()->clear();
  answer = QMessageBox::Yes;
  Drop(browser().memInfo->viewport(), {lua});
  ASSERT_TRUE(Done());
  EXPECT_EQ(Files().Find("/Lua/init.lua")->data, "print(1)");

  // Inside /lua, or with Ctrl held, nobody is asked and nothing is routed.
  asked.clear();
  Go("/Lua/lib");
  tool->window->Pane().reTerm()->clear();
  Drop(list()->viewport(), {lua});
  ASSERT_TRUE(Done());
  Go("/");
  tool->window->Pane().reTerm()->clear();
  Drop(list()->viewport(), {Local(QStringLiteral("myconfig.txt"), "c")}, Qt::ControlModifier);
  ASSERT_TRUE(Done());
  EXPECT_TRUE(asked.isEmpty());
  EXPECT_NE(Files().Find("/Lua/lib/init.lua"), nullptr);
  EXPECT_NE(Files().Find("/myconfig.txt"), nullptr);
}

TEST_F(FileOps, CancelUploadsNothingButRelists) {
  answer = QMessageBox::Cancel;
  const int listings = static_cast<int>(Commands("NFDIR").size());
  Drop(list()->viewport(),
       {Local(QStringLiteral("a.lua"), "a"), Local(QStringLiteral("b.txt"), "b")});
  ASSERT_TRUE(Done());
  EXPECT_FALSE(tool->PaneText().contains(QStringLiteral("Uploading")));
  EXPECT_TRUE(Commands("NFWRITE").empty());
  EXPECT_GT(static_cast<int>(Commands("NFDIR").size()), listings);
}

// Firmware images leave the drop for the boot loader first; the rest is uploaded.
TEST_F(FileOps, FirmwareDropsGoToTheFirmwareLoaderFirst) {
  QStringList handed;
  ops().InstallDroppedFirmware = [&](QStringList& files, std::function<void()> then) {
    handed = files;
    files.removeIf([](const QString& f) { return f.endsWith(QStringLiteral(".BLF")); });
    then();
  };
  Drop(list()->viewport(),
       {Local(QStringLiteral("App.BLF"), "fw"), Local(QStringLiteral("x.txt"), "x")});
  ASSERT_TRUE(Done());
  EXPECT_EQ(handed.size(), 2);
  EXPECT_TRUE(tool->PaneText().contains(QStringLiteral("Uploading 1 files...")));
  EXPECT_EQ(Commands("NFWRITE").size(), 1u);
}

TEST_F(FileOps, FilesThatCannotBeOpenedEndTheUpload) {
  const QString cr = Local(QStringLiteral("two\rlines.txt"), "x");
  MessageBoxCatcher error;
  Drop(list()->viewport(), {cr, Local(QStringLiteral("after.txt"), "y")});
  ASSERT_TRUE(WaitUntil([&] { return !error.title.isEmpty(); }, 5000));
  EXPECT_EQ(error.title, QStringLiteral("Error"));
  EXPECT_TRUE(error.text.contains(QStringLiteral("control characters")));
  EXPECT_TRUE(tool->PaneText().contains(QStringLiteral("Cannot upload two?lines.txt")));
  EXPECT_TRUE(Commands("NFWRITE").empty());
  // Moving is never offered to the file manager.
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(cr)});
  QDragEnterEvent move(QPoint(5, 5), Qt::MoveAction, &mime, Qt::NoButton, {});
  QCoreApplication::sendEvent(list()->viewport(), &move);
  EXPECT_FALSE(move.isAccepted());
  // A dropped folder is no file either.
  MessageBoxCatcher folder;
  Drop(list()->viewport(), {scratch.path()});
  ASSERT_TRUE(WaitUntil([&] { return !folder.title.isEmpty(); }, 5000));
  EXPECT_TRUE(Commands("NFWRITE").empty());
}

TEST_F(FileOps, SaveToPcWritesTreesWithDeviceTimes) {
  const uint32_t stamp = (41u << 25) | (6u << 21) | (15u << 16) | (10u << 11) | (20u << 5) | 15u;
  Files().MakeDirectory("/S", 0);
  Files().WriteFile("/S/top.txt", "top", stamp);
  Files().MakeDirectory("/S/sub", 0);
  Files().WriteFile("/S/sub/deep.txt", "deep", stamp);
  Files().WriteFile("/S/sub/\xE9t\xE9.txt", "e", 0);
  Go("/S");
  Select({"..", "top.txt", "sub"});
  QString start;
  ops().ChooseFolder = [&](const QString& title, const QString& from) {
    start = title + "|" + from;
    return scratch.path() + "/";
  };
  Run(ops().actSave);
  EXPECT_EQ(start, QStringLiteral("Save to Directory|") + QDir::homePath());
  EXPECT_EQ(ops().SaveToDir, scratch.path());
  EXPECT_FALSE(browser().lblCount->isVisible());
  const QString root = scratch.path();
  EXPECT_TRUE(QFile::exists(root + "/top.txt"));
  EXPECT_TRUE(QFile::exists(root + "/sub/deep.txt"));
  EXPECT_TRUE(QFile::exists(root + QStringLiteral("/sub/\u00e9t\u00e9.txt")));
  EXPECT_FALSE(QFile::exists(root + "/../top.txt"));
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(root + "/sub/deep.txt").constData(), &info), 0);
  EXPECT_EQ(info.st_mtime, LocalDateTimeToTime(EncodeDateTime(2021, 6, 15, 10, 20, 30, 0)));
  // A cancelled chooser does nothing.
  ops().ChooseFolder = [](const QString&, const QString&) { return QString(); };
  const int commands = sim.Device().CommandCount();
  ops().actSave->trigger();
  EXPECT_EQ(sim.Device().CommandCount(), commands);
}

// A name too long for a local file is listed in the pane; the other selected file is saved.
TEST_F(FileOps, SaveToPcListsOverlongNamesInThePane) {
  const std::string tooLong(130, '\xE9');  // 260 bytes as UTF-8
  Files().MakeDirectory("/S", 0);
  Files().WriteFile("/S/" + tooLong, "x", 0);
  Files().WriteFile("/S/" + std::string(255, 'n'), "long", 0);
  Go("/S");
  Select({QString::fromStdString(std::string(255, 'n')), QString(QChar(0xE9)).repeated(130)});
  ops().ChooseFolder = [&](const QString&, const QString&) { return scratch.path(); };
  Run(ops().actSave);
  EXPECT_TRUE(QFile::exists(scratch.path() + "/" + QString(255, QChar('n'))));
  EXPECT_TRUE(tool->PaneShows(QStringLiteral("Not saved: /S/") +
                                  QString(QChar(0xE9)).repeated(130) +
                                  QStringLiteral(" (its name is too long for a local file)"),
                              2000))
      << tool->PaneText().toStdString();
}

}  // namespace
