// Writing a result's files: encoded as the pictures and the label text, atomically over older
// files, failures reported per file.

#include <opencv2/imgcodecs.hpp>

#include <stdexcept>
#include <tuple>

#include "driver/output_tree.hpp"
#include "image/png_structure.hpp"
#include "superpixels/io.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

// Colours without any black pixel.
cv::Mat colourfulImage(int width, int height) {
  std::mt19937 generator(5);
  return makeImage(width, height, [&](int, int) {
    return cv::Vec3b(1 + generator() % 255, 1 + generator() % 255, 1 + generator() % 255);
  });
}

void expectSameImage(const cv::Mat& expected, const cv::Mat& actual) {
  ASSERT_EQ(actual.type(), expected.type());
  ASSERT_EQ(actual.size(), expected.size());
  for (int y = 0; y < expected.rows; ++y) {
    for (int x = 0; x < expected.cols; ++x) {
      ASSERT_EQ(actual.at<cv::Vec3b>(y, x), expected.at<cv::Vec3b>(y, x))
          << "first differing pixel (" << x << ", " << y << ")";
    }
  }
}

float component(int k) { return static_cast<float>(k / 21.0); }

TEST(ResultFiles, AreWrittenAsEncodedOverExistingFilesAndFailuresAreReported) {
  TempFolder folder;
  const cv::Mat source = colourfulImage(5, 4);
  Result result;
  result.width = 5;
  result.height = 4;
  result.regionCount = 2;
  for (int p = 0; p < 20; ++p) result.labels.push_back(p % 5 < 2 ? 0 : 1);
  result.colours = {Colour{component(3), component(5), component(8)},
                    Colour{component(19), component(0), component(11)}};
  const std::string base = folder.str() + "/oak";
  ResultFiles files;
  files.boundaryImage = base + boundarySuffix;
  files.partitionImage = base + partitionSuffix;
  files.labels = base + labelSuffix;
  // Older, longer files of the same names must not survive in part.
  for (const std::string& path : {files.boundaryImage, files.partitionImage, files.labels}) {
    writeFile(path, std::string(5000, 'x'));
  }
  ASSERT_TRUE(writeResults(files, source, result).empty());
  EXPECT_EQ(readFile(files.labels), labelText(result));
  expectSameImage(partitionImage(result), cv::imread(files.partitionImage, cv::IMREAD_COLOR));
  expectSameImage(boundaryImage(source, result.labels),
                  cv::imread(files.boundaryImage, cv::IMREAD_COLOR));

  // A file left out is not touched.
  fs::remove(files.partitionImage);
  ResultFiles labelsOnly;
  labelsOnly.labels = files.labels;
  ASSERT_TRUE(writeResults(labelsOnly, source, result).empty());
  EXPECT_FALSE(fs::exists(files.partitionImage));

  const std::string missing = folder.str() + "/missing/oak";
  ResultFiles unwritable;
  unwritable.boundaryImage = missing + boundarySuffix;
  unwritable.partitionImage = missing + partitionSuffix;
  unwritable.labels = missing + labelSuffix;
  const std::vector<FileFailure> failures = writeResults(unwritable, source, result);
  ASSERT_EQ(failures.size(), 3u) << "one failure does not stop the others";
  EXPECT_EQ(failures[0].path, missing + boundarySuffix);
  EXPECT_EQ(failures[2].path, missing + labelSuffix);
  for (const FileFailure& failure : failures) EXPECT_FALSE(failure.reason.empty());
  EXPECT_FALSE(fs::exists(folder / "missing"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
}

// A record goes into both PNGs, right after the header chunk, with the checksums of the label file
// and the tables, the PNG's role and the checksum of its own pixel data; the pixels and the label
// file are those written without it.
TEST(ResultFiles, RecordGoesIntoBothPngsAfterTheHeaderWithTheChecksumsThatTieTheSet) {
  TempFolder folder;
  const cv::Mat source = colourfulImage(6, 4);
  Result result;
  result.width = 6;
  result.height = 4;
  result.regionCount = 2;
  for (int p = 0; p < 24; ++p) result.labels.push_back(p % 6 < 3 ? 0 : 1);
  result.colours = {Colour{component(3), component(5), component(8)},
                    Colour{component(19), component(0), component(11)}};
  const auto filesIn = [&](const std::string& name) {
    const std::string base = folder.str() + "/" + name;
    ResultFiles files;
    files.boundaryImage = base + boundarySuffix;
    files.partitionImage = base + partitionSuffix;
    files.labels = base + labelSuffix;
    return files;
  };
  const ResultFiles plain = filesIn("plain");
  ResultFiles recorded = filesIn("recorded");
  recorded.regions = folder.str() + "/recorded_regions.csv";
  recorded.adjacency = folder.str() + "/recorded_adjacency.csv";
  ASSERT_TRUE(writeResults(plain, source, result).empty());
  ASSERT_TRUE(writeResults(recorded, source, result, "count=2\nweight=0.5").empty());

  const std::string labels = readFile(plain.labels);
  EXPECT_EQ(readFile(recorded.labels), labels);
  const std::string shared = std::string("tEXtsuperpixels") + '\0' +
                             "count=2\nweight=0.5\nlabels=" + checksum(labels) +
                             "\nregions=" + checksum(readFile(recorded.regions)) +
                             "\nadjacency=" + checksum(readFile(recorded.adjacency)) + "\n";
  for (const auto& [without, with, role] :
       {std::tuple{plain.boundaryImage, recorded.boundaryImage, "overlay"},
        std::tuple{plain.partitionImage, recorded.partitionImage, "partition"}}) {
    SCOPED_TRACE(with);
    const std::string png = readFile(with);
    const std::string pixels = checksum(readPngContents(readFile(without)).imageData);
    const std::string expected = shared + "file=" + role + "\npixels=" + pixels + "\n";
    // Signature (8 bytes), IHDR (25 bytes), then the text chunk: its length, then the above.
    EXPECT_EQ(png.substr(37, expected.size()), expected);
    expectSameImage(cv::imread(without, cv::IMREAD_COLOR), cv::imread(with, cv::IMREAD_COLOR));
    EXPECT_EQ(readFile(without).find("tEXt"), std::string::npos) << "no record, no chunk";
    const ResultRecord read = readResultRecord(with);
    EXPECT_TRUE(read.ok && read.role == role && read.shared == shared.substr(16));
    EXPECT_FALSE(readResultRecord(without).ok);
  }
  EXPECT_TRUE(resultsComplete(recorded, "count=2\nweight=0.5"));

  // Without the other files, the PNG's own lines alone follow the record.
  ResultFiles noLabels;
  noLabels.boundaryImage = folder.str() + "/alone_KVR.png";
  ASSERT_TRUE(writeResults(noLabels, source, result, "count=2\n").empty());
  const std::string body = std::string("superpixels") + '\0' + "count=2\nfile=overlay\npixels=" +
                           checksum(readPngContents(readFile(plain.boundaryImage)).imageData) +
                           "\n";
  EXPECT_EQ(readFile(noLabels.boundaryImage).substr(33, 8 + body.size()),
            std::string("\0\0\0", 3) + static_cast<char>(body.size()) + "tEXt" + body);
  EXPECT_THROW(writeResults(noLabels, source, result, std::string("a\0b", 3)),
               std::invalid_argument);
}

// Results on disk record the checksum: it must not change between machines or releases.
TEST(LabelChecksum, IsFixedAndTellsLabelFilesApart) {
  const std::string a = "0\t0\t1\t\r\n0\t1\t1\t\r\n";
  EXPECT_EQ(checksum(a), "95b751cbd0d2e14e");
  std::string b = a;
  b[2] = '1';
  EXPECT_NE(checksum(a), checksum(b));
  EXPECT_NE(checksum(a), checksum(a + "0\t\r\n"));
}

}  // namespace
}  // namespace superpixels::testing
