// The engine's command line, its exclusion patterns and its hash list, without running it.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>

#include "snapshot/EngineOptions.h"
#include "snapshot/HashList.h"
#include "snapshot/LinkTable.h"

using namespace corvane::snapshot;

namespace {

EngineOptions parsed(const std::vector<std::string>& args) {
  EngineOptions o;
  std::string error;
  EXPECT_TRUE(parseEngineOptions(args, &o, &error)) << error;
  return o;
}

bool rejected(const std::vector<std::string>& args) {
  EngineOptions o;
  std::string error;
  const bool ok = parseEngineOptions(args, &o, &error);
  return !ok && !error.empty();
}

// Reads a whole list as the differential does; the last state says whether it was sound.
HashListReader::State readList(const std::string& text, std::vector<HashEntry>* entries = nullptr) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(fmemopen(const_cast<char*>(text.data()), text.size(), "r"), &std::fclose);
  HashListReader reader(f.get());
  if (!reader.start()) return HashListReader::State::Damaged;
  HashEntry e;
  HashListReader::State s;
  while ((s = reader.next(&e)) == HashListReader::State::Ok)
    if (entries) entries->push_back(e);
  return s;
}

}  // namespace

TEST(EngineCommandLine, TheWindowsTwoLinesGiveAFullAndADifferentialImage) {
  const EngineOptions full = parsed({"D:+c:", "E:\\CorvaneImage\\$DISK.sna", "-L4", "-W"});
  EXPECT_EQ(full.sources, (std::vector<std::string>{"C:", "D:"}));  // letter order, upper case
  EXPECT_EQ(full.imagePath, "E:\\CorvaneImage\\$DISK.sna");
  EXPECT_EQ(full.level, 4);
  EXPECT_TRUE(full.writeHashList);
  EXPECT_TRUE(full.baseHashList.empty());
  EXPECT_TRUE(full.excludes.empty());

  const EngineOptions diff = parsed({"C:+D:+C:", "E:\\CorvaneImage\\$DISK_Diff.sna", "-h", "E:\\CorvaneImage\\$DISK.hsh",
                                     "--exclude:\\CorvaneImage\\*", "-L4", "-W"});
  EXPECT_EQ(diff.sources, (std::vector<std::string>{"C:", "D:"}));
  EXPECT_EQ(diff.baseHashList, "E:\\CorvaneImage\\$DISK.hsh");
  EXPECT_EQ(diff.excludes, (std::vector<std::string>{"\\CorvaneImage\\*"}));
  EXPECT_EQ(hashListPathFor(diff.imagePath), "E:\\CorvaneImage\\$DISK_Diff.hsh");
  // The window's differential line has the list joined to the option.
  EXPECT_EQ(parsed({"C:", "E:\\CorvaneImage\\$DISK_Diff.sna", "-hE:\\CorvaneImage\\$DISK.hsh"}).baseHashList,
            "E:\\CorvaneImage\\$DISK.hsh");
  EXPECT_EQ(hashListPathFor("E:\\img.v2\\image"), "E:\\img.v2\\image.hsh");
}

TEST(EngineCommandLine, RefusesWhatItCannotCarryOut) {
  EXPECT_TRUE(rejected({}));
  EXPECT_TRUE(rejected({"C:"}));                                          // no image
  EXPECT_TRUE(rejected({"C:", "E:\\a.sna", "extra"}));                    // a third word
  EXPECT_TRUE(rejected({"C+D", "E:\\a.sna"}));                            // not drives
  EXPECT_TRUE(rejected({"C:+", "E:\\a.sna"}));                            // empty piece
  EXPECT_TRUE(rejected({"C:", "a.sna"}));                                 // not on a drive
  EXPECT_TRUE(rejected({"C:", "E:\\CorvaneImage\\"}));                    // a folder
  EXPECT_TRUE(rejected({"C:", "E:\\a.sna", "-L0"}));
  EXPECT_TRUE(rejected({"C:", "E:\\a.sna", "-L20"}));
  EXPECT_TRUE(rejected({"C:", "E:\\a.sna", "-Lx"}));
  EXPECT_TRUE(rejected({"C:", "E:\\a.sna", "-h"}));                       // list missing
  EXPECT_TRUE(rejected({"C:", "E:\\a.sna", "--exclude:"}));
  EXPECT_TRUE(rejected({"C:", "E:\\a.sna", "-X"}));
  EXPECT_TRUE(rejected({"C:", "E:\\img\\a.HSH", "-W"}));                // its list would overwrite it
  EXPECT_FALSE(rejected({"C:", "E:\\img\\a.hsh"}));                      // fine without a list
}

