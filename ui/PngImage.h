#pragma once

#include <QImage>
#include <QString>
#include <string>

#include "ops/PngWriter.h"

namespace vxk {

// The image as a PNG file's bytes (8-bit RGB, no alpha), encoded by the core's libpng writer.
// Throws PngError for a null image or an encoder failure.
std::string EncodePng(const QImage& image);

// Writes the image as a PNG file; an existing file is replaced only once the new one is
// complete. Throws PngError with the reason when it cannot be encoded or written.
void SavePng(const QImage& image, const QString& path);

}  // namespace vxk
