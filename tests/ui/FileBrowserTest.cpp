#include <gtest/gtest.h>

#include <QAction>
#include <QCollator>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>

#include "FileAccess/DosTime.h"
#include "UiTestSupport.h"

using namespace vxk;

namespace {

class Browser : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_unique<FakeHidBackend>(&sim.Device());
    tool = std::make_unique<Tool>(std::vector<std::string>{}, backend.get());
    tool->window->show();
    ASSERT_TRUE(WaitUntil([&] { return list()->topLevelItemCount() > 0; }, 5000));
  }
  FileBrowser& browser() { return tool->window->Browser(); }
  QTreeWidget* list() { return browser().lvFiles; }
  QTreeWidgetItem* Item(const QString& name) {
    const auto found = list()->findItems(name, Qt::MatchExactly, 0);
    return found.isEmpty() ? nullptr : found.first();
  }
  QStringList Names() {
    QStringList names;
    for (int i = 0; i < list()->topLevelItemCount(); ++i) names << list()->topLevelItem(i)->text(0);
    return names;
  }
  void Open(const QString& name) {
    QTreeWidgetItem* item = Item(name);
    ASSERT_NE(item, nullptr) << name.toStdString();
    list()->setCurrentItem(item);
    QTest::keyClick(list(), Qt::Key_Return);
    ASSERT_TRUE(tool->Idle());
  }
  void Show(const char* dir) {
    browser().ShowDeviceDirectory(dir);
    ASSERT_TRUE(tool->Idle());
  }
  SimFileSystem& Files() { return sim.Files().Files(); }

  SimDevice sim;
  std::unique_ptr<FakeHidBackend> backend;
  std::unique_ptr<Tool> tool;
};

TEST_F(Browser, ColumnsAndTopLevelListing) {
  QTreeWidgetItem* header = list()->headerItem();
  EXPECT_EQ(header->text(0), QStringLiteral("Filename"));
  EXPECT_EQ(header->text(1), QStringLiteral("Size"));
  EXPECT_EQ(header->text(2), QStringLiteral("Attr"));
  EXPECT_EQ(header->text(3), QStringLiteral("Created"));
  EXPECT_EQ(list()->columnWidth(0), 350);
  EXPECT_EQ(list()->columnWidth(1), 110);
  EXPECT_EQ(list()->columnWidth(2), 75);
  EXPECT_EQ(list()->columnWidth(3), 200);
  EXPECT_EQ(Names(),
            (QStringList{"Config", "Logs", "Lua", "Send", "Store", "System", "readme.txt"}));
  EXPECT_EQ(Item("Lua")->text(2), QStringLiteral("<DIR>"));
  EXPECT_TRUE(Item("Lua")->text(1).isEmpty());
}

TEST_F(Browser, EntriesIconsAndAttributes) {
  const uint32_t stamp = (46u << 25) | (12u << 21) | (7u << 16) | (9u << 11) | (30u << 5);
  Files().MakeDirectory("/T", stamp);
  Files().WriteFile("/T/Test.LUA.bak", "x", stamp);
  Files().WriteFile("/T/plain.txt", "12345", 0);
  Files().WriteFile("/T/ro.txt", "r", stamp);
  Files().Find("/T/ro.txt")->attributes = 0x21;
  Files().MakeDirectory("/T/sub", stamp);
  Files().Find("/T/sub")->attributes = 0x12;
  // Sorted under the user's collation: in English, letter case does not come first.
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Show("/T");
  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(Names(), (QStringList{"..", "plain.txt", "ro.txt", "sub", "Test.LUA.bak"}));
  auto icon = [&](const char* name) { return Item(name)->data(0, Qt::UserRole).toInt(); };
  EXPECT_EQ(icon(".."), 3);
  EXPECT_EQ(icon("sub"), 0);
  EXPECT_EQ(icon("plain.txt"), 1);
  EXPECT_EQ(icon("Test.LUA.bak"), 2);
  EXPECT_TRUE(Item("..")->text(1).isEmpty());
  EXPECT_EQ(Item("ro.txt")->text(2), QStringLiteral("AR"));
  EXPECT_EQ(Item("sub")->text(2), QStringLiteral("<DIR>"));
  EXPECT_EQ(Item("plain.txt")->text(1), QStringLiteral("5"));
  EXPECT_EQ(Item("plain.txt")->text(1).isEmpty(), false);
  EXPECT_TRUE(Item("plain.txt")->text(3).isEmpty());  // no time stamp
  EXPECT_EQ(Item("ro.txt")->text(3), QStringLiteral("2026-12-07 09:30:00"));
  // The raw line is kept with the item.
  EXPECT_TRUE(Item("ro.txt")
                  ->data(0, FileBrowser::kRawLineRole)
                  .toByteArray()
                  .startsWith("ro.txt\t1\t33\t"));
  EXPECT_EQ(Item("ro.txt")->textAlignment(1) & Qt::AlignRight, Qt::AlignRight);
}

