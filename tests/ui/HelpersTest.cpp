#include <gtest/gtest.h>

#include <QTextEdit>

#include "ui/DeviceText.h"
#include "ui/FileBrowser.h"
#include "ui/FileIcons.h"
#include "ui/RichEditUtils.h"

using namespace vxk;

namespace {

TEST(DeviceText, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const QString shown = FromDevice(all);
  EXPECT_EQ(shown.size(), 256);
  EXPECT_EQ(ToDevice(shown), all);
  EXPECT_EQ(shown.at(0x80), QChar(0x20AC));  // euro sign
  EXPECT_EQ(shown.at(0x81), QChar(0x81));    // undefined byte: C1 control of the same value
  EXPECT_EQ(shown.at(0xAB), QChar(0xAB));
  EXPECT_EQ(ToDevice(QStringLiteral("\u4E2D")), "?");  // no byte for it
}

TEST(DeviceText, EveryLineEndBecomesOneCr) {
  EXPECT_EQ(CrLineEnds(QStringLiteral("a\nb\r\nc\rd\n\n")), QStringLiteral("a\rb\rc\rd\r\r"));
  EXPECT_EQ(CrLineEnds(QStringLiteral("\nx")), QStringLiteral("\rx"));
}

TEST(RichEditUtils, TrimCutsAtALineBreakWithinHalfTheLimit) {
  QTextEdit pane;
  pane.setPlainText(QStringLiteral("0123456789\nabcdefghij\nKLMNOPQRST"));  // 32 characters
  TrimToLimit(&pane, 20);
  // 12 must go; the first break after that point is after "abcdefghij".
  EXPECT_EQ(pane.toPlainText(), QStringLiteral("KLMNOPQRST"));

  pane.setPlainText(QString(30, QChar('x')));  // no break at all
  TrimToLimit(&pane, 20);
  EXPECT_EQ(TextLength(&pane), 10);  // never more than n - limit/2 at once, repeated

  pane.setPlainText(QStringLiteral("short"));
  TrimToLimit(&pane, 20);
  EXPECT_EQ(pane.toPlainText(), QStringLiteral("short"));
}

TEST(RichEditUtils, BreakBeyondTheBoundIsNotWaitedFor) {
  QTextEdit pane;
  // 10 over the limit of 20; the only break lies after the bound (30 - 10 = 20).
  pane.setPlainText(QString(25, QChar('a')) + QStringLiteral("\nbbbb"));
  TrimToLimit(&pane, 20);
  EXPECT_EQ(TextLength(&pane), 10);
  EXPECT_EQ(pane.toPlainText(), QStringLiteral("aaaaa\nbbbb"));
}

TEST(FileBrowserPaths, ParentPath) {
  EXPECT_EQ(FileBrowser::ParentPath("/Lua/sub"), "/Lua");
  EXPECT_EQ(FileBrowser::ParentPath("/Lua"), "");
  EXPECT_EQ(FileBrowser::ParentPath("/"), "");
  EXPECT_EQ(FileBrowser::ParentPath(""), "");
  EXPECT_EQ(FileBrowser::ParentPath("Lua/sub/"), "Lua/sub");
}

TEST(FileIcons, FourDistinctPictures) {
  QImage images[4];
  for (int i = 0; i < 4; ++i) {
    const QIcon icon = FileIconImage(static_cast<FileIcon>(i));
    ASSERT_FALSE(icon.isNull());
    images[i] = icon.pixmap(16, 16).toImage();
    EXPECT_EQ(images[i].size(), QSize(16, 16));
  }
  for (int i = 0; i < 4; ++i) {
    for (int j = i + 1; j < 4; ++j) EXPECT_NE(images[i], images[j]) << i << " " << j;
  }
}

}  // namespace