TEST(EngineExcludes, MatchTheImageFolderOnEveryDriveAndNothingBesideIt) {
  const std::string p = "\\CorvaneImage\\*";
  EXPECT_TRUE(matchesExclude(p, "C:\\CorvaneImage\\"));  // the folder itself, as the walk asks
  EXPECT_TRUE(matchesExclude(p, "C:\\CorvaneImage\\$DISK.sna"));
  EXPECT_TRUE(matchesExclude(p, "D:\\corvaneimage\\old\\x.sna"));  // any case, any depth
  EXPECT_FALSE(matchesExclude(p, "C:\\CorvaneImage"));
  EXPECT_FALSE(matchesExclude(p, "C:\\CorvaneImages\\x"));
  EXPECT_FALSE(matchesExclude(p, "C:\\Data\\CorvaneImage\\x"));

  EXPECT_TRUE(matchesExclude("D:\\tmp\\*.t?p", "D:\\tmp\\a\\b.tmp"));
  EXPECT_FALSE(matchesExclude("D:\\tmp\\*.t?p", "C:\\tmp\\b.tmp"));  // another drive
  EXPECT_TRUE(matchesExclude("/tmp/*", "C:\\TMP\\x"));               // either slash
}

TEST(HashList, LinesCarryAnyNameAndReadBackInTheWalksOrder) {
  const std::vector<std::string> names = {"C", "C/a", "C/a/b c", "C/a/x\\y", "C/a/line\nbreak", "C/a-b", "C/\xc3\xa9t\xc3\xa9"};
  std::string text = formatHashListHeader(1, 2, {1700000000, 5}, "$DISK.sna") + "\n";
  std::vector<HashEntry> written;
  for (size_t i = 0; i < names.size(); ++i) {
    HashEntry e;
    e.type = i == 0 ? 'd' : 'f';
    e.mode = 0640;
    e.links = i + 1;
    e.uid = 4000000000u;
    e.gid = static_cast<uint32_t>(i);
    e.size = 1ull << 40;
    e.mtime = {i == 1 ? -5 : 1700000000 + static_cast<int64_t>(i), 999999999};
    e.ctimeKnown = i % 2 == 0;
    e.ctime = e.ctimeKnown ? Timestamp{-1, 1} : Timestamp{};
    e.inode = UINT64_MAX - i;
    if (i % 3 == 0) e.attributes = "00ff00ff00ff00ff";
    if (e.type == 'f') e.hash = "0123456789abcdef0123456789abcdef";
    e.path = names[i];
    written.push_back(e);
  }
  std::sort(written.begin(), written.end(), [](const HashEntry& a, const HashEntry& b) { return comparePaths(a.path, b.path) < 0; });
  for (const HashEntry& e : written) text += formatHashLine(e) + "\n";

  std::vector<HashEntry> read;
  ASSERT_EQ(readList(text, &read), HashListReader::State::End);
  ASSERT_EQ(read.size(), written.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].path, written[i].path);
    EXPECT_EQ(formatHashLine(read[i]), formatHashLine(written[i])) << read[i].path;
    EXPECT_TRUE(read[i].sameAttributes(written[i])) << read[i].path;
  }
  // A folder comes before what it holds, and what it holds before a sibling named alike.
  EXPECT_LT(comparePaths("C/a", "C/a/b c"), 0);
  EXPECT_LT(comparePaths("C/a/zzz", "C/a-b"), 0);
  EXPECT_LT(comparePaths("C/a-b", "C/b"), 0);
}

