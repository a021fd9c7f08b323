#pragma once
// The engine's command line, in the Windows form the window writes:
//   snapshot C:+D: E:\CorvaneImage\$DISK.sna -L4 -W
//   snapshot C:+D: E:\CorvaneImage\$DISK_Diff.sna -h E:\CorvaneImage\$DISK.hsh --exclude:\CorvaneImage\* -L4 -W
#include <string>
#include <vector>

namespace corvane::snapshot {

struct EngineOptions {
  std::vector<std::string> sources;    // "C:", "D:": upper-case, no duplicates, in letter order
  std::string imagePath;               // Windows form, as given
  std::string baseHashList;            // -h: differential against this list (empty: full image)
  std::vector<std::string> excludes;   // --exclude: patterns, as given
  int level = 3;                       // -L<n>: zstd level
  bool writeHashList = false;          // -W
};

// Parses the words after the program name. On failure returns false with a message.
bool parseEngineOptions(const std::vector<std::string>& args, EngineOptions* out, std::string* error);

// The hash list written beside an image: the image path with its extension replaced by ".hsh".
std::string hashListPathFor(const std::string& imagePath);

// An --exclude pattern against a path of a source drive in Windows form ("C:\CorvaneImage\x").
// A pattern with a drive ("D:\tmp\*") applies to that drive only, one without ("\tmp\*") to
// every drive. '*' matches any run of characters (also across '\'), '?' one character; letters
// compare without regard to case, and '/' and '\' are the same separator.
bool matchesExclude(const std::string& pattern, const std::string& windowsPath);

}  // namespace corvane::snapshot
