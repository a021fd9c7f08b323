#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>
#include <array>
#include <pugixml.hpp>
#include <random>
#include <sys/time.h>
#include <ctime>
#include <string>
#include <vector>

#include "handoff/SuccessLogReader.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::handoff;

namespace {

const char* const kFields[] = {"FileName", "FileFolderName", "FileModifiedDate", "FileSize",
                               "FileType", "UpSuccess",      "UpDTime"};

struct Reading {
  bool ok = false;
  std::vector<std::array<std::string, 7>> records;
  bool operator==(const Reading&) const = default;
};

std::string printable(const Reading& r) {
  std::string out = r.ok ? "ok" : "no document";
  for (const auto& rec : r.records) {
    out += "\n ";
    for (const std::string& f : rec) out += " [" + f + "]";
  }
  return out;
}

// What a tree of the whole document gives: the reading the stream must reproduce.
Reading byTree(const QByteArray& xml) {
  Reading r;
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.constData(), size_t(xml.size())) || !doc.document_element()) return r;
  r.ok = true;
  for (const pugi::xpath_node& n : doc.select_nodes("FileCollection/FileDetails")) {
    std::array<std::string, 7> rec;
    for (int f = 0; f < 7; ++f) rec[size_t(f)] = n.node().child_value(kFields[f]);
    r.records.push_back(rec);
  }
  return r;
}

Reading byStream(const QByteArray& xml, qint64 chunk) {
  QByteArray copy = xml;
  QBuffer device(&copy);
  device.open(QIODevice::ReadOnly);
  Reading r;
  qint64 expected = 0;
  const auto outcome = SuccessLogReader::read(
      device,
      [&](const LogRecord& rec) {
        EXPECT_EQ(rec.position, expected++);
        std::array<std::string, 7> out;
        for (int f = 0; f < 7; ++f) out[size_t(f)] = std::string(rec.fields[size_t(f)]);
        r.records.push_back(out);
      },
      {}, chunk);
  r.ok = outcome == SuccessLogReader::Outcome::Read;
  if (!r.ok) r.records.clear();  // callers drop what a broken document delivered
  return r;
}

// Whole, and in pieces small enough to cut every token somewhere.
void expectSameAsTree(const QByteArray& xml) {
  const Reading tree = byTree(xml);
  for (const qint64 chunk : {qint64(1) << 20, qint64(1), qint64(2), qint64(7)}) {
    const Reading stream = byStream(xml, chunk);
    if (stream != tree) {
      ADD_FAILURE() << "chunk " << chunk << " of:\n" << xml.toStdString() << "\ntree: " << printable(tree)
                    << "\nstream: " << printable(stream);
      return;
    }
  }
}

// Random logs built from the pieces that trip readers up, then sometimes damaged.
class LogGenerator {
 public:
  explicit LogGenerator(unsigned seed) : rng_(seed) {}

  // A document in one of the other encodings the tree reader knows, sometimes with a byte
  // order mark, a stray surrogate or value, or an odd byte at the end.
  QByteArray encoded() {
    const QByteArray utf8 = document();
    const int how = int(rng_() % 5);
    if (how == 4) {  // Latin-1, declared
      QByteArray latin = utf8;
      for (char& c : latin)
        if (one(7)) c = char(0x80 + rng_() % 128);
      return QByteArray("<?xml version=\"1.0\" encoding=\"") + (one(2) ? "ISO-8859-1" : "latin1") + "\"?>" + latin;
    }
    const bool little = how % 2 == 0, wide = how >= 2;
    QByteArray out;
    const auto put = [&](uint32_t v) {
      for (int i = 0; i < (wide ? 4 : 2); ++i) {
        const int shift = 8 * (little ? i : (wide ? 3 : 1) - i);
        out += char((v >> shift) & 0xFF);
      }
    };
    if (one(2)) put(0xFEFF);
    const QString text = QString::fromUtf8(utf8);
    if (wide) {
      for (const char32_t c : text.toUcs4()) put(c);
      if (one(6)) put(uint32_t(rng_()));
    } else {
      for (const QChar c : text) put(c.unicode());
      if (one(5)) put(0xD800 + rng_() % 0x800);
    }
    if (one(7)) out += char(rng_() % 256);
    return out;
  }

