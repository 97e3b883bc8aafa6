#pragma once

/// @file
/// Files in and out, exactly as the command-line tool reads and writes them: an image file to a
/// decoded image, a result to its pictures, its label text and its files on disk.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

#include "superpixels/superpixels.hpp"

namespace superpixels {

/// The tool's default pixel limit per image (`--max-pixels`): far above any camera photo, and
/// small enough that the memory a run needs stays within a few gigabytes.
inline constexpr std::int64_t defaultMaxPixels = 100000000;

/// An image file, read.
struct ImageFile {
  cv::Mat bgr;  ///< the decoded image, 8-bit, blue-green-red, when ok()
  /// why it could not be used, e.g. "cannot decode image: truncated PNG header"
  std::string error;
  /// the errno when the file itself could not be opened (ENOENT, EISDIR, ...)
  int systemError = 0;
  /// True when the image was read: no error.
  bool ok() const { return error.empty(); }
};

/// Reads the image file at `path` into three 8-bit channels, as the tool does. Only a regular file
/// is read (a FIFO or a device is refused unread: "not a regular file (a FIFO)"). The header is
/// read first: a file that is not a PNG, JPEG, BMP, PNM, TIFF or WebP image (an animated WebP
/// included), that is cut short or damaged, whose header declares more than `maxPixels` pixels or a
/// TIFF tile of more, or that is much longer than such an image can be, is refused before any pixel
/// memory is allocated. The file is then read once and decoded from memory; a JPEG, PNG or TIFF
/// whose compressed data its library finds damaged is refused ("damaged image data: REASON"), the
/// library's message as the reason instead of a line of its own on standard error.
ImageFile readImage(const std::string& path, std::int64_t maxPixels = defaultMaxPixels);

/// A mask file, read.
struct MaskFile {
  cv::Mat mask;       ///< 8-bit, one channel: 1 inside, 0 outside, when ok()
  std::string error;  ///< why it could not be used
  /// the errno when the file itself could not be opened (ENOENT, EISDIR, ...)
  int systemError = 0;
  /// True when the mask was read: no error.
  bool ok() const { return error.empty(); }
};

/// Reads a mask for segment(): any image file readImage accepts (header checked, pixel limit
/// applied before decoding), at any bit depth and with any number of channels; a pixel is inside
/// where any of its channels (alpha included) is not zero.
MaskFile readMask(const std::string& path, std::int64_t maxPixels = defaultMaxPixels);

/// readImage with the decoder's own image: `flags` as for cv::imread (cv::IMREAD_UNCHANGED keeps
/// the depth and channels a file has, as for a label image). The image is in ImageFile::bgr, in the
/// layout `flags` asks for. The same checks as readImage, but for its three 8-bit channels.
ImageFile readImage(const std::string& path, std::int64_t maxPixels, int flags);

/// The size an image file's header declares, read without decoding the file.
struct ImageSize {
  bool ok = false;    ///< a PNG, JPEG, BMP, PNM, TIFF or WebP header was found and holds a size
  std::string error;  ///< why not, when !ok
  std::int64_t width = 0;   ///< in pixels, when ok
  std::int64_t height = 0;  ///< in pixels, when ok
};

/// Reads the header of the image file at `path` (a regular file only), as readImage does first.
ImageSize readImageSize(const std::string& path);

/// A file's bytes, or why they were not read.
struct FileBytes {
  bool ok = false;    ///< the whole file was read
  std::string bytes;  ///< its bytes, when ok
  /// why not, when !ok ("not a regular file (a FIFO)", "file of N bytes, ...")
  std::string error;
  int systemError = 0;  ///< the errno of a path the system refused (ENOENT: no such file), else 0
};

/// The whole file at `path`, when it is a regular file of at most `maxBytes` bytes; no more than
/// that is ever read, whatever the file does meanwhile. A FIFO or a device is refused unread.
FileBytes readFileBytes(const std::string& path, std::uint64_t maxBytes);

/// The undecoded bytes of the image file at `path`, read as readImage reads them: a regular file
/// only, and no more than an image within `maxPixels` can take (its header tells a PNG's bound).
/// For a checksum of the input, as the tool records it.
FileBytes readImageBytes(const std::string& path, std::int64_t maxPixels = defaultMaxPixels);

/// Copy of `bgr` with the superpixel borders and the top row and left column in black: a pixel is
/// black unless the 2 x 2 window ending at it lies inside the image and holds one label only.
/// `labels` is row-major with one entry per pixel of `bgr` (8-bit, 3 channels); any integers do.
cv::Mat boundaryImage(const cv::Mat& bgr, const std::vector<std::int32_t>& labels);

/// The blue, green and red bytes a display colour is painted with: component x 255 in single
/// precision, truncated.
cv::Vec3b colourBytes(const Colour& colour);

/// Every pixel of the result in its superpixel's display colour, blue-green-red; black outside the
/// mask (label -1).
cv::Mat partitionImage(const Result& result);

/// The label file: one line per row, every label followed by a tab (-1 outside the mask), lines
/// ended by CR LF.
std::string labelText(const Result& result);

/// Labels of an image, row-major, as a label file holds them.
struct LabelGrid {
  std::int32_t width = 0;            ///< labels per row
  std::int32_t height = 0;           ///< rows
  std::vector<std::int32_t> labels;  ///< width x height of them; -1 outside a mask
};

/// labelText of labels that did not come from segment(). `grid.labels` must hold width x height
/// labels (std::invalid_argument otherwise).
std::string labelText(const LabelGrid& grid);

/// Parses the text of a label file: one line per image row, top row first; every label a run of
/// decimal digits (at most 2^31 - 1) or -1, followed by a tab; every line, the last included, ended
/// by CR LF; all lines holding the same number of labels, at least one. Anything else is refused
/// with the first offending line in `error` ("line 3: ..."), leaving `grid` unchanged.
bool parseLabelText(std::string_view text, LabelGrid& grid, std::string& error);

/// True when `text` is a label file of exactly `height` lines of `width` labels each.
bool isWholeLabelText(std::string_view text, std::int64_t width, std::int64_t height);

/// A label file, read.
struct LabelFile {
  LabelGrid grid;     ///< when ok()
  std::string error;  ///< why it could not be used, e.g. "line 3: 4 labels, line 1 has 5"
  /// the errno when the file itself could not be opened (ENOENT, EISDIR, ...)
  int systemError = 0;
  /// True when the label file was read: no error.
  bool ok() const { return error.empty(); }
};

/// Reads the label file at `path`: a regular file only, and one of at most `maxPixels` labels
/// (checked on the file's length before it is read whole).
LabelFile readLabelFile(const std::string& path, std::int64_t maxPixels = defaultMaxPixels);

/// Writes `grid` as a label file to `path`, whole or not at all (as writeResults writes). Returns
/// why it failed, or an empty string.
std::string writeLabelFile(const std::string& path, const LabelGrid& grid);

/// The checksum that the record of a result holds for its files (label file, tables, input, mask):
/// 16 lower-case hexadecimal digits of a 64-bit hash of FNV-1a style over `bytes`, the same on
/// every machine. Tells files apart that were not written together; not meant to withstand a
/// deliberate forgery.
std::string checksum(std::string_view bytes);

/// Where writeResults puts each file; an empty path leaves that file out.
struct ResultFiles {
  std::string boundaryImage;   ///< the tool's `NAME_KVR.png`
  std::string partitionImage;  ///< `NAME_partition.png`
  std::string labels;          ///< `NAME.txt`
  std::string regions;         ///< `NAME_regions.csv`: regionsCsv of the superpixel table
  std::string adjacency;       ///< `NAME_adjacency.csv`: adjacencyCsv
};

/// The keyword of the PNG text chunk in which writeResults records its `record`.
inline constexpr const char* resultRecordKeyword = "superpixels";

/// A file that could not be written, and why.
struct FileFailure {
  std::string path;    ///< the file's path, as given
  std::string reason;  ///< why it could not be written
};

/// Writes the result's files (the label file and the tables first, then the two PNGs, which
/// record the checksums of the others), each to a temporary file beside it that is then renamed
/// into place: a crash or a kill leaves the old file or the whole new one, never a
/// part. Returns the files that failed (none when all were written); a failure does not stop the
/// others. `bgr` is the segmented image.
///
/// A `record` other than empty (such as the settings that made the result; the tool records
/// "key=value" lines: its version, COUNT, WEIGHT) is written into both PNGs, in a tEXt chunk with
/// the keyword resultRecordKeyword right after the header chunk, where a reader finds it without
/// walking the image data. Lines follow it that tie the files together: "labels=", "regions=" and
/// "adjacency=" with a checksum of each of those files that is written, "file=overlay" or
/// "file=partition", and "pixels=" with a checksum of that PNG's compressed pixel data (its IDAT
/// chunks' bodies joined), so that a reader can tell, without decoding, that the files belong
/// together and are whole. Each checksum is checksum() of the file's bytes (see above). Latin-1
/// text; a record with a NUL byte throws std::invalid_argument. The pixels are the same with or
/// without a record.
std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record = {});