TEST(HashList, ADamagedOrDisorderedListIsNeverTakenForAShortOne) {
  // Lists of the first format are still read, and checked as strictly.
  const std::string head = std::string(kFirstFormatHashListHeader) + "\n";
  const std::string good = "f 644 3 1700000000.000000000 0123456789abcdef0123456789abcdef C/a\n";
  EXPECT_EQ(readList(head + good), HashListReader::State::End);
  EXPECT_EQ(readList("something else\n" + good), HashListReader::State::Damaged);
  EXPECT_EQ(readList(""), HashListReader::State::Damaged);
  const std::vector<std::string> badLines = {
      "f 644 3 1700000000.000000000 0123456789abcdef0123456789abcdef C/a",  // cut short: no line break
      "f 644 3 1700000000.000000000 0123456789abcdef0123456789abcdeZ C/a\n",  // not hex
      "f 644 3 1700000000.000000000 0123 C/a\n",                              // short hash
      "x 644 3 1700000000.000000000 - C/a\n",                                 // unknown type
      "f 648 3 1700000000.000000000 - C/a\n",                                 // not octal
      "f 644 3 1700000000.5 - C/a\n",                                         // nanoseconds cut
      "f 644 99999999999999999999999 1700000000.000000000 - C/a\n",           // beyond 64 bits
      "f 644 3 1700000000.000000000 - C/a\\q\n",                              // unknown escape
      "f 644 3 1700000000.000000000 - \n",                                    // no path
      "f 644 3 1700000000.000000000 C/a\n",                                   // a field missing
      "f 644 3 1700000000.000000000 - C/../../etc/passwd\n",                  // climbs out
      "f 644 3 1700000000.000000000 - C//a\n",                                // empty name
      "f 644 3 1700000000.000000000 - C/./a\n",
      "f 644 3 1700000000.000000000 - C/a/\n",
      "f 644 3 1700000000.000000000 - c/a\n",                                 // not a drive letter
      "f 644 3 1700000000.000000000 - CD/a\n",
      "f 644 3 1700000000.000000000 - /etc/passwd\n",
  };
  for (const std::string& line : badLines) EXPECT_EQ(readList(head + line), HashListReader::State::Damaged) << line;
  // Out of order or repeated: a single pass would report wrong deletions.
  const std::string later = "f 644 3 1700000000.000000000 - C/b\n";
  EXPECT_EQ(readList(head + later + good), HashListReader::State::Damaged);
  EXPECT_EQ(readList(head + good + good), HashListReader::State::Damaged);

  const std::string head2 = formatHashListHeader(7, 8, {1700000000, 0}, "$DISK.sna") + "\n";
  const std::string good2 = "f 644 2 0 0 3 1700000000.000000000 1700000001.000000000 12 00ff00ff00ff00ff 0123456789abcdef0123456789abcdef C/a\n";
  EXPECT_EQ(readList(head2 + good2), HashListReader::State::End);
  const std::vector<std::string> badLines2 = {
      good,  // a line of the first format
      "f 644 2 0 0 3 1700000000.000000000 1700000001.000000000 12 00ff 0123456789abcdef0123456789abcdef C/a\n",  // short digest
      "f 644 2 0 0 3 1700000000.000000000 1700000001.5 12 - - C/a\n",                        // change time cut
      "f 644 2 0 0 3 1700000000.000000000 - 99999999999999999999999 - - C/a\n",             // inode beyond 64 bits
      "f 644 2 4294967296 0 3 1700000000.000000000 - 12 - - C/a\n",                        // owner beyond 32 bits
      "f 644 2 0 0 3 1700000000.000000000 - 12 - C/a\n",                                   // a field missing
      "f 644 2 0 0 3 1700000000.000000000 - 12 - - C/../a\n",                              // climbs out
      "f 644 2 0 0 3 1700000000.000000000 - 12 - - C/a",                                    // cut short
  };
  for (const std::string& line : badLines2) EXPECT_EQ(readList(head2 + line), HashListReader::State::Damaged) << line;
  EXPECT_EQ(readList(head2 + good2 + good2), HashListReader::State::Damaged);
}

