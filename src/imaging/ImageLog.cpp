#include "imaging/ImageLog.h"

#include <limits>
#include <utility>

#include "platform/Messages.h"

namespace corvane::imaging {

using store::DBConnection;
using store::DBError;

namespace {
const QString kTable = QStringLiteral("Images");
}

const QString& ImageLog::createStatement() {
  static const QString sql = QStringLiteral(
      "Create Table Images (ImageOpID INTEGER Primary Key AUTOINCREMENT, Operation TEXT, Source TEXT, "
      "Destination TEXT,StartTime DATE,EndTime DATE, Size INTEGER)");
  return sql;
}

ImageLog::ImageLog(QString filesDb, store::RetryPolicy policy) : filesDb_(std::move(filesDb)), policy_(policy) {}

bool ImageLog::DBCreateTableImages() const {
  try {
    store::inTransaction(filesDb_, [](DBConnection& c) { c.Execute(createStatement()); }, policy_);
    return true;
  } catch (const DBError& e) {
    platform::showMessage(QStringLiteral("DBCreateTableImages Error: ") + e.description(), QStringLiteral("Corvane"),
                          platform::MsgButtons::Ok, platform::MsgIcon::Critical);
    return false;
  }
}

std::optional<ImageOp> ImageLog::selectFirst(const QString& sql) const {
  auto read = [&] {
    return store::onDatabase(
        filesDb_,
        [&](DBConnection& c) -> std::optional<ImageOp> {
          store::DBRecordset rs = c.Query(sql);
          if (rs.RowCount() < 1) return std::nullopt;
          ImageOp op;
          op.imageOpId = rs.Long("ImageOPID");
          op.operation = rs.Text("Operation");
          op.source = rs.Text("Source");
          op.destination = rs.Text("Destination");
          op.startTime = rs.Date("StartTime");
          op.endTime = rs.Date("EndTime");
          op.size = rs.Long("Size");
          return op;
        },
        policy_);
  };
  return store::withCreatedTable(kTable, read, [this] { DBCreateTableImages(); });
}

std::optional<ImageOp> ImageLog::DBSelectLastIOp() const {
  return selectFirst(QStringLiteral("Select * from Images ORDER BY ImageOpID Desc LIMIT 1"));
}

std::optional<ImageOp> ImageLog::DBSelectLastFullBU() const {
  return selectFirst(QStringLiteral("Select * from Images Where Operation = 'Full' ORDER BY ImageOpID Desc LIMIT 1"));
}

qint64 ImageLog::DBInsertIOp(const ImageOp& op) const {
  return store::inTransaction(
      filesDb_,
      [&](DBConnection& c) {
        store::DBCommand cmd = c.Prepare(QStringLiteral("Insert Into Images Values(?,?,?,?,?,?,?)"));
        cmd.BindText(2, op.operation);
        cmd.BindText(3, op.source);
        cmd.BindText(4, op.destination);
        cmd.BindDate(5, op.startTime);
        cmd.BindDate(6, op.endTime);
        if (op.size < std::numeric_limits<qint32>::min() || op.size > std::numeric_limits<qint32>::max())
          throw DBError(QStringLiteral("Overflow"), 0);
        cmd.BindLong(7, qint32(op.size));
        cmd.Execute();
        return c.LastInsertRowId();
      },
      policy_);
}

void ImageLog::DBDeleteIOp(qint64 imageOpId) const {
  store::inTransaction(
      filesDb_,
      [&](DBConnection& c) { c.Execute(QStringLiteral("Delete from Images Where ImageOpID = ?"), {imageOpId}); },
      policy_);
}

NextImage nextImage(const std::optional<ImageOp>& last, const std::function<std::optional<ImageOp>()>& lastFull) {
  if (!last || last->imageOpId == 0) return NextImage::PlanFirst;
  if (last->endTime < last->startTime) return NextImage::Nothing;
  if (last->operation == kOperationFull) return NextImage::Diff;
  const std::optional<ImageOp> full = lastFull();
  const qint64 fullSize = full ? full->size : 0;
  return double(fullSize) > double(last->size) / 4.0 ? NextImage::Diff : NextImage::Full;
}

}  // namespace corvane::imaging
