#include "output/atomic_file.hpp"
#include "output/testing_seam.hpp"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace superpixels {

namespace {

constexpr std::string_view temporaryInfix = ".tmp-";
constexpr std::size_t temporaryRandomLength = 6;

WriteStatus failure(const char* what) {
  return {false, std::string(what) + ": " + std::strerror(errno)};
}

// The temporary files of writes in progress, so that a run stopped by a signal can remove them.
// Files are created, renamed and removed under the lock, so none appears or stays unnoticed; their
// bytes are written outside it.
struct Temporaries {
  std::mutex mutex;
  std::unordered_set<std::string> inProgress;
};

Temporaries& temporaries() {
  static Temporaries* registry = new Temporaries;  // never destroyed: threads may outlive exit
  return *registry;
}

std::atomic<void (*)(const std::string&)> beforeRename{nullptr};

// Creates a new, empty temporary file beside `path`, "." + NAME + ".tmp-" + six letters or digits,
// with permissions 0666 less the process's umask, applied by the system as it creates the file.
// Asking for the umask would mean setting it (umask(0), then back), which on several writer threads
// at once can leave it at 0 for good. Returns the descriptor, or -1 with errno set.
int createTemporary(const std::string& path, std::string& temporary) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  static constexpr char alphabet[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  thread_local std::mt19937_64 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Hidden, so that a leftover from a killed run is not mistaken for a result.
    temporary = folder + "." + name + std::string(temporaryInfix);
    for (std::size_t i = 0; i < temporaryRandomLength; ++i) {
      temporary += alphabet[random() % (sizeof alphabet - 1)];
    }
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

FileIdentity identityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
          static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

}  // namespace

WriteStatus writeFileAtomically(const std::string& path, std::string_view bytes,
                                FileIdentity* written) {
  Temporaries& registry = temporaries();
  std::string temporary;
  int fd;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    fd = createTemporary(path, temporary);
    if (fd < 0) return failure("cannot create file");
    registry.inProgress.insert(temporary);
  }
  // Removes the temporary after a failure, keeping errno for the reason.
  const auto discard = [&](const char* what) {
    const WriteStatus status = failure(what);
    std::lock_guard<std::mutex> lock(registry.mutex);
    ::unlink(temporary.c_str());
    registry.inProgress.erase(temporary);
    return status;
  };

  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      const int cause = errno;
      ::close(fd);
      errno = cause;
      return discard("cannot write file");
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  struct stat info;
  if (written != nullptr && ::fstat(fd, &info) != 0) {
    const int cause = errno;
    ::close(fd);
    errno = cause;
    return discard("cannot write file");
  }
  if (::close(fd) != 0) return discard("cannot write file");
  if (void (*hook)(const std::string&) = beforeRename.load(); hook != nullptr) hook(temporary);
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const WriteStatus status = failure("cannot replace file");
    ::unlink(temporary.c_str());
    registry.inProgress.erase(temporary);
    return status;
  }
  registry.inProgress.erase(temporary);
  if (written != nullptr) *written = identityOf(info);
  return {true, {}};
}

FileIdentity identityOf(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? identityOf(info) : FileIdentity{};
}

void abandonWritesForExit() {
  Temporaries& registry = temporaries();
  registry.mutex.lock();  // for good: no writer creates or renames a file after this
  for (const std::string& temporary : registry.inProgress) ::unlink(temporary.c_str());
  registry.inProgress.clear();
}

void setBeforeRenameHookForTesting(void (*hook)(const std::string& temporary)) {
  beforeRename.store(hook);
}

bool isTemporaryName(std::string_view name) {
  const std::size_t tail = temporaryInfix.size() + temporaryRandomLength;
  if (name.size() < 2 + tail || name[0] != '.') return false;
  if (name.substr(name.size() - tail, temporaryInfix.size()) != temporaryInfix) return false;
  for (const char c : name.substr(name.size() - temporaryRandomLength)) {
    const bool alphanumeric =
        (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alphanumeric) return false;
  }
  return true;
}

int removeLeftoverTemporaries(const std::string& folder, const std::vector<std::string>& suffixes,
                              std::chrono::seconds minimumAge) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!isTemporaryName(name)) continue;
    const std::string_view target =
        name.substr(1, name.size() - 1 - temporaryInfix.size() - temporaryRandomLength);
    for (const std::string& suffix : suffixes) {
      if (target.size() > suffix.size() && target.ends_with(suffix)) {
        leftovers.emplace_back(name);
        break;
      }
    }
  }
  ::closedir(dir);
  const std::time_t now = std::time(nullptr);
  int removed = 0;
  for (const std::string& name : leftovers) {
    const std::string path = folder + "/" + name;
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (now - info.st_mtime < minimumAge.count()) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace superpixels