TEST(HashList, TheHeaderNamesItsImageAndAnyPathTheWalkTakesReadsBack) {
  // The size is written as a fixed-width field so that it can be filled in at the end.
  const std::string header = formatHashListHeader(0, 0, {-3, 7}, "$DISK.sna");
  ASSERT_EQ(header.substr(kHashListSizeOffset, kHashListSizeDigits), std::string(kHashListSizeDigits, '0'));
  ASSERT_EQ(header.substr(kHashListInodeOffset, kHashListSizeDigits), std::string(kHashListSizeDigits, '0'));
  std::string text = header;
  text.replace(kHashListSizeOffset, kHashListSizeDigits, "00000000000123456789");
  text.replace(kHashListInodeOffset, kHashListSizeDigits, "00000000000000000042");
  // A path far beyond what one folder name allows, as a deep tree makes it.
  std::string deep = "C";
  while (deep.size() < 200000) deep += "/" + std::string(250, 'd');
  HashEntry e;
  e.type = 'd';
  e.path = deep;
  text += "\n" + formatHashLine(e) + "\n";

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(fmemopen(text.data(), text.size(), "r"), &std::fclose);
  HashListReader reader(f.get());
  ASSERT_TRUE(reader.start());
  EXPECT_TRUE(reader.namesImage());
  EXPECT_EQ(reader.imageName(), "$DISK.sna");
  EXPECT_EQ(reader.imageSize(), 123456789u);
  EXPECT_EQ(reader.imageInode(), 42u);
  EXPECT_EQ(reader.started(), (Timestamp{-3, 7}));
  HashEntry read;
  ASSERT_EQ(reader.next(&read), HashListReader::State::Ok);
  EXPECT_EQ(read.path, deep);
  EXPECT_EQ(reader.next(&read), HashListReader::State::End);

  // The first version's header names nothing and is still read; a header that names its
  // image badly is not.
  EXPECT_EQ(readList(std::string(kFirstFormatHashListHeader) + "\n"), HashListReader::State::End);
  for (const std::string& bad : {std::string(kHashListHeader) + " 12 x.sna\n", std::string(kHashListHeader) + " 00000000000000000012 \n",
                                 std::string(kHashListHeader) + " 00000000000000000012 ../x.sna\n",
                                 std::string(kHashListHeader) + " 0000000000000000001x x.sna\n"})
    EXPECT_EQ(readList(bad), HashListReader::State::Damaged) << bad;
}

TEST(LinkTable, FilesStayFoundWhileOthersComeAndGoAndDevicesKeepTheirOwn) {
  LinkTable table;
  std::map<std::pair<dev_t, ino_t>, uint64_t> names;  // names left, as the table should have them
  uint64_t x = 12345;
  const auto next = [&x] { return x = x * 6364136223846793005ull + 1442695040888963407ull; };
  for (int round = 0; round < 200000; ++round) {
    // Few devices and inodes that collide in the table's home slots.
    const std::pair<dev_t, ino_t> id{static_cast<dev_t>(next() >> 63), static_cast<ino_t>((next() >> 40) % 40000)};
    if (!names.count(id)) {
      const uint64_t left = 1 + (next() >> 62);
      table.put(id.first, id.second, {static_cast<uint64_t>(id.second) * 7, left, (id.second & 1) != 0});
      names[id] = left;
    } else {
      table.countName(id.first, id.second);
      if (--names[id] == 0) names.erase(id);
    }
  }
  EXPECT_EQ(table.size(), names.size());
  for (dev_t dev : {dev_t{0}, dev_t{1}}) {
    for (ino_t ino = 0; ino < 40000; ++ino) {
      LinkTable::Entry e;
      const auto it = names.find({dev, ino});
      ASSERT_EQ(table.find(dev, ino, &e), it != names.end()) << dev << " " << ino;
      if (it == names.end()) continue;
      EXPECT_EQ(e.line, static_cast<uint64_t>(ino) * 7);
      EXPECT_EQ(e.namesLeft, it->second);
      EXPECT_EQ(e.stored, (ino & 1) != 0);
    }
  }
}
