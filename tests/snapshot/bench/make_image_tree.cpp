// make_image_tree <folder> <small files> <large files> <large file MiB> [options]
// Writes a tree for the imaging engine's benchmark: many small files (1 to 48 KiB of text
// that compresses about as documents do, 100 to a folder, folders three deep) and a few large
// ones (half text, half noise that does not compress). The same arguments give the same tree.
// Options:
//   --small-bytes=N  small files of 1 to N bytes instead
//   --attributes     an extended attribute on every tenth small file, an ACL on every fiftieth
//   --links          every small file gets a second name in a copy of the tree (copy/...),
//                    as a hard-linked snapshot tree has
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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

// An ACL as the file system keeps it: the owner, a named user, the group, the mask, others.
std::string namedUserAcl() {
  std::string out;
  const auto put = [&out](unsigned v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
  };
  put(2, 4);
  const unsigned entries[][3] = {{0x01, 6, ~0u}, {0x02, 4, 1234}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 4, ~0u}};
  for (const auto& e : entries) {
    put(e[0], 2);
    put(e[1], 2);
    put(e[2], 4);
  }
  return out;
}

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: make_image_tree <folder> <small files> <large files> <large file MiB> [--small-bytes=N] [--attributes] [--links]\n");
    return 2;
  }
  const std::string root = argv[1];
  const long small = std::atol(argv[2]), large = std::atol(argv[3]), largeMiB = std::atol(argv[4]);
  long smallBytes = 0;
  bool attributes = false, links = false;
  for (int i = 5; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--small-bytes=", 0) == 0) smallBytes = std::atol(a.c_str() + 14);
    else if (a == "--attributes") attributes = true;
    else if (a == "--links") links = true;
    else {
      std::fprintf(stderr, "make_image_tree: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  mkdir(root.c_str(), 0755);
  if (links) mkdir((root + "/copy").c_str(), 0755);
  const std::string acl = namedUserAcl();
  std::string content;
  for (long i = 0; i < small; ++i) {
    const std::string tail = "/d" + std::to_string(i / 10000);
    const std::string tail2 = tail + "/e" + std::to_string(i / 100 % 100);
    const std::string name = tail2 + "/file" + std::to_string(i) + ".txt";
    if (i % 100 == 0) {
      for (const std::string& base : {root, root + "/copy"}) {
        if (base != root && !links) continue;
        mkdir((base + tail).c_str(), 0755);
        mkdir((base + tail2).c_str(), 0755);
      }
    }
    content.clear();
    appendText(content, smallBytes > 0 ? 1 + next() % smallBytes : 1024 + next() % (47 * 1024));
    const std::string path = root + name;
    if (!writeFile(path, content)) {
      std::perror(path.c_str());
      return 1;
    }
    if (attributes && i % 10 == 0) setxattr(path.c_str(), "user.origin", "bench", 5, 0);
    if (attributes && i % 50 == 0) setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0);
    if (links && link(path.c_str(), (root + "/copy" + name).c_str()) != 0) {
      std::perror(path.c_str());
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