  QByteArray document() {
    std::string s;
    if (one(8)) s += "\xEF\xBB\xBF";
    if (one(2)) s += "<?xml version=\"1.0\"?>";
    s += pick({"", "\n", "\r\n", "<!-- log -->", "<!DOCTYPE FileCollection [<!ENTITY x \"y\"> <!-- c -->]>",
               "<?pi data?>", "text before "});
    s += one(12) ? "<Other>" : "<FileCollection" + (one(4) ? attributes() : std::string()) + ">";
    const int records = int(rng_() % 4);
    for (int i = 0; i < records; ++i) s += pick({"\n  ", "", "x", "<!--c-->", "<Other/>"}) + details();
    s += one(12) ? "</Other>" : "</FileCollection>";
    s += pick({"", "\n", " trailing", "<FileCollection><FileDetails><FileName>second</FileName></FileDetails></FileCollection>",
               "<!-- after -->"});
    if (one(3)) damage(s);
    return QByteArray::fromStdString(s);
  }

 private:
  bool one(unsigned in) { return rng_() % in == 0; }
  std::string pick(std::initializer_list<const char*> options) {
    return *(options.begin() + rng_() % options.size());
  }
  std::string attributes() {
    return pick({"", " a=\"1\"", " a='x&amp;y' b=\"2\"", "  a = \"<>\" ", " a=\"1\"b=\"2\"", " a=1", " a", " /x"});
  }
  std::string textPiece() {
    return pick({"report.txt", "C:\\Data\\Mail", "3/1/2026 1:00:00 PM", " ", "  ", "\r\n", "\t", "a&amp;b", "&lt;x&gt;",
                 "&quot;&apos;", "&#233;", "&#xE9;", "&#x1F600;", "&#0;z", "&#;", "&#x;", "&#12a;", "&bogus;", "&amp",
                 "&", "\r", "caf\xC3\xA9", "\xFF\xFE", "<![CDATA[ raw <b> ]]>", "<![CDATA[]]>", "<![CDATA[\r\n]]>",
                 "<!-- note -->", "<?pi x?>", "<b>bold</b>", "<e/>", "]]>", ">"});
  }
  std::string text() {
    std::string t;
    const int n = int(rng_() % 3);
    for (int i = 0; i < n; ++i) t += textPiece();
    return t;
  }
  std::string details() {
    std::string s = one(10) ? "<FileDetails/>" : "<FileDetails" + (one(6) ? attributes() : std::string()) + ">";
    if (s == "<FileDetails/>") return s;
    const int children = int(rng_() % 9);
    for (int i = 0; i < children; ++i) {
      const std::string name = one(8) ? pick({"Other", "filename", "FileDetails"}) : std::string(kFields[rng_() % 7]);
      s += pick({"", "\n    ", " "});
      if (one(10)) s += "<" + name + "/>";
      else s += "<" + name + ">" + text() + "</" + name + (one(10) ? " " : "") + ">";
    }
    return s + pick({"", "\n  "}) + "</FileDetails>";
  }
  void damage(std::string& s) {
    if (s.empty()) return;
    const size_t at = rng_() % s.size();
    switch (rng_() % 4) {
      case 0: s.erase(at, 1 + rng_() % 4); break;
      case 1: s.insert(at, pick({"<", ">", "&", "/", "\"", "'", "!", "?", "-", "]", std::string(1, '\0').c_str()})); break;
      case 2: s.insert(at, 1, '\0'); break;
      case 3: s.resize(at); break;
    }
  }

  std::mt19937 rng_;
};

}  // namespace

