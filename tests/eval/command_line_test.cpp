// End to end: the evaluation executable on a tiny tree of label files, ground truths and photos.

#include <sys/wait.h>

#include <cstdlib>

#include <opencv2/imgcodecs.hpp>

#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

struct EvalRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

EvalRun runEval(const TempFolder& temp, const std::string& arguments) {
  const std::string command = std::string(SUPERPIXELS_EVAL_EXECUTABLE) + " " + arguments + " >" +
                              (temp / "stdout").string() + " 2>" + (temp / "stderr").string();
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(temp / "stdout"),
          readFile(temp / "stderr")};
}

void writeLabelPng(const fs::path& path, int width, int height,
                   const std::vector<std::uint16_t>& labels) {
  ASSERT_TRUE(cv::imwrite(path.string(), cv::Mat(labels, true).reshape(1, height)));
  ASSERT_EQ(labels.size(), static_cast<std::size_t>(width * height));
}

TEST(EvalCommand, ScoresATreeAndReportsMismatchedFiles) {
  TempFolder temp;
  fs::create_directories(temp / "out/partition_results/sub");
  fs::create_directories(temp / "gt");
  fs::create_directories(temp / "photos");
  const std::string halves = "0\t0\t1\t1\t\r\n0\t0\t1\t1\t\r\n0\t0\t1\t1\t\r\n0\t0\t1\t1\t\r\n";
  const std::string quadrants = "0\t0\t1\t1\t\r\n0\t0\t1\t1\t\r\n2\t2\t3\t3\t\r\n2\t2\t3\t3\t\r\n";
  // "a": the halves, against the top row split off and against the halves themselves (text).
  writeFile(temp / "out/partition_results/sub/a.txt", halves);
  writeLabelPng(temp / "gt/a-0.png", 4, 4, {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  writeFile(temp / "gt/a-1.txt", halves);
  // "b": the quadrants, against themselves.
  writeFile(temp / "out/partition_results/b.txt", quadrants);
  writeLabelPng(temp / "gt/b-0.png", 4, 4, {5, 5, 6, 6, 5, 5, 6, 6, 7, 7, 8, 8, 7, 7, 8, 8});
  // Photos flat on every superpixel: explained variation 1.
  cv::Mat photo(4, 4, CV_8UC3, cv::Scalar(10, 20, 30));
  photo.colRange(2, 4).setTo(cv::Scalar(200, 100, 0));
  ASSERT_TRUE(cv::imwrite((temp / "photos/a.png").string(), photo));
  ASSERT_TRUE(cv::imwrite((temp / "photos/b.png").string(), cv::Mat(4, 4, CV_8UC3, 50)));
  writeFile(temp / "out/partition_results/b_partition.png", "ignored: not a label file");

  const std::string arguments = "--per-image --images " + (temp / "photos").string() + " --csv " +
                                (temp / "scores.csv").string() + " " + (temp / "out").string() +
                                " " + (temp / "gt").string();
  EvalRun run = runEval(temp, arguments);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("partition_results/sub/a "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("average (2 images)"), std::string::npos) << run.out;
  // a: recall (3/4 + 1) / 2, precision (1/2 + 1) / 2, UE (1/2 + 0) / 2, ASA (3/4 + 1) / 2,
  // compactness 2 pi / 9. b: perfect, compactness pi / 4. Average compactness 17 pi / 72.
  EXPECT_EQ(readFile(temp / "scores.csv"),
            "image,annotations,boundary_recall,boundary_precision,undersegmentation_error,"
            "achievable_segmentation_accuracy,explained_variation,compactness,superpixels,"
            "not_connected\n"
            "partition_results/b,1,1.000000,1.000000,0.000000,1.000000,1.000000,0.785398,4,0\n"
            "partition_results/sub/a,2,0.875000,0.750000,0.250000,0.875000,1.000000,0.698132,2,0\n"
            "average,1.50,0.937500,0.875000,0.125000,0.937500,1.000000,0.741765,3,0\n");

  // A ground truth of another size and a label file without ground truth fail alone.
  writeFile(temp / "out/partition_results/c.txt", halves);
  writeLabelPng(temp / "gt/c-0.png", 5, 4, std::vector<std::uint16_t>(20, 0));
  writeFile(temp / "out/partition_results/d.txt", halves);
  // A ground truth without label file fails the run too: the averages would leave it out.
  writeLabelPng(temp / "gt/e-0.png", 4, 4, std::vector<std::uint16_t>(16, 0));
  run = runEval(temp, arguments);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, (temp / "gt/c-0.png").string() + ": size 5x4 differs from 4x4 of " +
                         (temp / "out/partition_results/c.txt").string() + "\n" +
                         (temp / "out/partition_results/d.txt").string() +
                         ": no ground truth d-K.png, .txt or .npy in " + (temp / "gt").string() +
                         "\n" + (temp / "gt").string() +
                         ": 1 of 4 annotated images have no label file under " +
                         (temp / "out").string() + " (e.txt)\n");
  EXPECT_NE(run.out.find("average (2 images)"), std::string::npos) << run.out;
  // An annotation of another size is told by its header: this one holds no image data at all.
  writeFile(temp / "gt/c-0.png", pngDeclaring(16000, 16000));
  run = runEval(temp, "--max-pixels 2147483647 " + arguments);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
            (temp / "gt/c-0.png").string() + ": size 16000x16000 differs from 4x4 of " +
                (temp / "out/partition_results/c.txt").string());
  // Under a pixel limit, a label file above it is refused.
  const std::string a = (temp / "out/partition_results/sub/a.txt").string();
  run = runEval(temp, "--max-pixels 15 " + a + " " + (temp / "gt").string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
            a + ": map is 4 x 4 labels, more than the limit of 15");

  EXPECT_EQ(runEval(temp, (temp / "out").string()).exitCode, 2);
}

