#pragma once
// The rows of an upload-log search, each held once: the record's texts in one UTF-8 store and,
// beside them, what the hidden sort columns are made of (size in KB, the two dates as numbers).
// A million rows take some 200 MB this way; as ten QStrings each they took gigabytes.
#include <QString>
#include <QStringList>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "handoff/TextStore.h"

namespace corvane::status {

// One result row as the list shows it: ten column texts (the first empty, the last three the
// hidden sort keys) and the row's key.
struct LogRow {
  QString key;
  QStringList columns;
};

class LogTable {
 public:
  static constexpr int kColumns = 10;
  enum Column {
    Blank, FileName, FilePath, FileType, FileSize, ModifiedDate, UploadDate, FileSizeHide, ModDate, TarrowDate
  };

  // The texts of one record as read from the log (UTF-8).
  struct Texts {
    std::string_view fileName, folder, fileType, fileSize, modified, uploaded;
  };

  // Adds a row for the record at `position` (0-based) in the log. Returns the size in bytes
  // that the total counts (0 when the size is no number).
  double add(const Texts& t, qint64 position);

  int rowCount() const { return int(rows_.size()); }
  QString text(int row, int column) const;
  QString key(int row) const;
  LogRow row(int row) const;

  // Sorts `order` (row numbers) by the text of a column, without regard to letter case; equal
  // texts keep their order. The hidden columns compare as their texts would, from numbers.
  void sort(std::vector<int>& order, int column, bool descending) const;

 private:
  enum Piece { PName, PFolder, PType, PModified, PUploaded, kPieces };
  struct Row {
    quint64 at;  // of the first piece in texts_
    quint32 length[kPieces];
    qint32 position;
    qint64 kb;
    qint64 modified;  // yyyyMMddHHmmss, -1 when the text is no date
    qint64 uploaded;
  };
  std::string_view piece(const Row& r, int p) const;
  void sortByText(std::vector<int>& order, int column, bool descending) const;
  // The text a column sorts on, as UTF-8 (in `scratch` when it is made for the purpose).
  std::string_view sortText(int row, int column, std::string& scratch) const;
  // Each row's place among the column's distinct texts, letter case aside.
  const std::vector<quint32>& textRanks(int column) const;
  QString pieceText(const Row& r, int p) const;

  handoff::TextStore texts_;
  std::vector<Row> rows_;
  mutable std::map<int, std::vector<quint32>> ranks_;  // by column, made on the first sort
};

// Bytes as whole KB, halves to the even neighbour; a non-empty size below 1 KB counts as 1.
qint64 sizeInKb(double bytes);
// "#0.00 KB" below 1024 KB, "#0.00 MB" from there on.
QString totalSizeText(double totalBytes);
// The log's FileSize text as bytes; false when it is no finite number.
bool readFileSize(std::string_view text, double* bytes);

}  // namespace corvane::status
