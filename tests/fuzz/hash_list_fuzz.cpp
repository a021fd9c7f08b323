// The hash list a differential image builds on (either format), read as the differential reads
// it: the header naming the full image, then the entries in the walk's order. Every entry the
// reader gives names a place inside its drive and comes after the one before; read again from
// the line it says it started at, or from what the list's writer makes of it, it is the same.
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "snapshot/HashList.h"

using namespace corvane;
using snapshot::HashEntry;
using snapshot::HashListReader;

namespace {

// A drive letter, then names: nothing a restore acting on the list could climb out with.
bool insideItsDrive(const std::string& path) {
  if (path.empty() || path[0] < 'A' || path[0] > 'Z') return false;
  if (path.size() == 1) return true;
  if (path[1] != '/' || path.find('\0') != std::string::npos) return false;
  for (size_t start = 2; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view piece(path.data() + start, end - start);
    if (piece.empty() || piece == "." || piece == "..") return false;
    start = end + 1;
  }
  return true;
}

// The text as a list file, which the reader reads as it reads one on the disk, through a
// buffer so small that most lines cross its edge (and a run of a fuzzer is not spent filling
// a buffer of a megabyte).
struct ListFile {
  explicit ListFile(const std::string& text)
      : file(fmemopen(const_cast<char*>(text.data()), text.size(), "rb")), reader(file, 64) {
    fuzz::expect(file != nullptr, "cannot open the input as a file");
  }
  ~ListFile() { std::fclose(file); }
  std::FILE* file;
  HashListReader reader;
};

void checkHeader(const HashListReader& reader) {
  if (!reader.namesImage()) return;
  const std::string& name = reader.imageName();
  fuzz::expect(name != "." && name != ".." && name.find_first_of(std::string("/\0", 2)) == std::string::npos,
               "the header names an image outside the list's folder");
  if (reader.firstFormat()) return;
  const std::string written =
      snapshot::formatHashListHeader(reader.imageSize(), reader.imageInode(), reader.started(), name) + '\n';
  ListFile again(written);
  fuzz::expect(again.reader.start(), "a written header does not read back");
  fuzz::expect(again.reader.imageName() == name && again.reader.imageSize() == reader.imageSize() &&
                   again.reader.imageInode() == reader.imageInode() && again.reader.started() == reader.started(),
               "a written header reads back as another");
}

}  // namespace

CORVANE_FUZZ_TARGET(hash_list) {
  // fmemopen wants at least one byte; an empty list is the same as one of a single line break.
  const std::string input = size ? std::string(reinterpret_cast<const char*>(data), size) : std::string("\n");
  ListFile list(input);
  HashListReader& reader = list.reader;
  if (!reader.start()) return 0;
  checkHeader(reader);
  HashEntry e, again;
  std::string previous;
  HashListReader::State state;
  while ((state = reader.next(&e)) == HashListReader::State::Ok) {
    fuzz::expect(insideItsDrive(e.path), "an entry's path leaves its drive");
    fuzz::expect(previous.empty() || snapshot::comparePaths(previous, e.path) < 0, "entries out of the walk's order");
    previous = e.path;
    const size_t at = reader.lineOffset();
    const size_t end = at < input.size() ? input.find('\n', at) : std::string::npos;
    fuzz::expect(end != std::string::npos, "an entry's line lies beyond the list");
    const std::string_view line(input.data() + at, end - at);
    const bool read = reader.firstFormat() ? snapshot::parseFirstFormatLine(line, &again) : snapshot::parseHashLine(line, &again);
    fuzz::expect(read && again == e, "an entry's line, read again where it starts, is another entry");
    if (reader.firstFormat()) continue;
    fuzz::expect(snapshot::parseHashLine(snapshot::formatHashLine(e), &again) && again == e, "a written entry reads back as another");
  }
  fuzz::expect(state != HashListReader::State::End || input.back() == '\n', "a list cut short reads as whole");
  return 0;
}
