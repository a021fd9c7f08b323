#include "snapshot/EngineOptions.h"

#include <algorithm>
#include <cctype>

namespace corvane::snapshot {

namespace {

bool isDriveWord(const std::string& s) {
  return s.size() == 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
}

bool parseSources(const std::string& word, std::vector<std::string>* out) {
  size_t start = 0;
  while (start <= word.size()) {
    const size_t plus = word.find('+', start);
    std::string piece = word.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
    while (!piece.empty() && (piece.back() == '\\' || piece.back() == '/')) piece.pop_back();
    if (!isDriveWord(piece)) return false;
    piece[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(piece[0])));
    if (std::find(out->begin(), out->end(), piece) == out->end()) out->push_back(piece);
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  // The walk writes drives in letter order, which is also the order the hash list needs.
  std::sort(out->begin(), out->end());
  return !out->empty();
}

bool parseLevel(const std::string& digits, int* level) {
  if (digits.empty() || digits.size() > 2) return false;
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  const int n = std::stoi(digits);
  if (n < 1 || n > 19) return false;
  *level = n;
  return true;
}

char folded(char c) {
  if (c == '/') return '\\';
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Iterative wildcard match with one back-tracking point: linear for the patterns used here.
bool wildcardMatch(const std::string& pattern, size_t p, const std::string& text, size_t t) {
  size_t starP = std::string::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || folded(pattern[p]) == folded(text[t]))) {
      ++p;
      ++t;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool sameLetters(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (folded(a[i]) != folded(b[i])) return false;
  return true;
}

}  // namespace

bool parseEngineOptions(const std::vector<std::string>& args, EngineOptions* out, std::string* error) {
  EngineOptions o;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-W") {
      o.writeHashList = true;
    } else if (a == "-h") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "-h needs the hash list of the full image";
        return false;
      }
      o.baseHashList = args[++i];
    } else if (a.rfind("-h", 0) == 0) {
      o.baseHashList = a.substr(2);  // the window's line writes the list right after the option
    } else if (a.rfind("-L", 0) == 0) {
      if (!parseLevel(a.substr(2), &o.level)) {
        *error = "compression level must be -L1 to -L19: " + a;
        return false;
      }
    } else if (a.rfind("--exclude:", 0) == 0) {
      const std::string pattern = a.substr(10);
      if (pattern.empty()) {
        *error = "empty --exclude: pattern";
        return false;
      }
      o.excludes.push_back(pattern);
    } else if (!a.empty() && a[0] == '-') {
      *error = "unknown option " + a;
      return false;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    *error = "expected the source drives and the image path";
    return false;
  }
  if (!parseSources(positional[0], &o.sources)) {
    *error = "source drives must read like C:+D: : " + positional[0];
    return false;
  }
  o.imagePath = positional[1];
  if (o.imagePath.size() < 4 || !isDriveWord(o.imagePath.substr(0, 2)) ||
      (o.imagePath[2] != '\\' && o.imagePath[2] != '/') || o.imagePath.back() == '\\' || o.imagePath.back() == '/') {
    *error = "the image path must be a file on a drive, like E:\\CorvaneImage\\$DISK.sna: " + o.imagePath;
    return false;
  }
  // Windows names ignore case, so "x.HSH" would be its own list there.
  if (o.writeHashList && sameLetters(hashListPathFor(o.imagePath), o.imagePath)) {
    *error = "the image would be overwritten by its own hash list: " + o.imagePath;
    return false;
  }
  *out = o;
  return true;
}

std::string hashListPathFor(const std::string& imagePath) {
  const size_t sep = imagePath.find_last_of("\\/");
  const size_t dot = imagePath.rfind('.');
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return imagePath + ".hsh";
  return imagePath.substr(0, dot) + ".hsh";
}

bool matchesExclude(const std::string& pattern, const std::string& windowsPath) {
  if (pattern.size() >= 2 && pattern[1] == ':') {
    if (windowsPath.size() < 2 || folded(pattern[0]) != folded(windowsPath[0])) return false;
    return wildcardMatch(pattern, 2, windowsPath, 2);
  }
  return windowsPath.size() >= 2 && windowsPath[1] == ':' && wildcardMatch(pattern, 0, windowsPath, 2);
}

}  // namespace corvane::snapshot
