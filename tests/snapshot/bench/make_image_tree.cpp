// make_image_tree <folder> <small files> <large files> <large file MiB>
// Writes a tree for the imaging engine's benchmark: many small files (1 to 48 KiB of text
// that compresses about as documents do, 100 to a folder, folders three deep) and a few large
// ones (half text, half noise that does not compress). The same arguments give the same tree.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

uint64_t state = 0x9e3779b97f4a7c15ull;
uint64_t next() {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

const char* const kWords[] = {"backup", "image",  "drive", "folder", "report", "the",    "of",      "and",
                              "invoice", "total", "2024",  "client", "server", "upload", "restore", "data",
                              "note",   "meeting", "plan",  "budget", "draft",  "final",  "copy",    "page"};

void appendText(std::string& out, size_t bytes) {
  while (out.size() < bytes) {
    out += kWords[next() % (sizeof kWords / sizeof *kWords)];
    out += (next() % 12 == 0) ? '\n' : ' ';
  }
  out.resize(bytes);
}

void appendNoise(std::string& out, size_t bytes) {
  const size_t start = out.size();
  out.resize(start + bytes);
  for (size_t i = start; i + 8 <= out.size(); i += 8) {
    const uint64_t v = next();
    for (int b = 0; b < 8; ++b) out[i + b] = static_cast<char>(v >> (8 * b));
  }
}

bool writeFile(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: make_image_tree <folder> <small files> <large files> <large file MiB>\n");
    return 2;
  }
  const std::string root = argv[1];
  const long small = std::atol(argv[2]), large = std::atol(argv[3]), largeMiB = std::atol(argv[4]);
  mkdir(root.c_str(), 0755);
  std::string content;
  for (long i = 0; i < small; ++i) {
    const std::string a = root + "/d" + std::to_string(i / 10000);
    const std::string b = a + "/e" + std::to_string(i / 100 % 100);
    if (i % 100 == 0) {
      mkdir(a.c_str(), 0755);
      mkdir(b.c_str(), 0755);
    }
    content.clear();
    appendText(content, 1024 + next() % (47 * 1024));
    if (!writeFile(b + "/file" + std::to_string(i) + ".txt", content)) {
      std::perror(b.c_str());
      return 1;
    }
  }
  const std::string bigFolder = root + "/large";
  mkdir(bigFolder.c_str(), 0755);
  for (long i = 0; i < large; ++i) {
    content.clear();
    const size_t half = static_cast<size_t>(largeMiB) << 19;
    appendText(content, half);
    appendNoise(content, half);
    if (!writeFile(bigFolder + "/large" + std::to_string(i) + ".bin", content)) {
      std::perror(bigFolder.c_str());
      return 1;
    }
  }
  return 0;
}
