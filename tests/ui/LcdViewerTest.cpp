#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include "UiTestSupport.h"
#include "sim/HidRig.h"
#include "ui/LcdRender.h"
#include "ui/PngImage.h"
#include "ui/ToolActions.h"
#include "ui/ufmLCD.h"

using namespace vxk;

namespace {

// One lit pixel at (0, 0) of a 2 x 8 screen, and its neighbour lit too.
const LcdSnapshot kLone{2, 8, "0100"};
const LcdSnapshot kPair{2, 8, "0101"};

QRgb At(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFF;
}

TEST(LcdRender, BezelPixelsAndShadows) {
  LcdLook look;  // margin 6, scale 2, shadow 15
  QImage image = DrawSnapshot(kLone, look);
  ASSERT_EQ(image.size(), QSize((2 + 12) * 2, (8 + 12) * 2));
  EXPECT_EQ(At(image, 0, 0), qRgb(184, 240, 128) & 0xFFFFFF);
  EXPECT_EQ(At(image, 12, 12), 0u);                              // the pixel
  EXPECT_EQ(At(image, 14, 14), qRgb(142, 190, 108) & 0xFFFFFF);  // its shadow
  EXPECT_EQ(At(image, 14, 13), qRgb(142, 190, 108) & 0xFFFFFF);  // right of it
  EXPECT_EQ(At(image, 12, 16), qRgb(168, 224, 128) & 0xFFFFFF);  // glass beyond
  // The lit neighbour is drawn after the shadow and covers it.
  image = DrawSnapshot(kPair, look);
  EXPECT_EQ(At(image, 14, 13), 0u);
  EXPECT_EQ(At(image, 16, 14), qRgb(142, 190, 108) & 0xFFFFFF);

  // Without colour simulation: no bezel, white glass, grey shadow.
  look.margin = 0;
  look.bezel = look.lcd = qRgb(255, 255, 255);
  image = DrawSnapshot(kLone, look);
  ASSERT_EQ(image.size(), QSize(4, 16));
  EXPECT_EQ(At(image, 0, 0), 0u);
  EXPECT_EQ(At(image, 1, 1), 0u);
  EXPECT_EQ(At(image, 2, 2), qRgb(216, 216, 216) & 0xFFFFFF);
  // Scale 1 draws no shadow even with one set.
  look.scale = 1;
  image = DrawSnapshot(kPair, look);
  EXPECT_EQ(At(image, 1, 1), 0xFFFFFFu);
}

TEST(LcdRender, BitsBelowTheHeightAreClippedToTheBitmap) {
  LcdLook look;
  look.margin = 0;
  look.scale = 4;
  // Height 3, every bit set in the last column: rows 3..7 lie outside a margin-0 bitmap,
  // and the right column's shadow past its right edge.
  const QImage image = DrawSnapshot(LcdSnapshot{2, 3, "ffff"}, look);
  ASSERT_EQ(image.size(), QSize(8, 12));
  EXPECT_EQ(At(image, 7, 11), 0u);
  // With a margin the same bits fall into the lower bezel.
  look.margin = 1;
  const QImage framed = DrawSnapshot(LcdSnapshot{2, 3, "ffff"}, look);
  EXPECT_EQ(At(framed, 4, 4 * 4), 0u);
  EXPECT_TRUE(DrawSnapshot(LcdSnapshot{0, 0, ""}, look).size() == QSize(8, 8));
  look.margin = 0;
  EXPECT_TRUE(DrawSnapshot(LcdSnapshot{0, 0, ""}, look).isNull());
}

TEST(LcdRender, FileNameOfTheMoment) {
  EXPECT_EQ(LcdFileName(QDateTime(QDate(2024, 5, 1), QTime(13, 45, 1))),
            QStringLiteral("LCD.2024-05-01.134501.png"));
  EXPECT_EQ(LcdFileName(QDateTime(QDate(2024, 12, 9), QTime(7, 5, 0))),
            QStringLiteral("LCD.2024-12-09.070500.png"));
}

// A PNG reader of its own (Python's zlib): checks every chunk's CRC, undoes the row filters
// and prints the size and the RGB bytes in hex.
const char* const kPngReader = R"PY(
import sys, zlib, struct
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n', 'signature'
pos, idat, ihdr = 8, b'', None
while pos < len(data):
    n, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    crc, = struct.unpack('>I', data[pos + 8 + n:pos + 12 + n])
    assert zlib.crc32(kind + body) & 0xffffffff == crc, 'crc'
    if kind == b'IHDR': ihdr = struct.unpack('>IIBBBBB', body)
    if kind == b'IDAT': idat += body
    pos += 12 + n
w, h, depth, colour = ihdr[:4]
assert depth == 8 and colour == 2, 'format'
raw, bpp, stride = zlib.decompress(idat), 3, w * 3
prev, out = bytearray(stride), bytearray()
for y in range(h):
    f = raw[y * (stride + 1)]
    line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            pr = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            line[i] = (line[i] + pr) & 255
    out += line
    prev = line
print(w, h, out.hex())
)PY";

