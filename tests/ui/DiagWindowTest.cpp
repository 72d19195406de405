#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "UiTestSupport.h"
#include "sim/ChildProcess.h"
#include "sim/HidRig.h"
#include "ui/Accessibility.h"
#include "ui/SupportActions.h"
#include "ui/ToolSettings.h"
#include "ui/uCorrectFormPlacement.h"
#include "ui/ufmAbout.h"
#include "ui/ufmDiag.h"
#include "ui/ufmLog.h"

using namespace vxk;

namespace {

// Entry names of an archive as zipinfo lists them, or the listing's failure.
QStringList ZipNames(const QString& path) {
  QStringList names;
  FILE* p = ::popen(("zipinfo -1 '" + path.toStdString() + "' 2>/dev/null").c_str(), "r");
  if (!p) return names;
  char line[1024];
  while (std::fgets(line, sizeof line, p)) names << QString::fromLatin1(line).trimmed();
  ::pclose(p);
  return names;
}

class DiagDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(worker.runner.LinkOpen());
    dialog.SetRunner(&worker.runner);
    info.setPlainText(QStringLiteral("Corvane\n#serial"));
    term_.setPlainText(QStringLiteral("caf\u00e9 > ver"));
    dialog.SetPanes(&info, &term_, nullptr, nullptr);
    dialog.FDiagDir = dir.path() + "/";
  }
  template <class T>
  T* Find(const char* name) {
    return dialog.findChild<T*>(QLatin1String(name));
  }

  HidRig rig;
  RigRunner worker{rig};
  QPlainTextEdit info, term_;
  QTemporaryDir dir;
  TfmDiag dialog;
};

TEST_F(DiagDialog, ControlsAsDesignedEachNamedAndInOrder) {
  EXPECT_EQ(dialog.windowTitle(), "Diagnostics");
  const std::vector<std::tuple<const char*, const char*, bool>> boxes = {
      {"cbRoot", "(Root)", true}, {"cbConfig", "Config", true}, {"cbLua", "Lua", true},
      {"cbLogs", "Logs", true},   {"cbStore", "Store", false},  {"cbSend", "Send", false}};
  QWidget* previous = Find<QLineEdit>("edPassword");
  for (const auto& [name, text, checked] : boxes) {
    auto* box = Find<QCheckBox>(name);
    ASSERT_NE(box, nullptr) << name;
    EXPECT_EQ(box->text(), text);
    EXPECT_EQ(box->isChecked(), checked) << name;
    EXPECT_EQ(previous->nextInFocusChain(), box) << name;
    previous = box;
  }
  EXPECT_EQ(dialog.Memo1->toPlainText(), "- get diagnostics -\n");
  EXPECT_TRUE(dialog.Save->isDefault());
  EXPECT_EQ(dialog.findChild<QLabel*>()->text(), "&Password");
  EXPECT_EQ(dialog.findChild<QLabel*>()->buddy(), dialog.edPassword);
  // The password is the archive's, and may be left out.
  EXPECT_EQ(dialog.edPassword->placeholderText(), "ZIP password (optional)");
  EXPECT_EQ(SpokenName(dialog.edPassword), "ZIP password (optional)");
  // Close follows Save and closes the dialog.
  EXPECT_EQ(dialog.Save->nextInFocusChain(), dialog.btnClose);
  EXPECT_EQ(dialog.btnClose->text(), "Close");
  dialog.show();
  dialog.btnClose->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  for (QWidget* w : dialog.findChildren<QWidget*>()) {
    if (w->focusPolicy() != Qt::NoFocus && !qobject_cast<QLabel*>(w) && w->parent() == &dialog)
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
  }
}