/// writeResults, with the files made and written side by side on `pool` (the overlay's PNG takes
/// longest). The files and the failures are the same as written one after another.
std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record,
                                      ThreadPool& pool);

/// writeResults into an output that other processes may write at the same time (shards of one
/// dataset that share an image, a run started twice): each file is replaced whole, but the set
/// could end up mixed. So once its files are in place, the writer checks that they belong together
/// (resultsBelongTogether) and writes its own again when not, up to 5 times; the last writer to
/// check leaves a set that does. When every file in place is still the one it wrote (same inode,
/// size and time), nothing is read back. After 5 attempts it fails, the overlay's path with the
/// reason \"results replaced by another run writing this image at the same time, 5 times; they
/// may not belong together\". `record` must not be empty: it is what ties the files together. The
/// files are written side by side on `pool` by up to `threads` threads (0: the pool's own; more
/// when the program lends threads of its own to the pool, see ThreadPool::help).
std::vector<FileFailure> writeResultsTogether(const ResultFiles& files, const cv::Mat& bgr,
                                              const Result& result, const std::string& record,
                                              ThreadPool& pool, int threads = 0);

/// What the record of a result PNG written by writeResults tells.
struct ResultRecord {
  /// a whole PNG (every chunk's CRC right) whose record ends in its role and the checksum of its
  /// own compressed pixel data
  bool ok = false;
  std::int64_t width = 0;   ///< the PNG's width in pixels
  std::int64_t height = 0;  ///< the PNG's height in pixels
  std::string role;         ///< "overlay" or "partition"
  /// The record's lines that both PNGs of a set share: the `record` given to writeResults (with a
  /// line feed at its end), then the checksums of the label file and of the tables written with it.
  std::string shared;
};

