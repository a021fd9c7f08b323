#pragma once
// The database component: one DBConnection per procedure call, DBRecordset for the rows of a
// SELECT, DBCommand for a statement with '?' parameters. Built on the sqlite3 C API.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include "platform/Wait.h"

struct sqlite3;
struct sqlite3_stmt;

namespace corvane::store {

// Every failing operation throws this; description() carries the text callers compare.
class DBError : public std::runtime_error {
 public:
  DBError(const QString& description, int code, const QString& path = QString());
  const QString& description() const { return description_; }
  int code() const { return code_; }  // SQLite primary result code (0 when not from SQLite)
  // The database file the failure came from ("" when not known).
  const QString& path() const { return path_; }
  bool isBusy() const;                 // the database is busy or locked by another connection
  // SQLite found the file damaged ("database disk image is malformed") or no database at all.
  bool isDamaged() const;
  bool isDiskFull() const;             // "database or disk is full"

 private:
  QString description_;
  int code_;
  QString path_;
};

// "Cannot compile mSQL-Statement: no such table: " + table
QString missingTableDescription(const QString& table);

// The text form every date is stored in.
inline constexpr const char* kDateFormat = "yyyy-MM-dd HH:mm:ss";
QString dateToText(const QDateTime& d);
// Reads the stored forms back ("yyyy-MM-dd HH:mm:ss", ISO with 'T', date only); invalid when none
// fits. A local time the clock skipped (summer-time change) still reads as a valid date.
QDateTime dateFromText(const QString& text);
// True for the stored form "yyyy-MM-dd HH:mm:ss" of a real day and time, which stands for
// exactly that date and time: bulk work can pass such a text on without a date reading.
bool isPlainStoredDate(QByteArrayView text);
bool isPlainStoredDate(QStringView text);

// Retry policy for a busy or locked database: wait, then run the whole work again, until
// the budget is spent; then the busy error is thrown. Other errors are thrown at once.
// engineWaitMs is how long SQLite itself waits on a lock inside one statement.
struct RetryPolicy {
  int waitMs = 50;
  int budgetMs = 3000;
  int engineWaitMs = 20;
};

// One attempt and no wait at all: a busy database throws at once. The status tick runs under
// it, so a lock held by the service never holds the window; the tick keeps what it shows and
// reads again a second later.
inline constexpr RetryPolicy kNoWait{0, 0, 0};

class Handle;  // shared owner of the sqlite3 handle

class DBRecordset {
 public:
  int RowCount() const { return static_cast<int>(rows_.size()); }
  bool AtEnd() const { return pos_ >= rows_.size(); }
  void MoveNext() { ++pos_; }
  // Value of a column of the current row, by name without regard to case (invalid QVariant for
  // NULL). Throws when there is no current row or no such column.
  QVariant Field(const QString& name) const;
  // Puts a value on the current row; Update writes the put values back.
  void SetField(const QString& name, const QVariant& value);
  // Writes back the values put on the current row (recordsets from QueryForUpdate only).
  void Update();

  // Convenience readers of the current row.
  QString Text(const QString& name) const;       // "" for NULL
  qint64 Long(const QString& name) const;        // 0 for NULL or text that is not a number
  double Number(const QString& name) const;      // 0 for NULL
  bool Boolean(const QString& name) const;       // true for 1 / "1" / "True"
  QDateTime Date(const QString& name) const;     // invalid for NULL or unreadable text

  const QStringList& Columns() const { return columns_; }

 private:
  friend class DBConnection;
  int columnIndex(const QString& name) const;

