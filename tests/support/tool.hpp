#pragma once

// Running the real tool: its command line quoted for the shell, captured console streams, a
// fixture with an input tree and an output folder, the trees and lines a run should leave.

#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::string quoted(const std::string& text) {
  std::string q = "'";
  for (const char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The output tree of a run: the two sub-folders, the mirrors of `folders` and the three result
// files of every relative base in `bases`.
inline std::vector<std::string> resultTree(const std::vector<std::string>& folders,
                                           const std::vector<std::string>& bases) {
  std::vector<std::string> tree = {"partition_results/", "superpixels/"};
  for (const std::string& folder : folders) {
    tree.push_back("partition_results/" + folder + "/");
    tree.push_back("superpixels/" + folder + "/");
  }
  for (const std::string& base : bases) {
    tree.push_back("partition_results/" + base + ".txt");
    tree.push_back("partition_results/" + base + "_partition.png");
    tree.push_back("superpixels/" + base + "_KVR.png");
  }
  std::sort(tree.begin(), tree.end());
  return tree;
}

// The tool's two lines for an image: the input path, and the overlay path with the relative base
// ("/sub/name"; "/name" for an input that is an image file).
inline std::string imageLines(const std::string& path, const std::string& output,
                              const std::string& relativeBase) {
  return "reading  " + path + "...\nsave superpixel to " + output + "/superpixels/" + relativeBase +
         "_KVR.png\n";
}

// For end-to-end tests of the tool: an input tree under <temp>/in, an existing empty output folder
// <temp>/out; the tool's console streams are captured next to them.
class ToolTest : public ::testing::Test {
 protected:
  ToolTest() : in_(temp_.str() + "/in"), out_(temp_.str() + "/out") {
    fs::create_directories(in_);
    fs::create_directories(out_);
  }

  ToolRun run(const std::vector<std::string>& arguments) {
    return runShell(toolCommand(arguments));
  }

  // The tool's command line, quoted for the shell.
  static std::string toolCommand(const std::vector<std::string>& arguments) {
    std::string command = quoted(SUPERPIXELS_EXECUTABLE);
    for (const std::string& argument : arguments) command.append(" ").append(quoted(argument));
    return command;
  }

  // Runs a shell command that runs the tool; its exit code and console streams are the result.
  ToolRun runShell(std::string command) {
    const fs::path out = temp_ / "stdout", err = temp_ / "stderr";
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    ToolRun result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
  }

  ToolRun runOn(const std::string& input, const std::string& count = "6",
                const std::string& weight = "0.5") {
    return run({input, out_, count, weight});
  }

  void image(const std::string& relative, const cv::Mat& bgr) {
    const fs::path path = in_ + "/" + relative;
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(cv::imwrite(path.string(), bgr)) << path;
  }

  std::string superpixelFile(const std::string& base) const {
    return out_ + "/superpixels/" + base + "_KVR.png";
  }
  std::string partitionFile(const std::string& base) const {
    return out_ + "/partition_results/" + base + "_partition.png";
  }
  std::string labelFile(const std::string& base) const {
    return out_ + "/partition_results/" + base + ".txt";
  }

  TempFolder temp_;
  std::string in_, out_;
};

// Starts the tool in the background with standard output to `stdoutPath` and standard error to
// /dev/null; with `maxOpenFiles` > 0 it may hold no more descriptors than that. Returns its pid.
inline pid_t startTool(const std::vector<std::string>& arguments, const fs::path& stdoutPath,
                       rlim_t maxOpenFiles = 0) {
  std::vector<std::string> argv = {SUPERPIXELS_EXECUTABLE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(out, 1);
    ::dup2(null, 2);
    ::close(out);
    ::close(null);
    if (maxOpenFiles > 0) {
      const rlimit limit{maxOpenFiles, maxOpenFiles};
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  return pid;
}

// A ToolTest with a small input tree: 12 images in three folders, one folder without images.
class SmallTreeTest : public ToolTest {
 protected:
  void makeTree() {
    for (int i = 0; i < 12; ++i) {
      const std::string base = "set" + std::to_string(i % 3) + "/img" + std::to_string(i);
      image(base + ".png", noiseImage(24, 16, 40 + i));
      bases_.push_back(base);
    }
    fs::create_directories(in_ + "/empty");
    folders_ = {"empty", "set0", "set1", "set2"};
  }

  // A full run into `output`, which it creates.
  void fullRun(const std::string& output) {
    fs::create_directories(output);
    const ToolRun full = run({"--quiet", in_, output, "5", "0.5"});
    ASSERT_EQ(full.exitCode, 0) << full.err;
  }

  std::vector<std::string> bases_, folders_;
};

}  // namespace superpixels::testing
