#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <fstream>
#include <thread>

#include "UiTestSupport.h"
#include "ops/FirmwareUpdate.h"
#include "sim/HeaderText.h"
#include "sim/StreamServer.h"
#include "sim/TcpRig.h"

using namespace vxk;

namespace {

// Drops local files on a widget's viewport as a file manager would, offering Move too.
Qt::DropAction DropFiles(QAbstractScrollArea* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  data.setUrls(urls);
  const Qt::DropActions offered = Qt::MoveAction | Qt::CopyAction;
  QDragEnterEvent enter(QPoint(5, 5), offered, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target->viewport(), &enter);
  QDropEvent drop(QPointF(5, 5), offered, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target->viewport(), &drop);
  return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

class Firmware : public ::testing::Test {
 protected:
  QString Write(const QString& name, const std::string& content) {
    const QString path = dir.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << content;
    return path;
  }
  static void Faster(Tool& tool) {
    tool.window->Firmware().Sleep = [](int ms) { SleepMs(ms / 20); };
  }
  QTemporaryDir dir;
};

class UsbFirmware : public Firmware {
 protected:
  UsbFirmware() : backend(&sim.Device()) {
    BootLoaderSettings& s = sim.Loader().Settings();
    s.restartMs = 200;
    s.stageMs = {200, 200, 200};
  }
  bool Opened(Tool& tool) {
    return WaitUntil([&] { return tool.window->Browser().lvFiles->topLevelItemCount() > 0; }, 5000);
  }
  std::vector<BootLoader::Image> Images() {
    std::vector<BootLoader::Image> images;
    backend.WithDevice([&](VirtualDevice&) { images = sim.Loader().Images(); });
    return images;
  }

  SimDevice sim;
  FakeHidBackend backend;
};

TEST_F(UsbFirmware, DroppedImagesGoThroughTheBootLoaderAndTheDeviceComesBack) {
  Tool tool({}, &backend);
  ASSERT_TRUE(Opened(tool));
  Faster(tool);
  const QString a = Write(QStringLiteral("a.blf"), "AAAA");
  const QString notes = Write(QStringLiteral("notes.txt"), "n");
  const QString b = Write(QStringLiteral("b.BLF"), std::string(6000, 'b'));
  EXPECT_EQ(DropFiles(tool.window->Browser().lvFiles, {a, notes, b}), Qt::CopyAction);
  ASSERT_TRUE(tool.PaneShows(QStringLiteral("Run firmware..."), 20000))
      << tool.PaneText().toStdString();
  const QString text = tool.PaneText();
  const int reboot = text.indexOf(QStringLiteral("Rebooting..."));
  const int first =
      text.indexOf(QStringLiteral("Upload BLF\nb.BLF / 6000\n load\n verify\n burn\n"));
  const int second = text.indexOf(QStringLiteral("Upload BLF\na.blf / 4\n load\n verify\n burn\n"));
  const int run = text.indexOf(QStringLiteral("Run firmware...\n"));
  EXPECT_TRUE(reboot >= 0 && reboot < first && first < second && second < run)
      << text.toStdString();
  bool bold = false;
  EXPECT_EQ(ColourOf(tool.window->Pane().reTerm(), QStringLiteral("b.BLF"), &bold),
            QColor(0, 128, 0));
  EXPECT_TRUE(bold);
  const auto images = Images();
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].name, "b.BLF");  // a dropped image keeps its letter case
  EXPECT_EQ(images[0].data, std::string(6000, 'b'));
  EXPECT_EQ(images[1].name, "a.blf");
  // "run" restarts the device into its application, which the window opens again.
  FileBrowser& browser = tool.window->Browser();
  EXPECT_TRUE(
      WaitUntil([&] { return browser.memInfo->toPlainText().contains("vx.keeper.Sim"); }, 5000))
      << browser.memInfo->toPlainText().toStdString();
  backend.WithDevice([&](VirtualDevice&) {
    EXPECT_EQ(sim.Loader().Runs(), 1);
    EXPECT_FALSE(sim.Loader().Active());
  });
}

TEST_F(UsbFirmware, LoadFirmwareSendsTheChosenFileUnderItsLowerCaseName) {
  sim.Device().Identity().capabilities = ".nfi.";
  Tool tool({}, &backend);
  ASSERT_TRUE(Opened(tool));
  FirmwareLoader& fw = tool.window->Firmware();
  EXPECT_FALSE(fw.actFirmware->isEnabled());  // without ".uft." there is nothing to load
  EXPECT_FALSE(fw.Button1->isEnabled());
  EXPECT_EQ(FirmwareLoader::Filters(), QStringLiteral("Firmware (*.blf *.BLF);;All files (*)"));

  QString chosen;
  fw.ChooseFile = [&] { return chosen; };
  fw.actFirmwareExecute();  // cancelled
  chosen = Write(QStringLiteral("EMPTY.BLF"), "");
  fw.actFirmwareExecute();
  EXPECT_FALSE(tool.Runner().Busy());
  EXPECT_EQ(sim.Files().FirmwareName(), "");  // neither sent anything
  chosen = Write(QStringLiteral("FIRM.BLF"), "image\r\nbytes");
  fw.actFirmwareExecute();
  ASSERT_TRUE(tool.Idle());
  EXPECT_EQ(sim.Files().FirmwareName(), "firm.blf");
  EXPECT_EQ(sim.Files().FirmwareImage(), "image\r\nbytes");
  EXPECT_TRUE(tool.PaneText().contains("0:No error"));  // the device's closing line
  backend.WithDevice([&](VirtualDevice&) {
    sim.Files().Faults().loadStatus = "7:Image checksum wrong, not stored";
  });
  fw.actFirmwareExecute();
  ASSERT_TRUE(tool.Idle());
  EXPECT_TRUE(tool.PaneText().contains("7:Image checksum wrong, not stored"));
  chosen = dir.path();  // a folder is a file that cannot be opened
  EXPECT_THROW(fw.actFirmwareExecute(), LocalFileError);
}