TEST(SuccessLogReader, ReadsWhatATreeOfTheWholeDocumentReads) {
  const char* const documents[] = {
      // The service's own shape, indented with CR LF.
      "<?xml version=\"1.0\"?>\r\n<FileCollection>\r\n  <FileDetails>\r\n    <FileName>a.txt</FileName>\r\n"
      "    <FileFolderName>C:\\A</FileFolderName>\r\n    <FileModifiedDate>1/2/2026 10:00:00 AM</FileModifiedDate>\r\n"
      "    <FileSize>12</FileSize>\r\n    <FileType>Text</FileType>\r\n    <FilePriority>1</FilePriority>\r\n"
      "    <UpSuccess>Y</UpSuccess>\r\n    <UpDTime> </UpDTime>\r\n  </FileDetails>\r\n</FileCollection>\r\n",
      // The first child of a name counts, and in it the first run of text.
      "<FileCollection><FileDetails><FileName/><FileName>second</FileName><FileType>a<!--c-->b</FileType>"
      "<FileSize><x>1</x>2</FileSize><UpDTime><![CDATA[ ]]>x</UpDTime></FileDetails></FileCollection>",
      // Records only directly under a top-level FileCollection; every such root counts.
      "<FileCollection><Group><FileDetails><FileName>nested</FileName></FileDetails></Group></FileCollection>"
      "<FileCollection><FileDetails><FileName>b</FileName></FileDetails></FileCollection>",
      "<Other><FileDetails><FileName>c</FileName></FileDetails></Other>",
      // References and line ends.
      "<FileCollection><FileDetails><FileName>x&amp;y&#65;&#x42;&unknown;&#12a;\r\rz</FileName></FileDetails>"
      "</FileCollection>",
      // Not documents: nothing, no element, unclosed, mismatched, stray "<".
      "", "   ", "<!-- only -->", "<FileCollection><FileDetails>", "<FileCollection></FileDetails>",
      "<FileCollection>< /FileCollection>", "<FileCollection></FileCollection><",
      // A NUL ends the document.
      "<FileCollection><FileDetails><FileName>a</FileName></FileDetails></FileCollection>\0garbage",
  };
  for (const char* d : documents) expectSameAsTree(QByteArray(d, qsizetype(std::strlen(d))));
  expectSameAsTree(QByteArray("<FileCollection><FileDetails><FileName>a</FileName></FileDetails>\0</FileCollection>",
                              80));

  LogGenerator generator(20260310);
  for (int i = 0; i < 6000 && !testing::Test::HasFailure(); ++i) expectSameAsTree(generator.document());
  // UTF-16 and UTF-32 either way round, and Latin-1: converted as the tree reader converts them.
  for (int i = 0; i < 800 && !testing::Test::HasFailure(); ++i) expectSameAsTree(generator.encoded());

  // Token soup: mostly broken documents, each refused (or read) exactly as the tree does.
  const char* const tokens[] = {"<FileCollection>", "</FileCollection>", "<FileDetails>", "</FileDetails>",
                                "<FileName>", "</FileName>", "<!--", "-->", "<![CDATA[", "]]>", "<?", "?>", "<?x",
                                "<!DOCTYPE x", "[", "]", ">", "<", "&amp;", "&#", ";", "x", " ", "\r", "\"", "'",
                                "=", "<a", "/>", "</a>", "<!", "<![", "<!ENTITY", "-", "/", "b=\"<\""};
  std::mt19937 rng(7);
  for (int i = 0; i < 10000 && !testing::Test::HasFailure(); ++i) {
    std::string d = rng() % 2 ? "<FileCollection><FileDetails><FileName>" : "";
    for (int n = 1 + int(rng() % 14); n > 0; --n) d += tokens[rng() % std::size(tokens)];
    if (rng() % 2) d += "</FileName></FileDetails></FileCollection>";
    expectSameAsTree(QByteArray::fromStdString(d));
  }
}

