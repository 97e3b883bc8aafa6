#include "image/jpeg_check.hpp"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

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
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
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

}  // namespace superpixels
