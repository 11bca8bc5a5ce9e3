// The host's file services: resource paths, whole-file reads, the saved
// state file, the local date, opening a link, and the decoders the drivers
// load their assets through.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "host/audio_codec.h"
#include "host/game.h"
#include "host/image_codec.h"

extern char** environ;

namespace {

const char* const kStatePath = "./.dovelstate";

// The folder part of a file path, "." when it has none.
std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Flushes a folder's entries (the rename of a file in it) to the disk.
void syncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Creates a fresh temporary file next to `path` with the given permission
// bits. A leftover with our name can only come from an earlier process with
// the same id that died mid-save.
int createTemp(const std::string& path, mode_t mode, std::string* temp) {
  *temp = path + ".tmp." + std::to_string(getpid());
  int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0 && errno == EEXIST) {
    unlink(temp->c_str());
    fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  }
  return fd;
}

// Removes the temporary files that saves of `path` left behind when their
// process died before the rename. A temporary file is named after the saving
// process, so one whose process still runs belongs to a save in progress and
// stays.
void removeDeadTemps(const std::string& path) {
  std::string folder = folderOf(path);
  std::string prefix = path.substr(path.rfind('/') + 1) + ".tmp.";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH) continue;
    unlink((folder + "/" + name).c_str());
  }
  closedir(dir);
}

// The file a save of `path` writes: where a symbolic link (or a chain of
// them) leads, so that the player's link stays a link. A dangling link leads
// to the file it names, which the save then creates.
std::string followLinks(std::string path) {
  constexpr int kMaxLinkHops = 40;
  char target[PATH_MAX];
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) break;
    target[n] = '\0';
    path = target[0] == '/' ? std::string(target) : folderOf(path) + "/" + target;
  }
  return path;
}

// Writes `text` to the open file descriptor and flushes it to the disk;
// closes fd in every case. False when any step fails.
bool writeDurably(int fd, const std::string& bytes) {
  FILE* f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    return false;
  }
  bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && fflush(f) == 0 && fsync(fileno(f)) == 0;
  return (fclose(f) == 0) && written;
}

// Rewrites an existing file where it stands (truncate, write, fsync), for a
// file whose folder does not let us create the temporary file beside it.
int saveInPlace(const std::string& path, const std::string& text) {
  int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return -1;
  return writeDurably(fd, text) ? 0 : -2;
}

// Reads the rest of f into one malloc'd block; null when reading fails, the
// file would not fit an int length or memory runs out.
unsigned char* readAll(FILE* f, int* length) {
  std::vector<unsigned char> bytes;
  unsigned char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
    if (bytes.size() + n > static_cast<size_t>(INT_MAX)) return nullptr;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  if (ferror(f)) return nullptr;
  // malloc(0) may give null, which would read as "no file".
  auto* data = static_cast<unsigned char*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
  if (!data) return nullptr;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  *length = static_cast<int>(bytes.size());
  return data;
}

}  // namespace

int VoSaveFileAtomically(const std::string& path, const std::string& text) {
  // A file the user made read-only stays as it is.
  if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) return -1;
  std::string target = followLinks(path);
  struct stat old;
  bool existed = stat(target.c_str(), &old) == 0;
  mode_t mode = existed ? (old.st_mode & 07777) : 0666;
  std::string temp;
  int fd = createTemp(target, mode, &temp);
  if (fd < 0) return (errno == EACCES || errno == EPERM) ? saveInPlace(target, text) : -1;
  // The creation mode passed through the umask; the old file's bits did not.
  if (existed && fchmod(fd, mode) != 0) {
    close(fd);
    unlink(temp.c_str());
    return -1;
  }
  if (!writeDurably(fd, text)) {
    unlink(temp.c_str());
    return -2;
  }
  if (rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return -1;
  }
  syncFolder(folderOf(target));
  return 0;
}

void VoRemoveDeadSaves(const std::string& path) { removeDeadTemps(followLinks(path)); }

String vo_data_FixDataPath(String path) {
  int colon = path.Find(String(":/"));
  if (colon != -1 && path.Find(String("/")) == colon + 1) return path;
  if (path.StartsWith(String("./")) || path.StartsWith(String("/"))) return path;
  return String("dovel://data/") + path;
}

