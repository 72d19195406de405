#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vxk {

// A picture that could not be encoded or written.
class PngError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// 8-bit RGB pixels, row by row, three bytes a pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  bool IsNull() const { return width <= 0 || height <= 0; }
};

// The picture as a PNG file's bytes (8-bit RGB, no alpha), encoded by libpng. Throws PngError
// for an empty picture, a pixel buffer of the wrong size or an encoder failure.
std::string EncodePng(const RgbImage& image);

// Writes the picture as a PNG file; an existing file is replaced only once the new one is
// complete. Throws PngError with the reason.
void SavePngFile(const RgbImage& image, const std::string& path);

}  // namespace vxk