TEST_F(UsbFirmware, AnUnreadableImageStopsTheDropBeforeTheDeviceRestarts) {
  Tool tool({}, &backend);
  ASSERT_TRUE(Opened(tool));
  QStringList dropped = {Write(QStringLiteral("good.blf"), "g"), dir.filePath("gone.blf"),
                         dir.filePath("other.txt")};
  EXPECT_THROW(tool.window->InstallDroppedFirmware(dropped), LocalFileError);
  EXPECT_FALSE(tool.PaneText().contains(QStringLiteral("Rebooting...")));
  backend.WithDevice([&](VirtualDevice&) { EXPECT_EQ(sim.Loader().Boots(), 0); });
  EXPECT_FALSE(tool.Runner().Busy());
  EXPECT_TRUE(tool.LinkOpen());
}

TEST_F(Firmware, TcpDeviceDropsItsConnectionOnBootAndIsReportedClosed) {
  int toolSide = -1;
  int deviceSide = -1;
  ASSERT_TRUE(LoopbackPair(toolSide, deviceSide));
  SimDevice sim;
  HeaderOptions header;
  header.key = "fw";
  const std::string text = BuildConnectHeader(sim.Device().Identity(), header);
  ASSERT_EQ(write(deviceSide, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  Tool tool({"-sock=" + std::to_string(toolSide), "-key=fw"});
  std::thread serving([&] {
    std::string proof;
    char c;
    while (proof.size() < 66 && read(deviceSide, &c, 1) == 1) proof += c;
    StreamServer server(sim.Device(), deviceSide);
    server.Run();
    close(deviceSide);
  });
  ASSERT_TRUE(
      WaitUntil([&] { return tool.window->Browser().lvFiles->topLevelItemCount() > 0; }, 8000));
  Faster(tool);
  EXPECT_EQ(DropFiles(tool.window->Browser().memInfo, {Write(QStringLiteral("x.blf"), "x")}),
            Qt::CopyAction);
  ASSERT_TRUE(tool.PaneShows(QStringLiteral("Run firmware..."), 20000));
  serving.join();  // "boot" ended the device's side
  const QString pane = tool.PaneText();
  EXPECT_TRUE(pane.contains(QStringLiteral("Rebooting...") + QString(15, '.') + "FAILED"))
      << pane.toStdString();
  EXPECT_FALSE(pane.contains(QStringLiteral("Upload BLF")));
  EXPECT_TRUE(tool.PaneShows(QStringLiteral("Closed (app finished)"), 2000));
  EXPECT_TRUE(tool.Caption().endsWith(QStringLiteral("[CLOSED]")));
  Pump(600);
  EXPECT_EQ(tool.PaneText().count(QStringLiteral("Closed (app finished)")), 1);
  EXPECT_EQ(sim.Loader().Boots(), 1);
}

TEST_F(Firmware, SerialDeviceNeverShowsItsBootLoaderButGetsRun) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  SimDevice sim;
  sim.Loader().Settings().restartMs = 50;
  StreamServer server(sim.Device(), master);
  std::thread serving([&] { server.Run(true); });
  {
    Tool tool({"-com=" + slave});
    ASSERT_TRUE(
        WaitUntil([&] { return tool.window->Browser().lvFiles->topLevelItemCount() > 0; }, 8000));
    Faster(tool);
    QStringList dropped = {Write(QStringLiteral("x.blf"), "x"), dir.filePath("keep.txt")};
    EXPECT_TRUE(tool.window->InstallDroppedFirmware(dropped));
    EXPECT_EQ(dropped, QStringList{dir.filePath("keep.txt")});
    ASSERT_TRUE(tool.PaneShows(QStringLiteral("Run firmware..."), 20000));
    ASSERT_TRUE(tool.Idle());
    const QString pane = tool.PaneText();
    EXPECT_TRUE(pane.contains(QString(15, '.') + "FAILED")) << pane.toStdString();
    EXPECT_TRUE(tool.LinkOpen());
  }
  int boots = 0;
  int runs = 0;
  bool active = true;
  ASSERT_TRUE(WaitUntil(
      [&] {
        server.WithDevice([&](VirtualDevice&) {
          boots = sim.Loader().Boots();
          runs = sim.Loader().Runs();
          active = sim.Loader().Active();
        });
        return runs > 0;
      },
      3000));
  server.Stop();
  serving.join();
  EXPECT_EQ(boots, 1);
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(active);
}

}  // namespace