TEST_F(DiagDialog, SaveWritesTheArchiveAndCloses) {
  QString offeredFolder, offeredName;
  const QString path = dir.path() + "/out.zip";
  dialog.ChooseFile = [&](const QString& folder, const QString& name) {
    offeredFolder = folder;
    offeredName = name;
    return path;
  };
  dialog.cbConfig->setChecked(false);
  dialog.cbLua->setChecked(false);
  dialog.cbLogs->setChecked(false);
  dialog.edPassword->setText(QStringLiteral("pw"));
  QTimer::singleShot(0, &dialog, &TfmDiag::SaveClick);
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(offeredFolder, dir.path() + "/");
  EXPECT_EQ(dialog.FDiagDir, dir.path() + "/");
  const QString serial = QString::fromStdString(worker.runner.Device().serial);
  EXPECT_FALSE(serial.isEmpty());
  EXPECT_TRUE(QRegularExpression("^vx\\.keeper\\." + QRegularExpression::escape(serial) +
                                 "\\.\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.zip$")
                  .match(offeredName)
                  .hasMatch())
      << offeredName.toStdString();
  EXPECT_EQ(ZipNames(path), (QStringList{"ui.info.txt", "ui.c&i.txt", "vx.keeper//readme.txt",
                                         "ui.terminal.txt", "ui.terminal.rtf", "ui.usb.txt",
                                         "ui.usb.rtf", "ui.modem.txt", "ui.modem.rtf"}));
  EXPECT_EQ(dialog.Memo1->toPlainText(),
            "Create ZIP\nConfig & Information\nGet /readme.txt\nUI Elements\nFinish ZIP");
  // The terminal text goes in as Windows-1252 bytes, the info box with CR LF.
  const std::string got = [&] {
    FILE* p = ::popen(
        ("unzip -p -P pw '" + path.toStdString() + "' ui.terminal.txt ui.info.txt").c_str(), "r");
    std::string out;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
  }();
  EXPECT_NE(got.find("caf\xE9 > ver"), std::string::npos);
  EXPECT_NE(got.find("Corvane\r\n#serial\r\n"), std::string::npos);
}

TEST_F(DiagDialog, CancelledOrFailedSaveKeepsTheDialogOpen) {
  dialog.ChooseFile = [](const QString&, const QString&) { return QString(); };
  dialog.show();
  dialog.SaveClick();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

  dialog.ChooseFile = [&](const QString&, const QString&) {
    return dir.path() + "/missing/folder/out.zip";
  };
  MessageBoxCatcher box;
  dialog.SaveClick();
  EXPECT_TRUE(WaitUntil([&] { return !box.title.isEmpty(); }, 3000));
  EXPECT_EQ(box.title, "Error");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 0);
}

TEST(About, ShowsTheBuildsVersionBlockOrQuestionMarks) {
  TfmAbout built(nullptr, QString::fromStdString(BinDir() + "/vxktool"));
  const QStringList lines = built.memVersion->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0], "vx.keeper Tool");
  EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+\\.\\d+$").match(lines[1]).hasMatch());
  EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d$").match(lines[2]).hasMatch());
  EXPECT_EQ(lines[3], "");
  EXPECT_TRUE(lines[4].startsWith(QStringLiteral("\u00a9 ")) && lines[4].contains("Corvane"));

  // This test program carries no block; nor does a file that is no program at all.
  QTemporaryDir dir;
  QFile text(dir.path() + "/x");
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write(
      "\x7f"
      "ELF\x02 short");
  text.close();
  for (const QString& path :
       {QCoreApplication::applicationFilePath(), text.fileName(), dir.path() + "/none"}) {
    TfmAbout none(nullptr, path);
    EXPECT_EQ(none.memVersion->toPlainText(), QStringLiteral("?\n?\n?\n\n\u00a9 ?"));
  }
  EXPECT_EQ(built.windowTitle(), "About");
  EXPECT_EQ(built.Memo1->toPlainText(),
            QString("Web:\t%1\nEmail:\t%2").arg(TfmAbout::kWeb, TfmAbout::kEmail));
  EXPECT_EQ(built.OKButton->text(), "OK");
  EXPECT_TRUE(built.OKButton->isDefault());
  EXPECT_EQ(built.Image1->pixmap().size(), QSize(200, 33));
}

