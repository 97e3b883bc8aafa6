#pragma once

// Checks of the compressed data of JPEG, PNG and TIFF files, made before OpenCV decodes them:
// OpenCV lets libjpeg and libpng print their warnings and errors on standard error, and returns an
// image with garbage rows for some damage (libtiff's it silences). Each check runs the same library
// with handlers that keep the first message instead of printing it.

#include <string>
#include <string_view>

namespace superpixels {

// Why the image file in `bytes` (whole, its header checked) is damaged, or an empty string: the
// check below of its format (JPEG, PNG, TIFF; other formats are not checked). A PNG is left with
// only the chunks keepPixelChunks keeps, the bytes to decode.
std::string imageDataDamage(std::string& bytes);

// Why the JPEG in `bytes` (a whole file) is damaged, or an empty string. Its compressed data is
// decoded once at an eighth of its size, handed over in pieces as from a file: every entropy-coded
// block is read, but little is spent on the inverse transform and nothing on full-size output.
// libjpeg's messages are kept instead of printed: any warning (a stray restart marker, data cut
// short, bytes before a marker, a bad Huffman code) or error names the damage. OpenCV's decoder
// would print the same warning on standard error and return the image with garbage rows.
std::string jpegDamage(std::string_view bytes);

// Why the PNG in `bytes` (a whole file, as keepPixelChunks leaves it) is damaged, or an empty
// string. libpng reads it row by row into one row's memory, with every warning or error kept:
// compressed data that does not inflate or fails its checksum, a bad row filter, too little or too
// much image data, an invalid transparency chunk. OpenCV's decoder prints such a line and, for
// some of them, returns an image anyway.
std::string pngDamage(std::string_view bytes);

// Why the TIFF in `bytes` (a whole file, its header checked) is damaged, or an empty string.
// libtiff decodes the first directory's strips or tiles one at a time into one piece's memory,
// with its errors kept (warnings, such as a private tag it does not know, are no damage): data that
// does not decompress (a broken LZW, Deflate or JPEG stream). OpenCV silences libtiff's messages
// and, for some such damage, returns an image anyway.
std::string tiffDamage(std::string_view bytes);

}  // namespace superpixels
