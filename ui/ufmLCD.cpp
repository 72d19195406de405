#include "ui/ufmLCD.h"

#include <QActionGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>

#include "ops/LcdSnapshot.h"
#include "ui/Accessibility.h"
#include "ui/PngImage.h"
#include "ui/UiRunner.h"

namespace vxk {
namespace {

constexpr int kPanelHeight = 41;
constexpr int kButtonTop = 8;
// The window is the picture plus this much in each direction.
constexpr int kExtraWidth = 32;
constexpr int kExtraHeight = 64;
constexpr const char* kTag = "tag";

// A fetch as the window gets it back.
struct LcdFetch {
  OpResult result;
  bool asked = true;  // false: the device wants its password, nothing was fetched
  LcdSnapshot snapshot;
};

QAction* MenuItem(QMenu* menu, const QString& text, const char* name, bool checkable = false) {
  QAction* a = menu->addAction(text);
  a->setObjectName(QLatin1String(name));
  a->setCheckable(checkable);
  a->setChecked(checkable);
  return a;
}

}  // namespace

TfmLCD::TfmLCD(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("fmLCD"));
  setWindowTitle(QStringLiteral("LCD Snapshot"));
  resize(360, 320);
  FormCreate();
}

void TfmLCD::FormCreate() {
  imgLCD = new QLabel(this);
  imgLCD->setObjectName(QStringLiteral("imgLCD"));
  imgLCD->setAlignment(Qt::AlignCenter);
  imgLCD->setContextMenuPolicy(Qt::CustomContextMenu);
  // Focusable, so that the menu key opens the picture's menu without a mouse.
  imgLCD->setFocusPolicy(Qt::StrongFocus);
  Describe(imgLCD, QStringLiteral("LCD picture"), QStringLiteral("No snapshot yet"));

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(kPanelHeight);
  QPushButton* buttons[4];
  for (int i = 0; i < 4; ++i) {
    buttons[i] = new QPushButton(QStringLiteral("Key %1").arg(i + 1), Panel1);
    buttons[i]->setObjectName(QStringLiteral("btnKey%1").arg(i + 1));
    buttons[i]->setProperty(kTag, i + 1);
    Describe(buttons[i], buttons[i]->text(),
             QStringLiteral("Presses key %1 of the device and takes a new snapshot").arg(i + 1));
    connect(buttons[i], &QPushButton::clicked, this, &TfmLCD::btnKey1Click);
  }
  btnKey1 = buttons[0];
  btnKey2 = buttons[1];
  btnKey3 = buttons[2];
  btnKey4 = buttons[3];

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(imgLCD, 1);
  layout->addWidget(Panel1);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  PopupMenu1->setTitle(QStringLiteral("LCD"));
  Refresh1 = MenuItem(PopupMenu1, QStringLiteral("Refresh"), "Refresh1");
  PopupMenu1->addSeparator();
  SimulatedLCD1 = MenuItem(PopupMenu1, QStringLiteral("Colour Simulation"), "SimulatedLCD1", true);
  Shadow1 = MenuItem(PopupMenu1, QStringLiteral("Shadow"), "Shadow1", true);
  Scale1 = PopupMenu1->addMenu(QStringLiteral("Scale"));
  Scale1->setObjectName(QStringLiteral("Scale1"));
  auto* scales = new QActionGroup(this);
  const char* names[4] = {"N11", "x21", "x31", "x41"};
  QAction* items[4];
  for (int i = 0; i < 4; ++i) {
    items[i] = MenuItem(Scale1, QStringLiteral("x%1").arg(i + 1), names[i]);
    items[i]->setCheckable(true);
    items[i]->setChecked(i + 1 == FScale);
    items[i]->setData(i + 1);
    scales->addAction(items[i]);
    connect(items[i], &QAction::triggered, this, &TfmLCD::x41Click);
  }
  N11 = items[0];
  x21 = items[1];
  x31 = items[2];
  x41 = items[3];
  PopupMenu1->addSeparator();
  Copy1 = MenuItem(PopupMenu1, QStringLiteral("Copy"), "Copy1");
  Savetofile1 = MenuItem(PopupMenu1, QStringLiteral("Save to file"), "Savetofile1");

  connect(imgLCD, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(imgLCD->mapToGlobal(at)); });
  connect(Refresh1, &QAction::triggered, this, &TfmLCD::Refresh1Click);
  connect(SimulatedLCD1, &QAction::triggered, this, &TfmLCD::SimulatedLCD1Click);
  connect(Shadow1, &QAction::triggered, this, &TfmLCD::Shadow1Click);
  connect(Copy1, &QAction::triggered, this, &TfmLCD::Copy1Click);
  connect(Savetofile1, &QAction::triggered, this, &TfmLCD::Savetofile1Click);
}

void TfmLCD::SetRunner(UiRunner* runner) {
  runner_ = runner;
  if (!runner_) return;
  // While any operation runs, the keys and Refresh wait.
  connect(runner_, &UiRunner::BusyChanged, this, [this](bool busy) {
    Panel1->setEnabled(!busy);
    Refresh1->setEnabled(!busy);
  });
}

void TfmLCD::GetSnapshot(bool passwordFirst, std::function<void(bool)> then) {
  Fetch(0, passwordFirst, std::move(then));
}

