#include "jobs_scaling.hpp"

#include <chrono>
#include <filesystem>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "driver/folder_walk.hpp"

extern char** environ;

namespace superpixels::bench {

namespace {

// Runs the command with standard output sent to /dev/null; its exit status, or -1.
int runQuietly(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int started = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

JobsScaling measureJobsScaling(const std::string& tool, const std::string& imagesFolder, int count,
                               float weight, int rounds, const std::string& tempFolder) {
  namespace fs = std::filesystem;
  JobsScaling scaling;
  for (const auto& entry : fs::recursive_directory_iterator(imagesFolder)) {
    if (entry.is_regular_file() && isImagePath(entry.path().string())) ++scaling.images;
  }
  const std::vector<std::vector<std::string>> settings = {
      {"--jobs", "1", "--threads", "1"}, {"--jobs", "2", "--threads", "1"}, {}};
  std::vector<double>* const times[] = {&scaling.oneJob, &scaling.twoJobs, &scaling.defaults};
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t setting = 0; setting < settings.size(); ++setting) {
      const std::string output = tempFolder + "/run-" + std::to_string(setting);
      fs::remove_all(output);
      fs::create_directories(output);
      std::vector<std::string> command = {tool};
      command.insert(command.end(), settings[setting].begin(), settings[setting].end());
      command.insert(command.end(),
                     {imagesFolder, output, std::to_string(count), std::to_string(weight)});
      const auto start = std::chrono::steady_clock::now();
      const int status = runQuietly(command);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (status != 0) {
        scaling.problem = tool + " ended with status " + std::to_string(status);
        return scaling;
      }
      times[setting]->push_back(seconds);
    }
  }
  scaling.ok = true;
  return scaling;
}

}  // namespace superpixels::bench