TEST(Placement, StoredValuesAndScreenEdges) {
  const QSize hd(1920, 1080);
  const QRect centred(CentredPosition({819, 602}, hd), QSize(819, 602));
  struct Case {
    Placement stored;
    QSize screen;
    QRect applied;
    int correctedLeft;
  };
  const std::vector<Case> cases = {
      {{1915, -1, -1, -1}, hd, QRect(1888, centred.y(), 819, 602), 960},
      {{1900, -1, -1, -1}, hd, QRect(1900, centred.y(), 819, 602), 960},
      {{-8, -1, 0, -1}, hd, centred, centred.x()},
      {{100, 1075, 900, 0}, hd, QRect(100, 1048, 900, 602), 100},
  };
  for (const Case& c : cases) {
    bool stored = false;
    const QRect applied = ApplyPlacement(centred, c.stored, c.screen, &stored);
    EXPECT_EQ(applied, c.applied);
    EXPECT_EQ(stored, c.stored.x >= 0);
    EXPECT_EQ(CorrectedPlacement(applied, c.screen).x(), c.correctedLeft);
  }
  EXPECT_EQ(CorrectedPlacement(QRect(100, 1048, 900, 602), hd).y(), 540);
  const QPoint narrow = CentredPosition({819, 602}, {800, 600});
  EXPECT_EQ(narrow, QPoint(-9, -1));
  EXPECT_EQ(CorrectedPlacement(QRect(narrow, QSize(819, 602)), {800, 600}).topLeft(),
            QPoint(400, 300));
}

TEST(Settings, DefaultsRoundTripAndBadNumbers) {
  QTemporaryDir config;
  const QByteArray before = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  EXPECT_EQ(ToolSettings::FilePath(), config.path() + "/Corvane Electronics/vxkTool.conf");
  const StoredSettings first = ToolSettings::Load();
  const QString home = QDir::homePath();
  EXPECT_EQ(first.openDir, home + "/");
  EXPECT_EQ(first.diagDir, home + "/");
  EXPECT_EQ(first.saveToDir, home);
  EXPECT_EQ(first.dir, "/");
  EXPECT_EQ(first.main.x, -1);

  StoredSettings s;
  s.openDir = "/fw/";
  s.saveToDir = "/";
  s.dir = "/Con";
  s.diagDir = "/d/";
  s.main = {10, 20, 830, 610};
  s.log = {-8, 5, 0, 400};
  ToolSettings::Save(s);
  StoredSettings back = ToolSettings::Load();
  EXPECT_EQ(back.openDir, "/fw/");
  EXPECT_EQ(back.saveToDir, "/");
  EXPECT_EQ(back.dir, "/Con");
  EXPECT_EQ(back.diagDir, "/d/");
  EXPECT_EQ(back.main.w, 830);
  EXPECT_EQ(back.log.x, -8);
  EXPECT_EQ(back.log.h, 400);

  // A hand-edited file: a number with junk counts as missing.
  QFile file(ToolSettings::FilePath());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("[General]\nMainX=12abc\nMainY=20\nSaveToDir=/tmp/\n");
  file.close();
  back = ToolSettings::Load();
  EXPECT_EQ(back.main.x, -1);
  EXPECT_EQ(back.main.y, 20);
  EXPECT_EQ(back.saveToDir, "/tmp");
  qputenv("XDG_CONFIG_HOME", before);
}

TEST(Settings, MainWindowRestoresPathBoxAndLogPlacement) {
  SimDevice sim;
  FakeHidBackend backend(&sim.Device());
  {
    Tool tool({}, &backend);
    tool.window->show();
    EXPECT_EQ(tool.window->Browser().edDir->text(), "/");
    EXPECT_FALSE(tool.window->fmLog->LogPositionStored);
    tool.window->Browser().edDir->setText(QStringLiteral("/Con"));
    tool.window->close();
  }
  const StoredSettings saved = ToolSettings::Load();
  EXPECT_EQ(saved.dir, "/Con");
  EXPECT_EQ(saved.log.x, -1);  // never shown: nothing of its own to store
  StoredSettings withLog = saved;
  withLog.log = {20, 30, 700, 380};
  ToolSettings::Save(withLog);
  Tool again({}, &backend);
  again.window->show();
  EXPECT_EQ(again.window->Browser().edDir->text(), "/Con");
  EXPECT_TRUE(again.window->fmLog->LogPositionStored);
  EXPECT_EQ(again.window->fmLog->size(), QSize(700, 380));
  again.window->close();
  EXPECT_EQ(ToolSettings::Load().log.w, 700);
}

}  // namespace