  std::shared_ptr<Handle> handle_;
  QStringList columns_;
  QVector<QVector<QVariant>> rows_;
  QVector<qint64> rowids_;  // for Update
  QVector<QVector<bool>> dirty_;
  QString table_;           // for Update
  qsizetype pos_ = 0;
};

// One row of a forward-only read (DBConnection::ForEachRow), valid only inside the call that
// receives it. Columns go by index; Column() finds an index by name (without regard to case),
// so a walk over many rows looks names up once. The readers give what DBRecordset's readers
// of the same name give for the same value.
class DBRow {
 public:
  int Column(const QString& name) const;
  bool IsNull(int c) const;
  QString Text(int c) const;
  // As Text, but bytes of the text that are no UTF-8 are kept (platform::fromUtf8Lossless), so
  // the text binds back as the very bytes read: for names the service looks files up by.
  QString TextKeepingBytes(int c) const;
  qint64 Long(int c) const;
  double Number(int c) const;
  QDateTime Date(int c) const;
  // The column's bytes when it holds text ("" otherwise); valid until the next row.
  QByteArrayView Utf8(int c) const;
  // True when the column holds an integer (not text, real or NULL).
  bool IsInteger(int c) const;
  bool Boolean(int c) const;

 private:
  friend class DBConnection;
  friend class DBCommand;
  QVariant value(int c) const;
  sqlite3_stmt* stmt_ = nullptr;
  QStringList columns_;
};

class DBCommand {
 public:
  DBCommand(DBCommand&&) noexcept;
  DBCommand& operator=(DBCommand&&) noexcept;
  ~DBCommand();

  void BindText(int i, const QString& text);
  // Text already in UTF-8 (as DBRow::Utf8 gives it), bound without a conversion.
  void BindUtf8(int i, QByteArrayView text);
  void BindLong(int i, qint64 value);
  // 64-bit fixed-point number with four decimals: rounded to four decimals, whole numbers bound
  // as integers; beyond the type's range (about 9.2e14) or not finite: DBError.
  void BindFixed(int i, double value);
  void BindDate(int i, const QDateTime& value);
  void BindBoolean(int i, bool value);
  void BindNull(int i);
  void BindValue(int i, const QVariant& value);
  // Runs the statement once and returns the number of rows it changed; afterwards every
  // parameter is unbound (NULL) again.
  int Execute();

  // A prepared SELECT read a row at a time, bound and run again as often as needed (a look-up
  // per key without preparing it anew): Step moves to the next row, which Row() reads, and
  // returns true; after the last row it returns false and the statement is reset and unbound as
  // after Execute. Reset stops before the last row.
  bool Step();
  void Reset();
  const DBRow& Row() const { return row_; }

 private:
  friend class DBConnection;
  DBCommand(std::shared_ptr<Handle> handle, sqlite3_stmt* stmt);
  void check(int rc) const;
  std::shared_ptr<Handle> handle_;
  sqlite3_stmt* stmt_ = nullptr;
  DBRow row_;
};

class DBConnection {
 public:
  DBConnection();
  ~DBConnection();  // an open transaction is rolled back
  DBConnection(const DBConnection&) = delete;
  DBConnection& operator=(const DBConnection&) = delete;

  // Opens an existing database file; never creates one, and refuses an empty file (SQLite
  // would take it for an empty database) and anything that is not a file (a fifo would hold it
  // for ever). A statement that meets a lock waits up to
  // engineWaitMs inside SQLite before it fails as busy.
  void Open(const QString& path, int engineWaitMs = RetryPolicy{}.engineWaitMs);
  // Makes a new, empty database file (it must not exist) and leaves the connection open on it.
  void Create(const QString& path);
  // Rolls back a transaction left open, then releases the connection.
  void Close();
  bool IsOpen() const;

  DBRecordset Query(const QString& sql, const QVariantList& params = {});
  // "Select * From <table> <where>", with the row ids kept so that DBRecordset::Update works.
  DBRecordset QueryForUpdate(const QString& table, const QString& where, const QVariantList& params = {});
  // Walks the rows of a SELECT one at a time without keeping them (for results too large to
  // hold twice); each returns false to stop early. Returns the rows visited.
  qint64 ForEachRow(const QString& sql, const QVariantList& params, const std::function<bool(const DBRow&)>& each);
  DBCommand Prepare(const QString& sql);
  // Runs a statement that returns no rows; returns the number of rows changed. Without
  // parameters the text may hold several statements (a schema script); with parameters, as
  // for Query and Prepare, a second statement is an error.
  int Execute(const QString& sql, const QVariantList& params = {});

