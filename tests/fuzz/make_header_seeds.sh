#!/bin/sh
# Writes seeds for the header fuzz target made by OpenCV's own encoders into
# tests/fuzz/header_corpus, each named by the SHA-1 of its bytes as libFuzzer names what it keeps:
# small TIFF files (uncompressed, LZW, grey, 16-bit, with alpha) and WebP files (lossy, lossless,
# lossy with alpha, which the encoder writes as an extended file with an alpha chunk), and tiled
# TIFF files made by hand. Run from anywhere; needs g++, pkg-config, libopencv-dev and python3.
# Existing seeds are kept.
set -eu
corpus="$(cd "$(dirname "$0")" && pwd)/header_corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/seeds.cpp" <<'EOF'
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

int main(int, char** argv) {
  cv::Mat colour(3, 4, CV_8UC3), alpha(3, 4, CV_8UC4), deep(3, 4, CV_16UC3), grey(3, 4, CV_8UC1);
  cv::randu(colour, 0, 256);
  cv::randu(alpha, 0, 256);  // alpha not all opaque, so WebP keeps it
  cv::randu(deep, 0, 65536);
  cv::randu(grey, 0, 256);
  struct Seed {
    const char* name;
    const char* extension;
    cv::Mat image;
    std::vector<int> parameters;
  };
  const Seed seeds[] = {
      {"tiff-none", ".tif", colour, {cv::IMWRITE_TIFF_COMPRESSION, 1}},
      {"tiff-lzw", ".tif", colour, {}},
      {"tiff-grey", ".tif", grey, {cv::IMWRITE_TIFF_COMPRESSION, 1}},
      {"tiff-16-bit", ".tif", deep, {}},
      {"tiff-alpha", ".tif", alpha, {}},
      {"webp-lossy", ".webp", colour, {cv::IMWRITE_WEBP_QUALITY, 75}},
      {"webp-lossless", ".webp", colour, {cv::IMWRITE_WEBP_QUALITY, 101}},
      {"webp-lossy-alpha", ".webp", alpha, {cv::IMWRITE_WEBP_QUALITY, 75}},
  };
  for (const Seed& seed : seeds) {
    std::vector<unsigned char> bytes;
    if (!cv::imencode(seed.extension, seed.image, bytes, seed.parameters)) return 1;
    const std::string path = std::string(argv[1]) + "/" + seed.name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) return 1;
    std::fclose(file);
  }
}
EOF
# shellcheck disable=SC2046
g++ -std=c++17 -o "$work/seeds" "$work/seeds.cpp" $(pkg-config --cflags --libs opencv4)
mkdir "$work/out"
"$work/seeds" "$work/out"
for seed in "$work"/out/*; do
  cp "$seed" "$corpus/$(sha1sum "$seed" | cut -d' ' -f1)"
done
# Tiled TIFF files (OpenCV's encoder writes strips only), classic and BigTIFF: 5 x 3 grey pixels in
# one 16 x 16 tile, uncompressed.
python3 - "$work/tiled" <<'PY'
import struct, sys
def tiff(big):
    entries = [(256, 3, 5), (257, 3, 3), (258, 3, 8), (259, 3, 1), (262, 3, 1), (277, 3, 1),
               (322, 3, 16), (323, 3, 16), (324, 16 if big else 4, None), (325, 4, 256)]
    head = b"II+\0\x08\0\0\0" + struct.pack("<Q", 16) if big else b"II*\0" + struct.pack("<I", 8)
    size = (8 + len(entries) * 20 + 8) if big else (2 + len(entries) * 12 + 4)
    data_at = len(head) + size
    ifd = struct.pack("<Q" if big else "<H", len(entries))
    for tag, kind, value in entries:
        value = data_at if value is None else value
        if big:
            ifd += struct.pack("<HHQQ", tag, kind, 1, value)
        else:
            ifd += struct.pack("<HHII", tag, kind, 1, value)
    ifd += b"\0" * (8 if big else 4)
    return head + ifd + bytes(range(256))
for big in (False, True):
    open(sys.argv[1] + ("-big" if big else "-classic"), "wb").write(tiff(big))
PY
for seed in "$work"/tiled-*; do
  cp "$seed" "$corpus/$(sha1sum "$seed" | cut -d' ' -f1)"
done