/// Reads the record of the result PNG at `path` (a regular file, read whole within the bound its
/// header gives); inflates nothing. Not ok for a file that is no such PNG, or damaged.
ResultRecord readResultRecord(const std::string& path);

/// True when the result files exist, are whole and are what writeResults writes with `record`:
/// every file is a regular file, read with a bound its format and the PNGs' size give; both PNGs
/// have their chunks whole, every CRC right but the pixel data's, and the same size; the label file
/// holds one CR LF line per row of that many tab-terminated numbers; both PNGs record exactly
/// `record`, the checksums of the label file and of the tables (when `files` names them), their own
/// role and the checksum of their own pixel data. So a file of another image or another set, a
/// file damaged or swapped with its sibling, and results without a record or with another one do
/// not count. Reads and checksums the files; decodes nothing. The tool's `--skip-existing`.
bool resultsComplete(const ResultFiles& files, const std::string& record);

/// True when the result files are whole and belong together, as resultsComplete checks, whatever
/// record they hold.
bool resultsBelongTogether(const ResultFiles& files);

/// For a process that is about to end (stopped by a signal): removes the temporary files of every
/// write in progress and holds off every writer for good, so that no temporary file is created and
/// no result renamed into place afterwards (writers wait until the process ends). Results already
/// in place are whole and stay. Call it once, then end the process.
void abandonWritesForExit();

/// A temporary file untouched for this long was left by a writer that died: a live writer touches
/// its file with every write, and a whole result takes seconds at most.
inline constexpr std::chrono::seconds staleTemporaryAge{15 * 60};

/// Removes from `folder` (not its sub-folders) the temporary files that writers killed while
/// writing left behind (".NAME.tmp-XXXXXX", hidden) for files whose names end in one of `suffixes`
/// ("_KVR.png", ".txt", ...), plain files untouched for at least `minimumAge`, and returns how
/// many. The suffixes keep other programs' files safe, the age those of other runs writing into the
/// same folder. Errors are ignored (a leftover is harmless: hidden, and never named like a result).
int removeLeftoverTemporaries(const std::string& folder, const std::vector<std::string>& suffixes,
                              std::chrono::seconds minimumAge = staleTemporaryAge);

}  // namespace superpixels
