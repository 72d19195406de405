#include "ui/PngImage.h"

#include <QSaveFile>
#include <cstring>

namespace vxk {

std::string EncodePng(const QImage& image) {
  if (image.isNull()) throw PngError("PNG: the picture is empty");
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  RgbImage picture;
  picture.width = rgb.width();
  picture.height = rgb.height();
  const size_t stride = static_cast<size_t>(rgb.width()) * 3;
  picture.rgb.resize(stride * static_cast<size_t>(rgb.height()));
  for (int y = 0; y < rgb.height(); ++y) {
    std::memcpy(picture.rgb.data() + stride * static_cast<size_t>(y), rgb.constScanLine(y), stride);
  }
  return EncodePng(picture);
}

void SavePng(const QImage& image, const QString& path) {
  const std::string bytes = EncodePng(image);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    throw PngError("Cannot create " + path.toStdString() + ": " + file.errorString().toStdString());
  }
  if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
          static_cast<qint64>(bytes.size()) ||
      !file.commit()) {
    throw PngError("Cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
  }
}

}  // namespace vxk
