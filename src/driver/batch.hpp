#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "shard.hpp"
#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// One run of the command-line tool.
struct RunOptions {
  std::string inputFolder;   // folder tree to walk, or a single image file
  std::string outputFolder;  // must exist; receives the two output trees
  // Threads inside one image are segmentation.threads (0 = one per CPU it may use): workers with
  // no image left help the images still running, so the last images of a folder, and a single
  // large image, use every core.
  Options segmentation;
  int jobs = 0;  // images segmented side by side; 0 = one per CPU the process may use
  // Images whose header declares more pixels are refused before decoding; 1 .. maxPixelCount.
  std::int64_t maxPixels = defaultMaxPixels;
  Shard shard;  // only the images of this part of the tree; mirror folders all the same
  // Empty, or the folder of masks: the mask of INPUT/sub/name.ext is masksFolder/sub/name.png; an
  // image without one is segmented whole.
  std::string masksFolder;
  bool writeRegions = false;  // also NAME_regions.csv and NAME_adjacency.csv
  bool skipExisting = false;  // leave an image alone when its three results exist and are whole
  bool quiet = false;         // no per-image console lines (errors still go to `err`)
  bool showProgress = false;  // a progress line on `err`, which must then be a terminal
};

struct RunSummary {
  // OUTPUT is no folder or an output sub-folder could not be created: nothing was run
  bool outputFoldersFailed = false;
  int imagesFound = 0;    // images of the walk in this run's shard
  int imagesWritten = 0;  // images whose three result files were all written
  int imagesSkipped = 0;  // images whose results were already there (skipExisting)
  int errors = 0;         // images, folders and files that failed
  // Files whose suffix names an image format the tool does not read (.gif, .heic, camera raw),
  // left out of the run without failing it, and the first of them in walk order.
  int otherFormatFiles = 0;
  std::string otherFormatExample;
};

// Why `path` is no folder (the system's reason, such as "No such file or directory"), or empty.
std::string unusableFolder(const std::string& path);

// Exit code of a run: 0 when everything succeeded, 1 when anything failed, 255 when the output
// folders could not be created.
int exitCode(const RunSummary& summary);

// Creates the output folders, walks the input tree and segments every image, writing its three
// result files. The tool's console lines go to `out`, errors (one line each, "PATH: reason") to
// `err`. An OUTPUT that is no folder, an output sub-folder that cannot be created (a link of its
// name included) and an INPUT that cannot be walked at all (missing, not a folder or an image
// file, not listable, inside an output sub-folder) each give one line on `err`, nothing on `out`,
// and end the run; in the last case no folder is created. A failing image or folder never stops
// the run. Of images that share their result files, the first in walk order is segmented and each
// other one fails. Options must be valid. When the walk met files of image formats the tool does
// not read, a last line on `err` says how many and names one.
//
// Images are segmented on `jobs` threads, each taking the next image of the walk when it is done
// with one, so at most `jobs` images are in memory. Each image's lines are held back until it is
// finished and then printed whole, images in walk order (standard output first, then standard
// error); output files, lines and summary are the same whatever the number of jobs.
RunSummary runBatch(const RunOptions& options, std::ostream& out, std::ostream& err);

}  // namespace superpixels
