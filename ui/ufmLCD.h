#pragma once

#include <QImage>
#include <QRgb>
#include <QWidget>
#include <functional>
#include <string>

#include "ui/LcdRender.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace vxk {

class UiRunner;

// The LCD viewer: a picture of the device's display fetched on request ("LCD"), four buttons
// that press the device's keys, and a popup menu for the look, copying and saving. The
// exchanges run on the worker; the picture is drawn when they come back.
class TfmLCD : public QWidget {
  Q_OBJECT

 public:
  explicit TfmLCD(QWidget* parent = nullptr);

  // Ask first whether the device wants its password, and fetch only when it does not.
  static constexpr bool kPasswordFirst = true;

  void SetRunner(UiRunner* runner);
  // Fetches, draws and shows a snapshot; ignored while a fetch runs, and ends without a
  // picture on a closed link. then (when given) learns whether the device was asked at all.
  void GetSnapshot(bool passwordFirst = false, std::function<void(bool asked)> then = {});
  // Draws the last snapshot with the current look and fits the window to it.
  void DrawSnapshot();
  // Writes the current picture as PNG; throws PngError.
  void SaveToFile(const QString& path);
  const QImage& Picture() const { return picture_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private slots:
  void btnKey1Click();
  void Refresh1Click();
  void SimulatedLCD1Click(bool checked);
  void Shadow1Click(bool checked);
  void x41Click();
  void Copy1Click();
  void Savetofile1Click();

 private:
  void FormCreate();
  void FormResize();
  // Presses key (1..4, 0 for none) and fetches, as one exchange.
  void Fetch(int key, bool passwordFirst, std::function<void(bool asked)> then);
  void ShowSnapshot(LcdSnapshot snapshot);

  QImage picture_;

  QLabel* imgLCD = nullptr;
  QWidget* Panel1 = nullptr;
  QPushButton* btnKey1 = nullptr;
  QPushButton* btnKey2 = nullptr;
  QPushButton* btnKey3 = nullptr;
  QPushButton* btnKey4 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* Refresh1 = nullptr;
  QAction* SimulatedLCD1 = nullptr;
  QAction* Shadow1 = nullptr;
  QMenu* Scale1 = nullptr;
  QAction* N11 = nullptr;
  QAction* x21 = nullptr;
  QAction* x31 = nullptr;
  QAction* x41 = nullptr;
  QAction* Copy1 = nullptr;
  QAction* Savetofile1 = nullptr;

  UiRunner* runner_ = nullptr;
  bool FBusy = false;
  int FMargin = 6;
  int FScale = 2;
  QRgb FBezelColour = qRgb(184, 240, 128);
  QRgb FLcdColour = qRgb(168, 224, 128);
  QRgb FPixelColour = qRgb(0, 0, 0);
  int FShadow = 15;
  int FLcdWidth = 0;
  int FLcdHeight = 0;
  std::string FPixels;
};

}  // namespace vxk
