#pragma once
// The status channel between a running engine and the control library: one small file in the
// application folder. The engine owns it while it runs (it holds a write lock on it for its
// whole life, so a crashed engine releases it by dying) and keeps its figures in a shared
// mapping of it; the library reads the figures and posts pause and resume requests with plain
// reads and writes of the same file.
#include <atomic>
#include <cstdint>
#include <string>

namespace corvane::snapshot {

// Status codes of an image (the engine's exit code as well, except after SIGTERM).
enum StatusCode : int32_t {
  kOk = 0,
  kBadCommandLine = 1,
  kSourceMissing = 2,
  kSourceUnreadable = 3,
  kDestinationFull = 4,
  kDestinationUnwritable = 5,
  kHashListMissing = 6,
  kHashListDamaged = 7,
  kEndedByRequest = 8,
  kAlreadyRunning = 9,
  kEngineVanished = 10,
  kInternalError = 11,
};

// The file's layout. The engine reads and writes every field through std::atomic_ref.
struct StatusBlock {
  char magic[8];
  uint32_t version;
  uint32_t size;
  int32_t pid;
  int32_t statusCode;
  int32_t inProgress;      // 1 from the start of an image to its end, success or failure
  int32_t pauseRequested;  // written by the library
  int32_t paused;          // written by the engine once it has really stopped reading and writing
  int32_t pausedNaps;      // rounds of the engine's pause loop, so a watcher can tell time passed
  uint64_t bytesRead;
  uint64_t bytesWritten;
};

inline constexpr char kStatusMagic[8] = {'C', 'V', 'S', 'N', 'A', 'P', 'S', 'T'};
inline constexpr uint32_t kStatusVersion = 1;
inline constexpr long kStatusFileSize = 4096;
inline constexpr const char* kStatusFileName = "snapshot.status";

template <typename T>
T loadField(T& field) {
  return std::atomic_ref<T>(field).load(std::memory_order_acquire);
}
template <typename T>
void storeField(T& field, T value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_release);
}

// The application folder as the engine and the library see it: CORVANE_APPDIR when set, else
// the folder of the running executable (the window's folder for the library, the engine's own
// folder for the engine; both are installed in the application folder).
std::string statusFolder();
std::string statusFilePath();
// The status file of a given application folder.
std::string statusFilePathIn(const std::string& folder);

// The engine's side: a mapping of the status file. Move-only; unmaps on destruction.
class StatusMapping {
 public:
  StatusMapping() = default;
  StatusMapping(StatusMapping&& other) noexcept;
  StatusMapping& operator=(StatusMapping&& other) noexcept;
  StatusMapping(const StatusMapping&) = delete;
  StatusMapping& operator=(const StatusMapping&) = delete;
  ~StatusMapping();

  enum class OwnResult { Owned, AlreadyOwned, Failed };
  // The engine's side: creates the file when missing, takes the lock (without waiting) and
  // resets the block for a new image. AlreadyOwned: another engine holds it.
  static StatusMapping openAsOwner(const std::string& path, OwnResult* result);

  bool valid() const { return block_ != nullptr; }
  StatusBlock* block() const { return block_; }

 private:
  void reset();
  int fd_ = -1;
  StatusBlock* block_ = nullptr;
};

// The library's side. Never mapped: a mapped page past the end of a file that was cut short
// or rewritten under a running window would bring the window down; a read only comes up short.
class StatusFile {
 public:
  StatusFile() = default;
  StatusFile(StatusFile&& other) noexcept;
  StatusFile& operator=(StatusFile&& other) noexcept;
  StatusFile(const StatusFile&) = delete;
  StatusFile& operator=(const StatusFile&) = delete;
  ~StatusFile();

  // An existing status file; an empty one when there is none (no engine has run here).
  static StatusFile open(const std::string& path);
  bool valid() const { return fd_ >= 0; }
  // The block as it stands; false when the file does not hold one of ours (any more).
  bool read(StatusBlock* out) const;
  // Posts a pause (1) or resume (0) request; false when it cannot be written.
  bool postPause(int32_t value) const;
  // True while an engine holds the file's lock (asked without taking it).
  bool ownerAlive() const;
  // Device and inode of the open file, so a kept connection notices a replaced file.
  bool sameFile(const std::string& path) const;

 private:
  int fd_ = -1;
  bool writable_ = false;
  unsigned long long dev_ = 0, ino_ = 0;
};

}  // namespace corvane::snapshot
