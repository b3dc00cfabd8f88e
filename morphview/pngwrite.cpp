#include "pngwrite.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>

#include "fail.h"
#include "outfile.h"

namespace view {

namespace {

// libpng reports errors by long-jumping back to encodePng; the message is kept here first,
// with the stream the picture goes to.
struct ErrorText {
  char text[256];
  std::FILE* out;
};

void onError(png_structp png, png_const_charp message) {
  auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message ? message : "unknown libpng error");
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// libpng's own writer says only "Write Error"; the system's reason (a full disk, a quota)
// is what a user can act on.
void onWrite(png_structp png, png_bytep data, std::size_t length) {
  auto* error = static_cast<ErrorText*>(png_get_io_ptr(png));
  errno = 0;
  if (std::fwrite(data, 1, length, error->out) != length) {
    png_error(png, errno ? std::strerror(errno) : "the picture could not be written");
  }
}

void onFlush(png_structp png) {
  auto* error = static_cast<ErrorText*>(png_get_io_ptr(png));
  errno = 0;
  if (std::fflush(error->out) != 0) png_error(png, errno ? std::strerror(errno) : "the picture could not be written");
}

}  // namespace

// No object with a destructor may live across setjmp here: a long jump would skip it.
bool encodePng(const Image& image, std::FILE* out, std::string& problem) {
  if (image.width() <= 0 || image.height() <= 0) {
    problem = "empty picture";
    return false;
  }
  ErrorText error{};
  error.out = out;
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
  png_set_write_fn(png, &error, onWrite, onFlush);
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
    OutputFile out(path, TemporarySweep::thisFile, ExistingName::kept);
    if (encodePng(image, out.stream(), problem)) {
      out.commit();
      return;
    }
  }  // leaving the scope removes the temporary before the run ends
  fail(exitBadFile, "cannot write '" + path + "': " + problem);
}

}  // namespace view
