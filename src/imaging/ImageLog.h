#pragma once
// The log of image operations: the Images table of Files.db, one row per image started.
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

#include "store/Database.h"

namespace corvane::imaging {

inline const QString kOperationFull = QStringLiteral("Full");
inline const QString kOperationDiff = QStringLiteral("Diff");

struct ImageOp {
  qint64 imageOpId = 0;
  QString operation, source, destination;
  QDateTime startTime, endTime;
  qint64 size = 0;
};

class ImageLog {
 public:
  explicit ImageLog(QString filesDb, store::RetryPolicy policy = {});

  // Makes the table; a failure is shown in a message box ("DBCreateTableImages Error: ...") and
  // returns false.
  bool DBCreateTableImages() const;
  // The newest row, and the newest full image; nullopt when there is none. A missing table is
  // made and the read run once more; other failures throw DBError.
  std::optional<ImageOp> DBSelectLastIOp() const;
  std::optional<ImageOp> DBSelectLastFullBU() const;
  // Adds a row (its key given by the database; the size stored as a 32-bit number) and returns
  // that key. Throws DBError when nothing was stored.
  qint64 DBInsertIOp(const ImageOp& op) const;
  // Takes a row out of the log. Throws DBError.
  void DBDeleteIOp(qint64 imageOpId) const;

  static const QString& createStatement();

 private:
  std::optional<ImageOp> selectFirst(const QString& sql) const;

  QString filesDb_;
  store::RetryPolicy policy_;
};

// Which image the next click starts, from the newest row: with none a space plan comes first;
// a row that ended before it started starts nothing; after a full image a differential one;
// after a differential one the newest full image decides (read only then).
enum class NextImage { PlanFirst, Nothing, Full, Diff };
NextImage nextImage(const std::optional<ImageOp>& last, const std::function<std::optional<ImageOp>()>& lastFull);

}  // namespace corvane::imaging
