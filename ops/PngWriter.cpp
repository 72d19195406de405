#include "ops/PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "ops/LocalFiles.h"

namespace vxk {
namespace {

// libpng reports errors by longjmp; nothing with a destructor lives in the frame that sets the
// jump point, so the jump skips no clean-up.
struct PngSink {
  std::string* out;
  char error[256];
};

void OnWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  sink->out->append(reinterpret_cast<const char*>(data), length);
}

void OnFlush(png_structp) {}

void OnError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
  std::snprintf(sink->error, sizeof sink->error, "%s", message ? message : "unknown error");
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// rows holds height pointers to 3 * width bytes each.
bool Encode(PngSink& sink, png_uint_32 width, png_uint_32 height, png_bytepp rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
  if (!png) {
    std::snprintf(sink.error, sizeof sink.error, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(sink.error, sizeof sink.error, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, OnWrite, OnFlush);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::string EncodePng(const RgbImage& image) {
  if (image.IsNull()) throw PngError("PNG: the picture is empty");
  const size_t stride = static_cast<size_t>(image.width) * 3;
  if (image.rgb.size() != stride * static_cast<size_t>(image.height)) {
    throw PngError("PNG: the pixel buffer does not match the picture's size");
  }
  std::vector<png_bytep> rows(static_cast<size_t>(image.height));
  for (size_t y = 0; y < rows.size(); ++y) {
    rows[y] = const_cast<png_bytep>(image.rgb.data() + y * stride);
  }
  std::string out;
  PngSink sink{&out, {}};
  if (!Encode(sink, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
              rows.data())) {
    throw PngError(std::string("PNG: ") + sink.error);
  }
  return out;
}

void SavePngFile(const RgbImage& image, const std::string& path) {
  const std::string bytes = EncodePng(image);
  try {
    WriteLocalFile(path, bytes, 0);
  } catch (const LocalFileError& e) {
    throw PngError(e.what());
  }
}

}  // namespace vxk
