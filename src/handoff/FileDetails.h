#pragma once
// One logged file of the service's upload log (a FileDetails element of SuccessLog.xml) and a
// collection that keeps such records in a chosen order.
#include <QString>
#include <memory>
#include <vector>

namespace pugi {
class xml_node;
}

namespace corvane::handoff {

class ClsFileAttributes {
 public:
  QString FileName;          // name with extension
  QString FileFolder;        // folder path
  QString FileModifiedDate;  // as the service writes it (month first)
  double FileSize = 0;
  QString FileType;          // the shell's type name
  double FilePriority = 1;
  QString IsUpSuccess;       // "Y" or "N"
  QString LastUpDateTime;    // "" when never uploaded

  // Appends a FileDetails element with its eight children to parent and returns it. Numbers
  // are written as their shortest decimal text (never in exponent form); UpDTime is " " when
  // there is no upload time.
  pugi::xml_node ReturnFileNode(pugi::xml_node parent) const;
};

// Shortest decimal text of a number, without exponent ("1500", "0.25", "100000000000000000000").
QString decimalText(double value);

class ColsFiles {
 public:
  enum SortOn : short { BySize = 4, ByModifiedDate = 5, ByUploadTime = 6 };

  // Makes a record; with SortOnWhat 4 (size), 5 (modified date) or 6 (upload time) it goes
  // before the first record whose value is greater than or equal to its own, otherwise at the
  // end. A non-empty key that reads as a non-zero number becomes the record's key; a key that
  // is already used throws std::invalid_argument and adds nothing.
  ClsFileAttributes& Add(short sortOnWhat, const QString& fileName, const QString& lastUpDateTime,
                         const QString& isUpSuccess, double filePriority, const QString& fileType, double fileSize,
                         const QString& fileModifiedDate, const QString& fileFolder, const QString& sKey = QString());

  ClsFileAttributes* Item(int index);  // from 1; nullptr when out of range
  ClsFileAttributes* Item(const QString& key);
  int Count() const { return int(items_.size()); }
  bool Remove(int index);
  bool Remove(const QString& key);

 private:
  struct Entry {
    QString key;
    std::unique_ptr<ClsFileAttributes> record;
  };
  std::vector<Entry> items_;

 public:
  // Walks the records in order (NewEnum).
  class const_iterator {
   public:
    explicit const_iterator(std::vector<Entry>::const_iterator it) : it_(it) {}
    const ClsFileAttributes& operator*() const { return *it_->record; }
    const ClsFileAttributes* operator->() const { return it_->record.get(); }
    const_iterator& operator++() { ++it_; return *this; }
    bool operator!=(const const_iterator& o) const { return it_ != o.it_; }
    bool operator==(const const_iterator& o) const { return it_ == o.it_; }
   private:
    std::vector<Entry>::const_iterator it_;
  };
  const_iterator begin() const { return const_iterator(items_.begin()); }
  const_iterator end() const { return const_iterator(items_.end()); }
};

}  // namespace corvane::handoff
