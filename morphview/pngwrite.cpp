#include "pngwrite.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "failure.h"
#include "outfile.h"

namespace view {

namespace {

// libpng reports errors by long-jumping back to encodePng; the message is kept here first.
struct ErrorText {
  char text[256];
};

void onError(png_structp png, png_const_charp message) {
  auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message ? message : "unknown libpng error");
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

}  // namespace

// No object with a destructor may live across setjmp here: a long jump would skip it.
bool encodePng(const Image& image, std::FILE* out, std::string& problem) {
  if (image.width() <= 0 || image.height() <= 0) {
    problem = "empty picture";
    return false;
  }
  ErrorText error{};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onError, onWarning);
  if (!png) {
    problem = "cannot start the PNG encoder";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    problem = "cannot start the PNG encoder";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    problem = error.text;
    return false;
  }
  png_init_io(png, out);
  png_set_compression_level(png, 9);
  png_set_compression_strategy(png, 0);  // Z_DEFAULT_STRATEGY
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height(); ++y) png_write_row(png, image.row(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

void writePng(const Image& image, const std::string& path) {
  std::string problem;
  {
    OutputFile out(path);
    if (encodePng(image, out.stream(), problem)) {
      out.commit();
      return;
    }
  }  // leaving the scope removes the temporary before the run ends
  fail(exitBadFile, "cannot write '" + path + "': " + problem);
}

}  // namespace view
