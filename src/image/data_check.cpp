#include "image/data_check.hpp"

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h before jerror.h, which names its message codes.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
#include <png.h>
#include <tiffio.h>

#include "image/png_structure.hpp"

namespace superpixels {

namespace {

// libjpeg's error manager with the first message kept instead of printed; a fatal error leaves
// through longjmp, as libjpeg requires of an error_exit that returns to the caller.
struct KeptMessages {
  jpeg_error_mgr manager;
  std::jmp_buf fatal;
  std::string first;
};

void keepMessage(j_common_ptr info) {
  auto* kept = reinterpret_cast<KeptMessages*>(info->err);
  if (!kept->first.empty()) return;
  char text[JMSG_LENGTH_MAX];
  info->err->format_message(info, text);
  kept->first = text;
}

// Level -1 is a warning, which libjpeg's default prints once and goes on; higher levels are traces.
void emitMessage(j_common_ptr info, int level) {
  if (level < 0) keepMessage(info);
}

[[noreturn]] void errorExit(j_common_ptr info) {
  keepMessage(info);
  std::longjmp(reinterpret_cast<KeptMessages*>(info->err)->fatal, 1);
}

void quiet(j_common_ptr) {}

// The compressed data handed to libjpeg 4096 bytes at a time, as its file source reads a file.
// Given all of it at once, libjpeg-turbo decodes most blocks on a fast path that passes over a bad
// Huffman code without a warning (1 of 237 mutated photos in a test); near the end of each piece
// it takes the careful path, which reports it, as it did when OpenCV read the file itself.
struct PieceSource {
  jpeg_source_mgr manager;
  std::string_view bytes;
  std::size_t at = 0;
};

void startPieces(j_decompress_ptr) {}

boolean nextPiece(j_decompress_ptr info) {
  auto* source = reinterpret_cast<PieceSource*>(info->src);
  if (source->at >= source->bytes.size()) {
    // As libjpeg's file source does at the end of its data: a warning, then an end marker.
    static const JOCTET end[2] = {0xFF, JPEG_EOI};
    info->err->msg_code = JWRN_JPEG_EOF;
    info->err->emit_message(reinterpret_cast<j_common_ptr>(info), -1);
    source->manager.next_input_byte = end;
    source->manager.bytes_in_buffer = 2;
    return TRUE;
  }
  const std::size_t piece = std::min<std::size_t>(4096, source->bytes.size() - source->at);
  source->manager.next_input_byte =
      reinterpret_cast<const JOCTET*>(source->bytes.data() + source->at);
  source->manager.bytes_in_buffer = piece;
  source->at += piece;
  return TRUE;
}

void skipBytes(j_decompress_ptr info, long count) {
  jpeg_source_mgr& manager = *info->src;
  while (count > static_cast<long>(manager.bytes_in_buffer)) {
    count -= static_cast<long>(manager.bytes_in_buffer);
    nextPiece(info);
  }
  if (count > 0) {
    manager.next_input_byte += count;
    manager.bytes_in_buffer -= static_cast<std::size_t>(count);
  }
}

void endPieces(j_decompress_ptr) {}

}  // namespace

std::string jpegDamage(std::string_view bytes) {
  jpeg_decompress_struct info;
  KeptMessages kept;
  info.err = jpeg_std_error(&kept.manager);
  kept.manager.error_exit = errorExit;
  kept.manager.emit_message = emitMessage;
  kept.manager.output_message = quiet;
  // Nothing below the setjmp holds a destructor that longjmp would skip: the row buffer is
  // libjpeg's own, freed by jpeg_destroy_decompress.
  if (setjmp(kept.fatal) != 0) {
    jpeg_destroy_decompress(&info);
    return kept.first.empty() ? "JPEG decoder failed" : kept.first;
  }
  jpeg_create_decompress(&info);
  PieceSource source;
  source.manager.init_source = startPieces;
  source.manager.fill_input_buffer = nextPiece;
  source.manager.skip_input_data = skipBytes;
  source.manager.resync_to_restart = jpeg_resync_to_restart;
  source.manager.term_source = endPieces;
  source.manager.next_input_byte = nullptr;
  source.manager.bytes_in_buffer = 0;
  source.bytes = bytes;
  info.src = &source.manager;
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = 8;
  info.dct_method = JDCT_IFAST;
  info.do_fancy_upsampling = FALSE;
  jpeg_start_decompress(&info);
  const int rowBytes = static_cast<int>(info.output_width) * info.output_components;
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             static_cast<JDIMENSION>(rowBytes), 1);
  while (info.output_scanline < info.output_height) jpeg_read_scanlines(&info, row, 1);
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return kept.first;
}

namespace {

// Where libpng's reads of a PNG in memory stand, and its first message.
struct PngSource {
  std::string_view bytes;
  std::size_t at = 0;
  std::string first;
};

void keepPngMessage(png_structp png, png_const_charp message) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  if (source->first.empty()) source->first = message;
}

[[noreturn]] void pngError(png_structp png, png_const_charp message) {
  keepPngMessage(png, message);
  png_longjmp(png, 1);
}