void TfmLCD::Fetch(int key, bool passwordFirst, std::function<void(bool)> then) {
  if (!runner_ || FBusy) return;
  FBusy = true;
  UiRunner::Op op;
  op.what = key ? QStringLiteral("Key %1").arg(key) : QStringLiteral("LCD Snapshot");
  runner_->Call<LcdFetch>(
      this, std::move(op),
      [key, passwordFirst](Session& s, const OpContext& context) {
        LcdFetch out;
        if (passwordFirst && !s.Terminal().IsReadyForCommands()) {
          out.asked = false;
          out.result = OpResult::Fail(Reason::Refused, "the device asks for its password");
          return out;
        }
        if (key) out.result = PressLcdKey(s.Terminal(), key);
        if (!out.result) return out;
        if (!s.Terminal().IsOpen()) {
          out.result = OpResult::Fail(Reason::NotOpen);
          return out;
        }
        LcdFetchResult fetched = FetchLcdSnapshot(s.Terminal(), context);
        out.result = fetched.result;
        out.snapshot = std::move(fetched.snapshot);
        return out;
      },
      [this, then = std::move(then)](const OpResult& result, LcdFetch& fetched) {
        FBusy = false;
        if (result.reason == Reason::Unsupported) {
          QMessageBox::information(this, QStringLiteral("Info"),
                                   QStringLiteral("LCD not used by the Lua App"));
        } else if (result) {
          ShowSnapshot(std::move(fetched.snapshot));
        }  // else no header, or a size that cannot be: the picture stays
        if (then) then(fetched.asked);
      });
}

void TfmLCD::ShowSnapshot(LcdSnapshot snapshot) {
  FPixels = std::move(snapshot.pixels);
  FLcdWidth = snapshot.width;
  FLcdHeight = snapshot.height;
  const QString taken = QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat);
  setWindowTitle(QStringLiteral("LCD Snapshot @ ") + taken);
  imgLCD->setAccessibleDescription(
      QStringLiteral("%1 by %2 pixels, taken at %3").arg(FLcdWidth).arg(FLcdHeight).arg(taken));
  DrawSnapshot();
  show();
}

void TfmLCD::DrawSnapshot() {
  LcdLook look;
  look.margin = FMargin;
  look.scale = FScale;
  look.bezel = FBezelColour;
  look.lcd = FLcdColour;
  look.pixel = FPixelColour;
  look.shadow = FShadow;
  picture_ = ::vxk::DrawSnapshot(LcdSnapshot{FLcdWidth, FLcdHeight, FPixels}, look);
  // One bitmap pixel on one screen pixel, also on a scaled display.
  QPixmap pixmap = QPixmap::fromImage(picture_);
  const qreal ratio = devicePixelRatioF();
  pixmap.setDevicePixelRatio(ratio);
  imgLCD->setPixmap(pixmap);
  resize(qRound(picture_.width() / ratio) + kExtraWidth,
         qRound(picture_.height() / ratio) + kExtraHeight);
}

void TfmLCD::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

void TfmLCD::FormResize() {
  if (!Panel1) return;
  const int q = (Panel1->width() - 2 * FMargin) / 4;
  int left = FMargin;
  for (QPushButton* b : {btnKey1, btnKey2, btnKey3, btnKey4}) {
    b->setGeometry(left, kButtonTop, std::max(q - 4, 0), b->sizeHint().height());
    left += q;
  }
}

void TfmLCD::btnKey1Click() {
  const int key = sender() ? sender()->property(kTag).toInt() : 0;
  if (key >= 1 && key <= 4) Fetch(key, false, {});
}

void TfmLCD::Refresh1Click() {
  GetSnapshot();
}

void TfmLCD::SimulatedLCD1Click(bool checked) {
  if (checked) {
    FMargin = 7;
    FBezelColour = qRgb(184, 240, 128);
    FPixelColour = qRgb(0, 0, 0);
    FLcdColour = qRgb(168, 224, 128);
  } else {
    FMargin = 0;
    FBezelColour = qRgb(255, 255, 255);
    FPixelColour = qRgb(0, 0, 0);
    FLcdColour = qRgb(255, 255, 255);
  }
  DrawSnapshot();
}

void TfmLCD::Shadow1Click(bool checked) {
  FShadow = checked ? 15 : 0;
  DrawSnapshot();
}

void TfmLCD::x41Click() {
  auto* item = qobject_cast<QAction*>(sender());
  if (!item) return;
  FScale = item->data().toInt();
  item->setChecked(true);
  DrawSnapshot();
}

void TfmLCD::Copy1Click() {
  QGuiApplication::clipboard()->setImage(picture_);
}

void TfmLCD::Savetofile1Click() {
  QFileDialog dialog(this, QStringLiteral("Save Bitmap"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("png"));
  dialog.setNameFilters({QStringLiteral("*.png (*.png)"), QStringLiteral("All files (*.*)")});
  dialog.selectFile(LcdFileName(QDateTime::currentDateTime()));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  SaveToFile(dialog.selectedFiles().front());
}

void TfmLCD::SaveToFile(const QString& path) {
  SavePng(picture_, path);
}

}  // namespace vxk