TEST_F(Browser, SelectedRowIsHighlightedAndReadableWithGridLines) {
  list()->setCurrentItem(Item("Lua"));
  ASSERT_TRUE(Item("Lua")->isSelected());
  const QImage image = list()->viewport()->grab().toImage();
  const qreal dpr = image.devicePixelRatio();
  auto pixel = [&](int x, int y) { return image.pixelColor(qRound(x * dpr), qRound(y * dpr)); };
  auto far = [](const QColor& a, const QColor& b) {
    const int d = std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                  std::abs(a.blue() - b.blue());
    return d > 96;
  };
  const QPalette::ColorGroup group =
      list()->isActiveWindow() ? QPalette::Active : QPalette::Inactive;
  const QColor highlight = list()->palette().color(group, QPalette::Highlight);
  // Inside the selected row's "<DIR>" cell, away from its grid lines: mostly highlight, and
  // enough pixels of another colour to make out the text.
  const QModelIndex attr = list()->model()->index(list()->indexOfTopLevelItem(Item("Lua")), 2);
  const QRect cell = list()->visualRect(attr).adjusted(2, 2, -2, -2);
  int background = 0;
  int text = 0;
  for (int y = cell.top(); y <= cell.bottom(); ++y) {
    for (int x = cell.left(); x <= cell.right(); ++x) {
      ++(far(pixel(x, y), highlight) ? text : background);
    }
  }
  const int area = cell.width() * cell.height();
  EXPECT_GT(background, area / 2) << "highlight " << highlight.name().toStdString();
  EXPECT_GE(text, 5);
  // An unselected row still has its grid line at the bottom.
  const QRect other = list()->visualItemRect(Item("Config"));
  EXPECT_NE(pixel(other.center().x(), other.bottom()), list()->palette().color(QPalette::Base));
}

TEST_F(Browser, UnparsableLinesAreLeftOut) {
  std::vector<std::string> lines{"good.txt\t1\t32\t0\t0\t0", "bad.txt\tbig\t32", "onlyname",
                                 ".\t0\t16\t0\t0\t0"};
  list()->clear();
  browser().FillList(lines);
  EXPECT_EQ(Names(), (QStringList{"good.txt"}));
}

TEST_F(Browser, NavigationCollapsesTheDoubleSlashAndGoesUp) {
  ASSERT_EQ(browser().CurrentDir(), "/");
  Open(QStringLiteral("Lua"));
  EXPECT_EQ(browser().edDir->text(), QStringLiteral("/Lua"));
  EXPECT_EQ(browser().CurrentDir(), "/Lua");
  EXPECT_EQ(sim.Device().LastCommand(), "NFDIR @\"/Lua\"");
  EXPECT_EQ(Names(), (QStringList{"..", "lib", "main.lua"}));
  Open(QStringLiteral(".."));
  EXPECT_EQ(browser().edDir->text(), QString());
  EXPECT_EQ(sim.Device().LastCommand(), "NFDIR @\"\"");
  Open(QStringLiteral("Lua"));
  EXPECT_EQ(browser().edDir->text(), QStringLiteral("/Lua"));
  // Double-click does the same.
  QTreeWidgetItem* lib = Item("lib");
  list()->setCurrentItem(lib);
  emit list()->itemDoubleClicked(lib, 0);
  ASSERT_TRUE(tool->Idle());
  EXPECT_EQ(browser().edDir->text(), QStringLiteral("/Lua/lib"));
}

TEST_F(Browser, HalfTypedPathIsTheTargetOfRefresh) {
  browser().edDir->setText(QStringLiteral("/Con"));
  EXPECT_EQ(browser().CurrentDir(), "/Con");
  browser().actRefresh->trigger();
  ASSERT_TRUE(tool->Idle());
  EXPECT_EQ(sim.Device().LastCommand(), "NFDIR @\"/Con\"");
  EXPECT_EQ(list()->topLevelItemCount(), 0);  // no such folder: nothing listed
  EXPECT_EQ(browser().edDir->text(), QStringLiteral("/Con"));
  // Enter in the path box lists it and moves on to the list.
  browser().edDir->setText(QStringLiteral("/Config"));
  browser().edDir->setFocus();
  QTest::keyClick(browser().edDir, Qt::Key_Return);
  ASSERT_TRUE(tool->Idle());
  EXPECT_EQ(Names(), (QStringList{"..", "channels.cfg", "settings.cfg"}));
}

