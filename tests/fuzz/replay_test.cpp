// Every fuzz target over its seed corpus: the inputs the seed maker wrote and every input a
// fuzzer once found to break a reader. A broken promise or a sanitizer report aborts the run;
// the input replayed last is the one printed last.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cstdio>

#include "fuzz/FuzzSupport.h"

namespace {

void replay(const char* name) {
  const corvane::fuzz::TargetFn target = corvane::fuzz::findTarget(name);
  ASSERT_NE(target, nullptr) << "no fuzz target " << name;
  const QDir corpus(QStringLiteral(CORVANE_FUZZ_CORPUS) + '/' + QLatin1String(name));
  const QStringList inputs = corpus.entryList(QDir::Files, QDir::Name);
  ASSERT_FALSE(inputs.isEmpty()) << "no seed corpus for " << name;
  for (const QString& input : inputs) {
    QFile f(corpus.filePath(input));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << qPrintable(f.fileName());
    const QByteArray bytes = f.readAll();
    std::printf("%s/%s\n", name, qPrintable(input));
    std::fflush(stdout);
    target(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
  }
}

}  // namespace

// Each target has its corpus and its replay below; a new target without them fails here.
TEST(FuzzCorpus, EveryTargetIsReplayed) {
  const QStringList replayed = {"catalogue_db", "cipher",      "command_line", "download_framing", "files_txt",
                                "hash_list",    "key_file",    "rsa_key_xml",  "sch_info",         "soap_reply",
                                "success_log",  "type_list",   "unzip"};
  EXPECT_EQ(corvane::fuzz::targetNames(), replayed);
  EXPECT_EQ(QDir(QStringLiteral(CORVANE_FUZZ_CORPUS)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), replayed);
}

TEST(FuzzCorpus, CatalogueDatabase) { replay("catalogue_db"); }
TEST(FuzzCorpus, Cipher) { replay("cipher"); }
TEST(FuzzCorpus, CommandLine) { replay("command_line"); }
TEST(FuzzCorpus, DownloadFraming) { replay("download_framing"); }
TEST(FuzzCorpus, FilesTxt) { replay("files_txt"); }
TEST(FuzzCorpus, HashList) { replay("hash_list"); }
TEST(FuzzCorpus, KeyFile) { replay("key_file"); }
TEST(FuzzCorpus, RsaKeyXml) { replay("rsa_key_xml"); }
TEST(FuzzCorpus, SchInfo) { replay("sch_info"); }
TEST(FuzzCorpus, SoapReply) { replay("soap_reply"); }
TEST(FuzzCorpus, SuccessLog) { replay("success_log"); }
TEST(FuzzCorpus, TypeList) { replay("type_list"); }
TEST(FuzzCorpus, Unzip) { replay("unzip"); }