TEST(EvalCommand, WindowToleranceAndChosenSubsets) {
  TempFolder temp;
  fs::create_directories(temp / "out");
  fs::create_directories(temp / "gt");
  // "a": the halves, as numpy.savetxt writes them, against the top row split off. "b": an
  // annotated image left out.
  writeFile(temp / "out/a.txt",
            "0.000000000000000000e+00 0.000000000000000000e+00 1.000000000000000000e+00 "
            "1.000000000000000000e+00\n" +
                std::string("0 0 1 1\n0 0 1 1\n0 0 1 1\n"));
  writeLabelPng(temp / "gt/a-0.png", 4, 4, {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  writeLabelPng(temp / "gt/b-0.png", 4, 4, std::vector<std::uint16_t>(16, 0));
  const std::string folders = (temp / "out").string() + " " + (temp / "gt").string();
  const std::string csv = " --csv " + (temp / "scores.csv").string() + " ";
  const auto recallAndPrecision = [&] {
    const std::string text = readFile(temp / "scores.csv");
    const std::size_t row = text.find("\na,");
    return row == std::string::npos ? std::string() : text.substr(row + 5, 17);
  };

  // Leaving "b" out fails the run, unless asked for.
  EvalRun run = runEval(temp, csv + folders);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("1 of 2 annotated images have no label file"), std::string::npos);
  run = runEval(temp, "--subset" + csv + folders);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("average (1 image)"), std::string::npos) << run.out;
  // Disk, r = 1 (HalvesAgainstTopRow).
  EXPECT_EQ(recallAndPrecision(), "0.750000,0.500000");

  // Square: boundaries on both sides of each edge; r defaults to round(0.0025 x 5.7) = 0.
  run = runEval(temp, "--subset --window square" + csv + folders);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(recallAndPrecision(), "0.500000,0.500000");
  run = runEval(temp, "--subset --window square --tolerance 1" + csv + folders);
  EXPECT_EQ(recallAndPrecision(), "1.000000,0.750000");
  run = runEval(temp, "--subset --tolerance 0" + csv + folders);
  EXPECT_EQ(recallAndPrecision(), "0.250000,0.250000");  // only (1,0) lies on both boundaries

  // A label file that cannot be read still fails a chosen subset.
  writeFile(temp / "out/c.npy", "not numpy");
  writeLabelPng(temp / "gt/c-0.png", 4, 4, std::vector<std::uint16_t>(16, 0));
  run = runEval(temp, "--subset" + csv + folders);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, (temp / "out/c.npy").string() + ": not a .npy file\n");
  // A folder of numpy label maps names the one missing for an annotated image as a .npy file.
  fs::create_directories(temp / "npy");
  fs::copy_file(temp / "out/c.npy", temp / "npy/c.npy");
  run = runEval(temp, (temp / "npy").string() + " " + (temp / "gt").string());
  EXPECT_NE(run.err.find(" (a.npy, b.npy)\n"), std::string::npos) << run.err;

  for (const char* bad :
       {"--window circle", "--window", "--tolerance -1", "--tolerance 1.5", "--tolerance 1000001",
        "--tolerance ''", "--max-pixels 0", "--max-pixels 2147483648"}) {
    run = runEval(temp, std::string(bad) + " " + folders);
    EXPECT_EQ(run.exitCode, 2) << bad;
    EXPECT_NE(run.err.find(std::string(bad).substr(0, 8)), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace superpixels::testing