TEST_F(Browser, ListingWaitsWhileTheDeviceWantsItsPassword) {
  sim.Device().SetPassword("pw");
  const int commands = sim.Device().CommandCount();
  Show("/Lua");
  EXPECT_EQ(Names(), (QStringList{"Config", "Logs", "Lua", "Send", "Store", "System",
                                  "readme.txt"}));  // unchanged
  EXPECT_EQ(sim.Device().CommandCount(), commands);
}

TEST_F(Browser, ProgressRepaintsTextAtMostEvery100ms) {
  // The bar shows while a transfer runs only.
  EXPECT_FALSE(browser().pbFile->isVisibleTo(tool->window.get()));
  browser().OnTransferProgress(4096, 10000);
  EXPECT_TRUE(browser().pbFile->isVisibleTo(tool->window.get()));
  EXPECT_EQ(browser().pbFile->value(), 4096);
  EXPECT_EQ(browser().lblSize->text(), QStringLiteral("4096 / 10000"));
  SleepMs(50);
  browser().OnTransferProgress(8192, 10000);
  EXPECT_EQ(browser().pbFile->value(), 8192);
  EXPECT_EQ(browser().lblSize->text(), QStringLiteral("4096 / 10000"));
  SleepMs(120);
  browser().OnTransferProgress(10000, 10000);
  EXPECT_EQ(browser().lblSize->text(), QStringLiteral("10000 / 10000"));
  browser().OnTransferDone();
  EXPECT_TRUE(browser().lblSize->text().isEmpty());
  EXPECT_EQ(browser().pbFile->value(), 0);
  EXPECT_FALSE(browser().pbFile->isVisibleTo(tool->window.get()));
  // Right after a transfer the first progress call repaints at once.
  browser().OnTransferProgress(1, 2);
  EXPECT_EQ(browser().lblSize->text(), QStringLiteral("1 / 2"));
}

// A read on the worker drives the display on the window thread: the latest position of each
// delivery (several blocks may come as one), up to the whole file.
TEST_F(Browser, FileReadsDriveTheProgressDisplay) {
  Files().WriteFile("/Logs/big.bin", std::string(20000, 'b'), 0);
  std::vector<int> values;
  OpResult read = OpResult::Fail(Reason::TimedOut);
  UiRunner::Op op;
  op.what = QStringLiteral("Read");
  op.progress = [&](int64_t pos, int64_t total) {
    browser().OnTransferProgress(pos, total);
    values.push_back(browser().pbFile->value());
  };
  op.run = [](Session& s, const OpContext& context) {
    std::string content;
    return s.Files().ReadFile("/Logs/big.bin", content, context);
  };
  op.done = [&](const OpResult& result) {
    read = result;
    browser().OnTransferDone();
  };
  tool->Runner().Post(&browser(), std::move(op));
  ASSERT_TRUE(tool->Idle());
  EXPECT_TRUE(read.ok());
  ASSERT_FALSE(values.empty());
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_EQ(values.back(), 20000);
  EXPECT_EQ(browser().pbFile->value(), 0);  // done clears it
}

TEST_F(Browser, SavedCount) {
  browser().ShowSavedCount(12);
  EXPECT_TRUE(browser().lblCount->isVisibleTo(tool->window.get()));
  EXPECT_EQ(browser().lblCount->text(), QStringLiteral("12"));
  browser().HideSavedCount();
  EXPECT_FALSE(browser().lblCount->isVisibleTo(tool->window.get()));
}

TEST_F(Browser, LargeListingIsSortedByLocaleCollation) {
  Files().MakeDirectory("/Many", 0);
  for (const char* name : {"b.txt", "B2.txt", "a10.txt", "a2.txt", "_x.txt", "A1.txt"}) {
    Files().WriteFile(std::string("/Many/") + name, "x", 0);
  }
  Show("/Many");
  QStringList names = Names();
  names.removeAll(QStringLiteral(".."));
  QStringList sorted = names;
  QCollator collator;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
  EXPECT_EQ(names, sorted);
  EXPECT_EQ(names.size(), 6);
}

}  // namespace