TEST(LcdPng, ReadBackByAnIndependentDecoder) {
  HidRig rig;
  ASSERT_TRUE(rig.link.Open());
  TvxTerminal term(rig.link);
  const LcdFetchResult r = FetchLcdSnapshot(term);
  ASSERT_TRUE(r.ok());
  LcdLook look;
  look.scale = 3;
  const QImage image = DrawSnapshot(r.snapshot, look);

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("LCD.png"));
  SavePng(image, path);
  QProcess python;
  python.start(QStringLiteral("python3"),
               {QStringLiteral("-c"), QString::fromLatin1(kPngReader), path});
  ASSERT_TRUE(python.waitForFinished(30000));
  ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
  const QList<QByteArray> fields = python.readAllStandardOutput().trimmed().split(' ');
  ASSERT_EQ(fields.size(), 3);
  EXPECT_EQ(fields[0].toInt(), image.width());
  EXPECT_EQ(fields[1].toInt(), image.height());
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  QByteArray expected;
  for (int y = 0; y < rgb.height(); ++y) {
    expected.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
  }
  EXPECT_TRUE(QByteArray::fromHex(fields[2]) == expected);

  // Failures are errors with their reason, and an existing file survives a failed write.
  EXPECT_THROW(SavePng(QImage(), path), PngError);
  EXPECT_GT(QFile(path).size(), 0);
  try {
    SavePng(image, dir.filePath(QStringLiteral("missing/LCD.png")));
    ADD_FAILURE() << "no error for a missing folder";
  } catch (const PngError& e) {
    EXPECT_NE(std::string(e.what()).find("missing/LCD.png"), std::string::npos) << e.what();
  }
}

class LcdWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(worker.runner.LinkOpen());
    lcd.SetRunner(&worker.runner);
  }
  template <class T>
  T* Find(const char* name) {
    return lcd.findChild<T*>(QLatin1String(name));
  }
  void Snapshot() {
    lcd.GetSnapshot();
    ASSERT_TRUE(Idle(worker.runner));
  }

  HidRig rig;
  RigRunner worker{rig};
  TfmLCD lcd;
};

TEST_F(LcdWindow, SnapshotLookMenuAndKeys) {
  EXPECT_EQ(lcd.windowTitle(), QStringLiteral("LCD Snapshot"));
  EXPECT_FALSE(lcd.isVisible());
  Snapshot();
  ASSERT_TRUE(lcd.isVisible());
  EXPECT_TRUE(lcd.windowTitle().startsWith(QStringLiteral("LCD Snapshot @ ")));
  EXPECT_EQ(lcd.Picture().size(), QSize((128 + 12) * 2, (64 + 12) * 2));
  EXPECT_EQ(lcd.size(), QSize(280 + 32, 152 + 64));

  auto* menu = Find<QMenu>("PopupMenu1");
  ASSERT_NE(menu, nullptr);
  QStringList items;
  for (QAction* a : menu->actions()) items << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(items, QStringList({"Refresh", "-", "Colour Simulation", "Shadow", "Scale", "-", "Copy",
                                "Save to file"}));

  // Colour simulation off and on again: margin 7 from then on.
  auto* simulated = Find<QAction>("SimulatedLCD1");
  simulated->trigger();
  EXPECT_EQ(lcd.Picture().size(), QSize(256, 128));
  // The screen's lit frame at (0, 0) casts its grey shadow onto white glass.
  EXPECT_EQ(At(lcd.Picture(), 0, 0), 0u);
  EXPECT_EQ(At(lcd.Picture(), 2, 2), qRgb(216, 216, 216) & 0xFFFFFF);
  EXPECT_EQ(At(lcd.Picture(), 3, 3), 0xFFFFFFu);
  simulated->trigger();
  EXPECT_EQ(lcd.Picture().size(), QSize((128 + 14) * 2, (64 + 14) * 2));
  Find<QAction>("x41")->trigger();
  EXPECT_EQ(lcd.Picture().size(), QSize((128 + 14) * 4, (64 + 14) * 4));
  EXPECT_TRUE(Find<QAction>("x41")->isChecked());
  EXPECT_FALSE(Find<QAction>("x21")->isChecked());

  // Buttons share the panel's width less the margins.
  auto* key1 = Find<QPushButton>("btnKey1");
  auto* key2 = Find<QPushButton>("btnKey2");
  const int q = (Find<QWidget>("Panel1")->width() - 2 * 7) / 4;
  EXPECT_EQ(key1->x(), 7);
  EXPECT_EQ(key1->width(), q - 4);
  EXPECT_EQ(key2->x(), 7 + q);

  const QImage before = lcd.Picture();
  Find<QPushButton>("btnKey3")->click();
  ASSERT_TRUE(Idle(worker.runner));
  EXPECT_TRUE(rig.sim.Panel().Ticked(0));
  EXPECT_FALSE(lcd.Picture() == before);

  lcd.findChild<QAction*>(QStringLiteral("Copy1"))->trigger();
  EXPECT_EQ(QApplication::clipboard()->image().size(), lcd.Picture().size());
}

TEST_F(LcdWindow, OtherMarkerTellsTheUserAndKeepsThePicture) {
  Snapshot();
  const QImage before = lcd.Picture();
  rig.backend.WithDevice([&](VirtualDevice&) { rig.sim.Panel().Lcd().marker = "SSD1306"; });
  MessageBoxCatcher box;
  Snapshot();
  EXPECT_EQ(box.title, QStringLiteral("Info"));
  EXPECT_EQ(box.text, QStringLiteral("LCD not used by the Lua App"));
  EXPECT_TRUE(lcd.Picture() == before);
  // A size out of bounds ends the fetch quietly; the picture stays.
  rig.backend.WithDevice([&](VirtualDevice&) {
    rig.sim.Panel().Lcd() = LcdFaults();
    rig.sim.Panel().Lcd().height = 5000;
  });
  Snapshot();
  EXPECT_TRUE(lcd.Picture() == before);
}

}  // namespace
