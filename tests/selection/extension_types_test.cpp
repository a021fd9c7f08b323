#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "selection/ExtensionTypes.h"
#include "support/TestSupport.h"

namespace corvane::selection {
namespace {

QStringList extensionsOf(const QVector<FileTypeEntry>& types) {
  QStringList out;
  for (const FileTypeEntry& e : types) out << e.Extension;
  return out;
}

TEST(RegisteredTypes, FilterRulesKeepOnlyUsableTypes) {
  const QVector<RegisteredType> registered = {
      {".7z", "7-Zip Archive"},          // second character a digit
      {".DOC", "microsoft WORD document"},
      {"txtfile", "Text Document"},      // not an extension key
      {".jpeg", "JPEG image"},
      {".mpeg4", "MPEG-4 video"},        // 6 characters and more are not taken
      {".html", "HTML page"},
      {".xhtml", "XHTML page"},
      {".my_ext", "Something"},          // "_" in the name
      {".ab", " x "},                    // description too short once trimmed
      {".cd", "{0000-1111}"},            // a class id, not a description
      {QString(".ef") + QChar(0) + "junk", QString("Ef File") + QChar(0) + "junk"},
  };
  const QVector<FileTypeEntry> types = filterRegisteredTypes(registered);
  EXPECT_EQ(extensionsOf(types), (QStringList{"", ".doc", ".jpeg", ".html", ".ef"}));
  for (qsizetype i = 0; i < types.size(); ++i) EXPECT_EQ(types[i].FileId, i);
  EXPECT_EQ(types[1].FileName, "Microsoft Word Document");
  EXPECT_EQ(types[4].FileName, "Ef File");
  EXPECT_TRUE(filterRegisteredTypes({}).isEmpty());
  EXPECT_EQ(properCase("jPEG  image"), "Jpeg  Image");
}

TEST(SizeText, UnitsAndBoundaries) {
  struct Case {
    double bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0.00 KB"},
      {1536, "1.50 KB"},
      {1048576, "1,024.00 KB"},            // exactly 1024 KB stays in KB
      {1048576 + 1024, "1.00 MB"},
      {5.0 * 1048576, "5.00 MB"},
      {1073741824.0, "1,048,576.00 KB"},   // exactly 1048576 KB stays in KB
      {2.0 * 1073741824.0, "2.00 GB"},
      {1500.0 * 1073741824.0, "1,500.00 GB"},
      {-1024, "(1,024.00) KB"},
  };
  for (const Case& c : cases) EXPECT_EQ(sizeText(c.bytes), c.text) << c.bytes;
}

TEST(TypeList, ReadsNonEmptyEntriesInOrder) {
  test::TempAppFolder app;
  const QString path = app.file("Extensions/Mine.xml");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("<?xml version=\"1.0\"?><FileTypeList FileCreatedDateTime=\"x\">"
          "<FileType>.txt</FileType><FileType></FileType><Other>.no</Other><FileType>.doc</FileType>"
          "</FileTypeList>");
  f.close();
  EXPECT_EQ(readTypeList(path), (QStringList{".txt", ".doc"}));
  EXPECT_TRUE(readTypeList(app.file("Extensions/Missing.xml")).isEmpty());

  // The list an installation ships holds the common types, each written with its dot.
  const QStringList shipped = readTypeList(app.file("Extensions/TypeLst.xml"));
  EXPECT_TRUE(shipped.contains(".doc"));
  EXPECT_TRUE(shipped.contains(".jpg"));
  for (const QString& e : shipped) EXPECT_TRUE(e.startsWith('.')) << e.toStdString();
}

}  // namespace
}  // namespace corvane::selection