TEST(SuccessLogReader, OtherEncodingsAndStoppingAndMissingFiles) {
  // UTF-16 with its byte order mark is read as well.
  const QString text = "<FileCollection><FileDetails><FileName>caf\u00e9.txt</FileName></FileDetails></FileCollection>";
  QByteArray utf16("\xFF\xFE", 2);
  for (const QChar c : text) utf16 += QByteArray(reinterpret_cast<const char*>(&c), 2);
  const Reading r = byStream(utf16, 1 << 20);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.records.size(), 1u);
  EXPECT_EQ(QString::fromStdString(r.records[0][0]), "caf\u00e9.txt");

  // Logs in another encoding are read as a stream too, not whole: the first record arrives
  // long before the end of the file. A file that starts with a NUL byte is no document, and is
  // not read to its end to find that out.
  QByteArray many;
  for (int i = 0; i < 20000; ++i) many += "<FileDetails><FileName>f\xE9</FileName></FileDetails>";
  QByteArray wide("\xFE\xFF", 2);
  for (const QChar c : QString::fromLatin1("<FileCollection>" + many + "</FileCollection>"))
    wide += char(c.unicode() >> 8), wide += char(c.unicode() & 0xFF);
  const QByteArray latin1 = "<?xml version='1.0' encoding='ISO-8859-1'?><FileCollection>" + many + "</FileCollection>";
  const QByteArray nulFirst = QByteArray(1, '\0') + QByteArray(8 << 20, 'x');
  for (const QByteArray* file : std::initializer_list<const QByteArray*>{&wide, &latin1, &nulFirst}) {
    QByteArray copy = *file;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    qint64 atFirst = -1;
    int count = 0;
    const auto outcome = SuccessLogReader::read(
        device,
        [&](const LogRecord& rec) {
          if (count++ == 0) atFirst = device.pos();
          EXPECT_EQ(QString::fromUtf8(rec[LogField::FileName].data(), qsizetype(rec[LogField::FileName].size())), "f\u00e9");
        },
        {}, 64 << 10);
    if (file == &nulFirst) {
      EXPECT_EQ(outcome, SuccessLogReader::Outcome::NoDocument);
      EXPECT_LT(device.pos(), 4 << 20);
    } else {
      EXPECT_EQ(outcome, SuccessLogReader::Outcome::Read);
      EXPECT_EQ(count, 20000);
      EXPECT_LT(atFirst, file->size() / 2);
    }
  }

  QTemporaryDir dir;
  QByteArray big = "<FileCollection>";
  for (int i = 0; i < 5000; ++i) big += "<FileDetails><FileName>f</FileName></FileDetails>";
  big += "</FileCollection>";
  test::writeFile(dir.filePath("SuccessLog.xml"), big);
  int records = 0, calls = 0;
  qint64 last = 0;
  QBuffer device(&big);
  device.open(QIODevice::ReadOnly);
  auto outcome = SuccessLogReader::read(
      device, [&](const LogRecord&) { ++records; },
      [&](qint64 done, qint64 total) {
        EXPECT_EQ(total, big.size());
        return ++calls < 3;
      },
      1000);
  EXPECT_EQ(outcome, SuccessLogReader::Outcome::Stopped);
  EXPECT_LT(records, 100);

  calls = 0;
  outcome = SuccessLogReader::read(dir.filePath("SuccessLog.xml"), [&](const LogRecord&) {},
                                   [&](qint64 done, qint64) { return last = done, ++calls > 0; });
  EXPECT_EQ(outcome, SuccessLogReader::Outcome::Read);
  EXPECT_EQ(last, big.size());

  EXPECT_EQ(SuccessLogReader::read(dir.filePath("missing.xml"), [](const LogRecord&) {}),
            SuccessLogReader::Outcome::NoDocument);
}

// The service writes its log while it is read: a log found cut short that was written a moment
// ago, or while it was read, is read again from the start after a pause, a few times at most;
// one that is broken and was written long ago is read once.
TEST(SuccessLogReader, ALogBeingWrittenIsReadAgainAFewTimes) {
  QTemporaryDir dir;
  const QString path = dir.filePath("SuccessLog.xml");
  const QByteArray whole = "<FileCollection><FileDetails><FileName>a</FileName></FileDetails>"
                           "<FileDetails><FileName>b</FileName></FileDetails></FileCollection>";
  const QByteArray cut = whole.left(70);
  test::FakeWaiter waiter;
  int records = 0, restarts = 0;
  const auto count = [&](const LogRecord&) { ++records; };
  const auto restart = [&] {
    ++restarts;
    records = 0;
  };

  // Finished by the service during the first pause.
  test::writeFile(path, cut);
  waiter.onSleep = [&](int) { test::writeFile(path, whole); };
  EXPECT_EQ(SuccessLogReader::readWhileWritten(path, count, {}, restart), SuccessLogReader::Outcome::Read);
  EXPECT_EQ(records, 2);
  EXPECT_EQ(restarts, 1);

  // Never finished: given up after a few readings.
  test::writeFile(path, cut);
  waiter.onSleep = [&](int) { test::writeFile(path, cut); };
  restarts = 0;
  EXPECT_EQ(SuccessLogReader::readWhileWritten(path, count, {}, restart), SuccessLogReader::Outcome::NoDocument);
  EXPECT_EQ(restarts, 4);

  // Broken for an hour: no second reading.
  const QByteArray name = QFile::encodeName(path);
  const timeval anHourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
  ASSERT_EQ(::utimes(name.constData(), anHourAgo), 0);
  restarts = 0;
  const int sleepsBefore = waiter.sleeps;
  EXPECT_EQ(SuccessLogReader::readWhileWritten(path, count, {}, restart), SuccessLogReader::Outcome::NoDocument);
  EXPECT_EQ(restarts, 0);
  EXPECT_EQ(waiter.sleeps, sleepsBefore);
}
