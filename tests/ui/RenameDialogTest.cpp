#include <gtest/gtest.h>

#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/ufmRename.h"

using namespace vxk;

namespace {

// How wide the text drawn in an edit is, in pixels: the span of the columns that differ from
// the edit's own background in the middle of its height.
int InkWidth(QLineEdit* edit) {
  const QImage image = edit->grab().toImage();
  const int y0 = image.height() / 3;
  const int y1 = image.height() * 2 / 3;
  const QColor background = image.pixelColor(image.width() - 6, image.height() / 2);
  int left = image.width();
  int right = -1;
  for (int x = 4; x < image.width() - 4; ++x) {
    for (int y = y0; y <= y1; ++y) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.lightness() - background.lightness()) > 60) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
  }
  return right < left ? 0 : right - left + 1;
}

TEST(RenameDialog, BothNamesInTheSameFont) {
  QWidget main;
  main.resize(800, 600);
  main.show();
  TfmRename rename(&main);
  rename.SetName(QStringLiteral("settings_0123.cfg"));
  rename.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&rename));
  // As the dialog opens the new name is selected; both plain for the comparison.
  rename.edToName->deselect();
  rename.edToName->setCursorPosition(0);
  rename.btnCancel->setFocus();
  const QFontInfo from(rename.edFromName->font());
  const QFontInfo to(rename.edToName->font());
  EXPECT_EQ(from.family(), to.family());
  EXPECT_EQ(from.pixelSize(), to.pixelSize());
  EXPECT_EQ(from.weight(), to.weight());
  EXPECT_TRUE(from.fixedPitch() && to.fixedPitch());
  const int width = InkWidth(rename.edFromName);
  EXPECT_GT(width, 17 * from.pixelSize() / 3);  // the name was drawn at all
  EXPECT_NEAR(width, InkWidth(rename.edToName), 1);
}

}  // namespace
