#pragma once

#include <QImage>
#include <QString>
#include <stdexcept>
#include <string>

namespace vxk {

// A picture that could not be encoded or written.
class PngError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The image as a PNG file's bytes (8-bit RGB, no alpha), encoded by libpng.
// Throws PngError for a null image or an encoder failure.
std::string EncodePng(const QImage& image);

// Writes the image as a PNG file; an existing file is replaced only once the new one is
// complete. Throws PngError with the reason when it cannot be encoded or written.
void SavePng(const QImage& image, const QString& path);

}  // namespace vxk