String VoGlfwGame::PathToFilePath(String path) {
  static const char* const kRoots[][2] = {
      {"dovel://data/", "./data/"},
      {"dovel://internal/", "./internal/"},
      {"dovel://external/", "./external/"},
  };
  if (!path.StartsWith(String("dovel:"))) return path;
  for (const auto& root : kRoots) {
    String prefix(root[0]);
    if (path.StartsWith(prefix)) return String(root[1]) + path.Slice(prefix.Length());
  }
  return String();
}

FILE* VoGame::OpenFile(String path, String mode) {
  String file = PathToFilePath(path);
  if (file.Length() == 0) return nullptr;
  return std::fopen(file.ToUtf8().c_str(), mode.ToUtf8().c_str());
}

String VoGame::LoadString(String path) {
  FILE* f = OpenFile(path, String("rb"));
  if (!f) return String();
  String text = String::Load(f);
  std::fclose(f);
  return text;
}

unsigned char* VoGame::LoadData(String path, int* length) {
  FILE* f = OpenFile(path, String("rb"));
  if (!f) return nullptr;
  unsigned char* data = readAll(f, length);
  std::fclose(f);
  return data;
}

int VoGame::SaveState(String state) { return VoSaveStateFile(state); }

String VoGame::LoadState() { return VoLoadStateFile(); }

// The state file is a plain path, which PathToFilePath leaves as it is.
int VoSaveStateFile(String state) { return VoSaveFileAtomically(kStatePath, state.ToUtf8()); }

// The state is read once at start-up, which is also when the temporary files
// of saves killed in an earlier run are cleared away (beside the file a
// symbolic link leads to, where the saves write them).
String VoLoadStateFile() {
  VoRemoveDeadSaves(kStatePath);
  FILE* f = std::fopen(kStatePath, "rb");
  if (!f) return String();
  String text = String::Load(f);
  std::fclose(f);
  return text;
}

void VoGame::GetDate(Array<int> date) {
  int n = date.Length();
  if (n < 1) return;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int fields[7] = {
      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 0};
  for (int i = 0; i < n && i < 7; ++i) date[i] = fields[i];
}

// Hands the link to the desktop's default handler. xdg-open gets the URL as
// its one argument (no shell ever sees it) and runs in its own session; a
// detached thread reaps it so no zombie is left behind.
void VoOpenUrlOnDesktop(String url) {
  std::string link = url.ToUtf8();
  char program[] = "xdg-open";
  char* args[] = {program, link.data(), nullptr};
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid;
  int failed = posix_spawnp(&pid, program, nullptr, &attr, args, environ);
  posix_spawnattr_destroy(&attr);
  if (failed) return;
  std::thread([pid] {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

unsigned char* VoGlfwGame::LoadImageData(String path, int* width, int* height, int* depth) {
  FILE* f = OpenFile(path, String("rb"));
  if (!f) return nullptr;
  unsigned char* pixels = vo_decode_png_file(f, width, height, depth);
  std::fclose(f);
  // The pixels (and later their texture) belong to a collected surface but
  // lie outside the collector's heap, so they are treated as an allocation of
  // their size: garbage worth that much is destroyed first (which releases
  // the pictures of earlier resolutions that sweeps already found dead), and
  // they count towards the next full collection, which follows every 8 MiB of
  // pictures. The pictures replaced last in a run of loads are released by
  // the update that ends the run (ReleaseReplacedPictures).
  if (pixels) {
    ++_pictureLoads;
    gc_count_external(static_cast<long long>(*width) * *height * *depth);
  }
  return pixels;
}

unsigned char* VoGlfwGame::LoadAudioData(String path, int* length, int* channels, int* format, int* hertz) {
  FILE* f = OpenFile(path, String("rb"));
  if (!f) return nullptr;
  String lower = path.ToLower();
  unsigned char* pcm = nullptr;
  if (lower.EndsWith(String(".wav")))
    pcm = LoadWAV(f, length, channels, format, hertz);
  else if (lower.EndsWith(String(".ogg")))
    pcm = LoadOGG(f, length, channels, format, hertz);
  std::fclose(f);
  return pcm;
}