void readPng(png_structp png, png_bytep into, png_size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (count > source->bytes.size() - source->at) png_error(png, "file cut short");
  std::copy_n(source->bytes.data() + source->at, count, into);
  source->at += count;
}

}  // namespace

std::string pngDamage(std::string_view bytes) {
  PngSource source{bytes, 0, {}};
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, pngError, keepPngMessage);
  if (png == nullptr) return "PNG decoder failed";
  png_infop info = png_create_info_struct(png);
  // Declared before setjmp and changed after it: volatile, so that longjmp leaves it readable.
  png_bytep volatile row = nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
    png_free(png, row);
    png_destroy_read_struct(&png, &info, nullptr);
    return source.first.empty() ? "PNG decoder failed" : source.first;
  }
  png_set_read_fn(png, &source, readPng);
  png_read_info(png, info);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  row = static_cast<png_bytep>(png_malloc(png, png_get_rowbytes(png, info)));
  const png_uint_32 height = png_get_image_height(png, info);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, row, nullptr);
  }
  png_read_end(png, nullptr);
  png_free(png, row);
  png_destroy_read_struct(&png, &info, nullptr);
  return source.first;
}

namespace {

// A TIFF in memory as libtiff's client I/O sees it, and its first error.
struct TiffSource {
  std::string_view bytes;
  toff_t at = 0;
  std::string first;
};

tmsize_t readTiff(thandle_t handle, void* into, tmsize_t count) {
  auto* source = static_cast<TiffSource*>(handle);
  if (source->at >= source->bytes.size()) return 0;
  const tmsize_t n = std::min<tmsize_t>(count, source->bytes.size() - source->at);
  std::memcpy(into, source->bytes.data() + source->at, n);
  source->at += n;
  return n;
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) { return -1; }

toff_t seekTiff(thandle_t handle, toff_t offset, int whence) {
  auto* source = static_cast<TiffSource*>(handle);
  const toff_t base = whence == SEEK_CUR   ? source->at
                      : whence == SEEK_END ? source->bytes.size()
                                           : 0;
  source->at = base + offset;
  return source->at;
}

int closeNothing(thandle_t) { return 0; }

toff_t sizeOfTiff(thandle_t handle) { return static_cast<TiffSource*>(handle)->bytes.size(); }

int mapNothing(thandle_t, void**, toff_t*) { return 0; }

void unmapNothing(thandle_t, void*, toff_t) {}

// Returns 1: the global handlers (OpenCV's, or libtiff's default printing on standard error) are
// not called.
int keepTiffError(TIFF*, void* user, const char*, const char* format, va_list values) {
  auto* source = static_cast<TiffSource*>(user);
  if (source->first.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, values);
    source->first = text;
  }
  return 1;
}

int ignoreTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

std::string tiffDamage(std::string_view bytes) {
  TiffSource source{bytes, 0, {}};
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return "TIFF decoder failed";
  TIFFOpenOptionsSetErrorHandlerExtR(options, keepTiffError, &source);
  TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreTiffWarning, nullptr);
  // "m": read through the procedures above, never a memory map.
  TIFF* tiff = TIFFClientOpenExt("image", "rm", &source, readTiff, writeNothing, seekTiff,
                                 closeNothing, sizeOfTiff, mapNothing, unmapNothing, options);
  TIFFOpenOptionsFree(options);
  if (tiff == nullptr) return source.first.empty() ? "TIFF decoder failed" : source.first;
  const bool tiled = TIFFIsTiled(tiff) != 0;
  const tmsize_t pieceSize = tiled ? TIFFTileSize(tiff) : TIFFStripSize(tiff);
  const std::uint32_t pieces = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  void* piece = pieceSize > 0 ? _TIFFmalloc(pieceSize) : nullptr;
  if (piece == nullptr && source.first.empty()) source.first = "TIFF decoder failed";
  for (std::uint32_t i = 0; piece != nullptr && i < pieces && source.first.empty(); ++i) {
    const tmsize_t got = tiled ? TIFFReadEncodedTile(tiff, i, piece, pieceSize)
                               : TIFFReadEncodedStrip(tiff, i, piece, pieceSize);
    if (got < 0 && source.first.empty()) source.first = "TIFF decoder failed";
  }
  if (piece != nullptr) _TIFFfree(piece);
  TIFFClose(tiff);
  return source.first;
}

std::string imageDataDamage(std::string& bytes) {
  const auto starts = [&](std::string_view magic) { return bytes.starts_with(magic); };
  if (starts("\xFF\xD8\xFF")) return jpegDamage(bytes);
  if (starts("\x89PNG\r\n\x1A\n")) {
    keepPixelChunks(bytes);
    return pngDamage(bytes);
  }
  using namespace std::string_view_literals;
  if (starts("II*\0"sv) || starts("MM\0*"sv) || starts("II+\0"sv) || starts("MM\0+"sv)) {
    return tiffDamage(bytes);
  }
  return {};
}

}  // namespace superpixels