  void BeginTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const;
  // Kept for the callers' shape; it does nothing.
  bool TransactionSwitch = true;

  qint64 LastInsertRowId() const;
  bool TableExists(const QString& table);

  // From now on a statement of this connection that runs while *stop is true ends with an
  // "interrupted" DBError, also in the middle of a sort that comes before its first row (a
  // read given up on another thread then ends at once instead of finishing its work).
  // nullptr switches it off. The flag must outlive the connection's use.
  void InterruptWhen(const std::atomic<bool>* stop);

 private:
  static DBRecordset runQuery(const std::shared_ptr<Handle>& h, const QString& sql, const QVariantList& params,
                              bool keepRowIds);
  sqlite3* raw() const;
  std::shared_ptr<Handle> handle_;
};

// The wait between attempts. On the window's thread the window keeps painting meanwhile
// (user input waits); the platform waiter does it, and tests replace it.
void waitBeforeRetry(int ms);

template <class Work>
auto withBusyRetry(Work&& work, RetryPolicy policy = {}) -> decltype(work()) {
  int waited = 0;
  std::optional<platform::BusyPointerWhileWaiting> pointer;  // from the first wait to the end
  for (;;) {
    try {
      return work();
    } catch (const DBError& e) {
      if (!e.isBusy() || policy.waitMs <= 0 || waited + policy.waitMs > policy.budgetMs) throw;
    }
    if (!pointer) pointer.emplace();
    waitBeforeRetry(policy.waitMs);
    waited += policy.waitMs;
  }
}

// Runs work(connection) on a new connection to an existing database file; the whole is run
// again while the database is busy (within the policy's budget).
template <class Work>
auto onDatabase(const QString& path, Work&& work, RetryPolicy policy = {}) {
  return withBusyRetry(
      [&] {
        DBConnection c;
        c.Open(path, policy.engineWaitMs);
        return work(c);
      },
      policy);
}

// Runs work(c) inside one transaction on the open connection, committed when the work returns
// (rolled back when it throws, or when the connection closes).
template <class Work>
auto inTransactionOn(DBConnection& c, Work&& work) {
  c.TransactionSwitch = false;
  c.BeginTransaction();
  if constexpr (std::is_void_v<decltype(work(c))>) {
    work(c);
    c.Commit();
    c.TransactionSwitch = true;
  } else {
    auto result = work(c);
    c.Commit();
    c.TransactionSwitch = true;
    return result;
  }
}

// The same inside one transaction, committed when the work returns (rolled back when it throws).
template <class Work>
auto inTransaction(const QString& path, Work&& work, RetryPolicy policy = {}) {
  return onDatabase(path, [&](DBConnection& c) { return inTransactionOn(c, work); }, policy);
}

// Runs the work; when it meets the missing-table error of that table, runs create() and the work
// once more (so a table that cannot be made gives the work's own error, not a loop).
template <class Work, class Create>
auto withCreatedTable(const QString& table, Work&& work, Create&& create) -> decltype(work()) {
  try {
    return work();
  } catch (const DBError& e) {
    if (e.description() != missingTableDescription(table)) throw;
  }
  create();
  return work();
}

// Runs the work and swallows a database error: returns false and keeps its description
// (lastSwallowedError) so a caller may show it.
template <class Work>
bool swallowDbError(Work&& work);
const QString& lastSwallowedError();
void setLastSwallowedError(const QString& text);

template <class Work>
bool swallowDbError(Work&& work) {
  try {
    work();
    return true;
  } catch (const DBError& e) {
    setLastSwallowedError(e.description());
    return false;
  }
}

// Why the database file at path cannot be used, as words that follow its name ("is missing",
// "cannot be read (file is not a database)", "has no Setting table", "cannot be written (...)");
// "" when it opens, holds the required tables and can be written. A busy database counts as
// usable.
QString databaseProblem(const QString& path, const QStringList& requiredTables = {});

// The stored form of File and tempDFile text: each "'" doubled; and back for display.
QString toStoredText(const QString& text);
QString fromStoredText(const QString& stored);

}  // namespace corvane::store
