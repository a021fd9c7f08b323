#include "store/Database.h"

#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <cmath>
#include <cstring>
#include <sqlite3.h>

#include "platform/LosslessUtf8.h"
#include "platform/WideRegisters.h"
#include "platform/Wait.h"
#include "store/DatabaseTrouble.h"

namespace corvane::store {

class Handle {
 public:
  sqlite3* db = nullptr;
  QString path;
  // Set when a statement was refused because the file is damaged (see refuseWrites).
  bool refusedWrite = false;
  ~Handle() {
    if (db) sqlite3_close_v2(db);
  }
};

namespace {

// Every step of ours starts with the wide registers cleared (see WideRegisters.h): the code
// between two steps, ours or Qt's, may have left them in use.
int stepClean(sqlite3_stmt* st) {
  corvane::platform::clearWideRegisters();
  return sqlite3_step(st);
}

QString errorText(sqlite3* db, int rc) {
  if (db) return QString::fromUtf8(sqlite3_errmsg(db));
  return QString::fromUtf8(sqlite3_errstr(rc));
}

QString fileOf(sqlite3* db) {
  const char* name = db ? sqlite3_db_filename(db, "main") : nullptr;
  return name && *name ? QFile::decodeName(name) : QString();
}

// Every error the component raises from SQLite goes through here, so that what it says about
// the file (damaged, disk full) is noted for the whole run, whoever catches it.
[[noreturn]] void raise(const QString& description, int code, const QString& path) {
  noteDatabaseFailure(path, code, description);
  throw DBError(description, code, path);
}

[[noreturn]] void fail(sqlite3* db, int rc, const QString& prefix = {}) {
  const int code = db ? sqlite3_errcode(db) : rc;
  raise(prefix + errorText(db, rc), code ? code : rc, fileOf(db));
}

// A statement that would change a file SQLite found damaged is refused while it is compiled
// (the authorizer runs inside every prepare, sqlite3_exec's included): writing into a damaged
// b-tree spreads the damage, and the service must not find our half-written rows there.
int refuseWrites(void* user, int action, const char*, const char*, const char* database, const char*) {
  switch (action) {
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_VIEW:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_VIEW:
    case SQLITE_ALTER_TABLE:
    case SQLITE_REINDEX:
    case SQLITE_ANALYZE:
      break;
    default:
      return SQLITE_OK;
  }
  if (database && std::strcmp(database, "temp") == 0) return SQLITE_OK;
  auto* handle = static_cast<Handle*>(user);
  if (!anyKnownDamaged() || !isKnownDamaged(handle->path)) return SQLITE_OK;
  handle->refusedWrite = true;
  return SQLITE_DENY;
}

// After a statement failed to compile: the refusal above, told as the damage it stands for.
void throwIfRefused(Handle& h) {
  if (!h.refusedWrite) return;
  h.refusedWrite = false;
  refuseIfDamaged(h.path);
}

// Prepare errors carry the "cannot compile" form, so a missing table reads
// "Cannot compile mSQL-Statement: no such table: <name>".
sqlite3_stmt* prepare(Handle& h, const QString& sql) {
  sqlite3* db = h.db;
  if (!db) throw DBError("The database is not open", SQLITE_MISUSE);
  h.refusedWrite = false;
  sqlite3_stmt* stmt = nullptr;
  const QByteArray text = sql.toUtf8();
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db, text.constData(), static_cast<int>(text.size()), &stmt, &tail);
  if (rc != SQLITE_OK) {
    if (stmt) sqlite3_finalize(stmt);
    throwIfRefused(h);
    const int code = sqlite3_errcode(db);
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) fail(db, rc);
    fail(db, rc, "Cannot compile mSQL-Statement: ");
  }
  // Only the first statement of the text would run; a second one (more than blanks or a
  // comment) is refused rather than silently dropped. Execute without parameters runs scripts.
  if (tail && !QByteArray(tail).trimmed().isEmpty()) {
    sqlite3_stmt* next = nullptr;
    const int rc2 = sqlite3_prepare_v2(db, tail, -1, &next, nullptr);
    const bool more = rc2 != SQLITE_OK || next != nullptr;
    if (next) sqlite3_finalize(next);
    if (more) {
      sqlite3_finalize(stmt);
      throw DBError("Cannot compile mSQL-Statement: more than one statement", SQLITE_MISUSE);
    }
  }
  return stmt;
}

void bindValue(sqlite3_stmt* stmt, int i, const QVariant& v, sqlite3* db) {
  int rc = SQLITE_OK;
  if (!v.isValid() || v.isNull()) {
    rc = sqlite3_bind_null(stmt, i);
  } else {
    switch (v.typeId()) {
      case QMetaType::Bool:
        rc = sqlite3_bind_int64(stmt, i, v.toBool() ? 1 : 0);
        break;
      case QMetaType::Int:
      case QMetaType::UInt:
      case QMetaType::Long:
      case QMetaType::LongLong:
      case QMetaType::Short:
      case QMetaType::UShort:
      case QMetaType::ULong:
      case QMetaType::ULongLong:
        rc = sqlite3_bind_int64(stmt, i, v.toLongLong());
        break;
      case QMetaType::Double:
      case QMetaType::Float:
        rc = sqlite3_bind_double(stmt, i, v.toDouble());
        break;
      case QMetaType::QDateTime: {
        const QByteArray t = dateToText(v.toDateTime()).toUtf8();
        rc = t.isEmpty() ? sqlite3_bind_null(stmt, i)
                         : sqlite3_bind_text(stmt, i, t.constData(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
        break;
      }
      case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        rc = sqlite3_bind_blob(stmt, i, b.constData(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
        break;
      }
      default: {
        // A text read with its stray bytes kept (file names of the catalogues) is bound as
        // those very bytes, so a look-up or a queue row names the file that was read.
        const QByteArray t = platform::toUtf8Lossless(v.toString());
        rc = sqlite3_bind_text(stmt, i, t.constData(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
      }
    }
  }
  if (rc != SQLITE_OK) fail(db, rc);
}

QVariant columnValue(sqlite3_stmt* stmt, int c) {
  switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_INTEGER:
      return QVariant::fromValue<qint64>(sqlite3_column_int64(stmt, c));
    case SQLITE_FLOAT:
      return QVariant(sqlite3_column_double(stmt, c));
    case SQLITE_TEXT:
      return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                        sqlite3_column_bytes(stmt, c)));
    case SQLITE_BLOB:
      return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, c)), sqlite3_column_bytes(stmt, c)));
    default:
      return QVariant();
  }
}

struct Stmt {
  sqlite3_stmt* s;
  ~Stmt() { sqlite3_finalize(s); }
};

QString quoteIdentifier(const QString& name) {
  QString n = name;
  n.replace('"', "\"\"");
  return '"' + n + '"';
}

}  // namespace

// ---- errors and helpers ----------------------------------------------------------------

DBError::DBError(const QString& description, int code, const QString& path)
    : std::runtime_error(description.toStdString()), description_(description), code_(code), path_(path) {}

bool DBError::isBusy() const {
  const int primary = code_ & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool DBError::isDamaged() const {
  const int primary = code_ & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool DBError::isDiskFull() const { return (code_ & 0xff) == SQLITE_FULL; }

QString missingTableDescription(const QString& table) {
  return "Cannot compile mSQL-Statement: no such table: " + table;
}

QString dateToText(const QDateTime& d) { return d.isValid() ? d.toString(kDateFormat) : QString(); }

QDateTime dateFromText(const QString& text) {
  const QString t = text.trimmed();
  if (t.size() < 10) return {};
  const QDate date = QDate::fromString(t.left(10), "yyyy-MM-dd");
  if (!date.isValid()) return {};
  QTime time(0, 0, 0);
  if (t.size() > 10) {
    if (t[10] != ' ' && t[10] != 'T') return {};
    const QString rest = t.mid(11);
    time = {};
    for (const char* f : {"HH:mm:ss", "HH:mm:ss.zzz", "HH:mm"}) {
      time = QTime::fromString(rest, f);
      if (time.isValid()) break;
    }
    if (!time.isValid()) return {};
  }
  const QDateTime local(date, time);
  if (local.isValid()) return local;
  // A local time that the clock skipped (the hour a summer-time change leaves out) is no valid
  // local date-time, yet the text is a real stored date: read it under the offset in force
  // before the change, which lands just after the skipped hour.
  const QDateTime dayBefore(date.addDays(-1), time);
  const int offset = dayBefore.isValid() ? dayBefore.offsetFromUtc() : 0;
  return QDateTime(date, time, QTimeZone::utc()).addSecs(-offset).toLocalTime();
}

namespace {
template <class Text>
bool plainStoredDate(const Text& t) {
  if (t.size() != 19 || t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' || t[16] != ':') return false;
  int part[6] = {};
  const int at[6] = {0, 5, 8, 11, 14, 17};
  for (int k = 0; k < 6; ++k) {
    for (int i = at[k]; i < at[k] + (k == 0 ? 4 : 2); ++i) {
      const int c = int(QChar(t[i]).unicode());
      if (c < '0' || c > '9') return false;
      part[k] = part[k] * 10 + (c - '0');
    }
  }
  return QDate::isValid(part[0], part[1], part[2]) && part[3] < 24 && part[4] < 60 && part[5] < 60;
}
}  // namespace

bool isPlainStoredDate(QByteArrayView text) { return plainStoredDate(text); }
bool isPlainStoredDate(QStringView text) { return plainStoredDate(text); }

void waitBeforeRetry(int ms) { platform::waitPaintingMs(ms); }

namespace {
QString& swallowed() {
  static QString text;
  return text;
}
}  // namespace
const QString& lastSwallowedError() { return swallowed(); }
void setLastSwallowedError(const QString& text) { swallowed() = text; }

QString databaseProblem(const QString& path, const QStringList& requiredTables) {
  const QFileInfo file(path);
  if (!file.exists()) return QStringLiteral("is missing");
  QStringList missing;
  try {
    DBConnection c;
    c.Open(path, 0);
    for (const QString& table : requiredTables)
      if (!c.TableExists(table)) missing << table;
  } catch (const DBError& e) {
    if (e.isBusy()) return {};
    QString reason = e.description();
    reason.remove(QStringLiteral("Cannot compile mSQL-Statement: "));
    reason.remove(QStringLiteral("Cannot open database ") + path + QStringLiteral(": "));
    return QStringLiteral("cannot be read (%1)").arg(reason);
  }
  if (!missing.isEmpty())
    return QStringLiteral("has no %1 table").arg(missing.join(QStringLiteral(", ")));
  // SQLite writes its journal beside the file, so the folder must take new files too.
  if (!file.isWritable()) return QStringLiteral("cannot be written (the file is read-only)");
  if (!QFileInfo(file.absolutePath()).isWritable())
    return QStringLiteral("cannot be written (its folder is read-only)");
  return {};
}

QString toStoredText(const QString& text) {
  if (!text.contains(u'\'')) return text;
  QString s = text;
  s.replace(u'\'', QStringLiteral("''"));
  return s;
}

// Pairs are undone left to right, as a replace of "''" by "'" does; whole catalogues pass
// through here, so a text without a quote is handed back as it is.
QString fromStoredText(const QString& stored) {
  if (!stored.contains(u'\'')) return stored;
  QString s;
  s.reserve(stored.size());
  for (qsizetype i = 0; i < stored.size(); ++i) {
    s.append(stored[i]);
    if (stored[i] == u'\'' && i + 1 < stored.size() && stored[i + 1] == u'\'') ++i;
  }
  return s;
}

// ---- DBRecordset -------------------------------------------------------------------------

// The readers of a value, shared by DBRecordset and DBRow so both give the same for the same value.
namespace {
QString variantText(const QVariant& v) { return v.isValid() ? v.toString() : QString(); }

qint64 variantLong(const QVariant& v) {
  if (!v.isValid()) return 0;
  bool ok = false;
  const qint64 n = v.toLongLong(&ok);
  if (ok) return n;
  const double d = v.toString().trimmed().toDouble(&ok);
  return ok ? static_cast<qint64>(d) : 0;
}

double variantNumber(const QVariant& v) {
  if (!v.isValid()) return 0;
  bool ok = false;
  const double d = v.toString().trimmed().toDouble(&ok);
  return ok ? d : 0;
}

QDateTime variantDate(const QVariant& v) { return v.isValid() ? dateFromText(v.toString()) : QDateTime(); }

bool variantBoolean(const QVariant& v) {
  if (!v.isValid()) return false;
  if (v.typeId() == QMetaType::QString) {
    const QString t = v.toString().trimmed();
    return t == "1" || t.compare("true", Qt::CaseInsensitive) == 0 || t == "-1";
  }
  return v.toLongLong() != 0;
}

int indexOfColumn(const QStringList& columns, const QString& name) {
  for (int i = 0; i < columns.size(); ++i)
    if (columns[i].compare(name, Qt::CaseInsensitive) == 0) return i;
  throw DBError("Item not found in this collection: " + name, 0);
}
}  // namespace

int DBRecordset::columnIndex(const QString& name) const { return indexOfColumn(columns_, name); }

QVariant DBRecordset::Field(const QString& name) const {
  const int c = columnIndex(name);
  if (AtEnd()) throw DBError("No current row", 0);
  return rows_[pos_][c];
}

void DBRecordset::SetField(const QString& name, const QVariant& value) {
  const int c = columnIndex(name);
  if (AtEnd()) throw DBError("No current row", 0);
  rows_[pos_][c] = value;
  if (dirty_.size() == rows_.size()) dirty_[pos_][c] = true;
}

void DBRecordset::Update() {
  if (table_.isEmpty() || !handle_ || rowids_.size() != rows_.size())
    throw DBError("This result cannot be updated", SQLITE_MISUSE);
  if (AtEnd()) throw DBError("No current row", 0);
  QStringList sets;
  QVariantList values;
  for (int c = 0; c < columns_.size(); ++c) {
    if (!dirty_[pos_][c]) continue;
    sets << quoteIdentifier(columns_[c]) + " = ?";
    values << rows_[pos_][c];
  }
  if (sets.isEmpty()) return;
  Stmt st{prepare(*handle_, "UPDATE " + quoteIdentifier(table_) + " SET " + sets.join(", ") + " WHERE rowid = ?")};
  int i = 1;
  for (const QVariant& v : values) bindValue(st.s, i++, v, handle_->db);
  const int rc0 = sqlite3_bind_int64(st.s, i, rowids_[pos_]);
  if (rc0 != SQLITE_OK) fail(handle_->db, rc0);
  const int rc = stepClean(st.s);
  if (rc != SQLITE_DONE) fail(handle_->db, rc);
  dirty_[pos_].fill(false);
}

QString DBRecordset::Text(const QString& name) const { return variantText(Field(name)); }
qint64 DBRecordset::Long(const QString& name) const { return variantLong(Field(name)); }
double DBRecordset::Number(const QString& name) const { return variantNumber(Field(name)); }

bool DBRecordset::Boolean(const QString& name) const { return variantBoolean(Field(name)); }

QDateTime DBRecordset::Date(const QString& name) const { return variantDate(Field(name)); }

// ---- DBRow -------------------------------------------------------------------------------

int DBRow::Column(const QString& name) const { return indexOfColumn(columns_, name); }
QVariant DBRow::value(int c) const { return columnValue(stmt_, c); }
bool DBRow::IsNull(int c) const { return sqlite3_column_type(stmt_, c) == SQLITE_NULL; }
bool DBRow::IsInteger(int c) const { return sqlite3_column_type(stmt_, c) == SQLITE_INTEGER; }

QByteArrayView DBRow::Utf8(int c) const {
  if (sqlite3_column_type(stmt_, c) != SQLITE_TEXT) return {};
  return QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c)), sqlite3_column_bytes(stmt_, c));
}

// Text and integers are read straight from the statement; other kinds take the common road.
QString DBRow::Text(int c) const {
  if (sqlite3_column_type(stmt_, c) == SQLITE_TEXT) return QString::fromUtf8(Utf8(c));
  return variantText(value(c));
}

QString DBRow::TextKeepingBytes(int c) const {
  if (sqlite3_column_type(stmt_, c) == SQLITE_TEXT) return platform::fromUtf8Lossless(Utf8(c));
  return variantText(value(c));
}

qint64 DBRow::Long(int c) const {
  if (IsInteger(c)) return sqlite3_column_int64(stmt_, c);
  return variantLong(value(c));
}

double DBRow::Number(int c) const {
  if (IsInteger(c)) return static_cast<double>(sqlite3_column_int64(stmt_, c));
  return variantNumber(value(c));
}

QDateTime DBRow::Date(int c) const { return variantDate(value(c)); }

bool DBRow::Boolean(int c) const {
  if (IsInteger(c)) return sqlite3_column_int64(stmt_, c) != 0;
  return variantBoolean(value(c));
}

// ---- DBCommand ---------------------------------------------------------------------------

DBCommand::DBCommand(std::shared_ptr<Handle> handle, sqlite3_stmt* stmt) : handle_(std::move(handle)), stmt_(stmt) {}
DBCommand::DBCommand(DBCommand&& o) noexcept : handle_(std::move(o.handle_)), stmt_(o.stmt_) { o.stmt_ = nullptr; }
DBCommand& DBCommand::operator=(DBCommand&& o) noexcept {
  if (this != &o) {
    if (stmt_) sqlite3_finalize(stmt_);
    handle_ = std::move(o.handle_);
    stmt_ = o.stmt_;
    o.stmt_ = nullptr;
    row_ = DBRow();  // made again for this statement at the next Step
  }
  return *this;
}
DBCommand::~DBCommand() {
  if (stmt_) sqlite3_finalize(stmt_);
}

void DBCommand::check(int rc) const {
  if (rc != SQLITE_OK) fail(handle_->db, rc);
}

void DBCommand::BindText(int i, const QString& text) { bindValue(stmt_, i, QVariant(text.isNull() ? QString("") : text), handle_->db); }
void DBCommand::BindUtf8(int i, QByteArrayView text) {
  check(sqlite3_bind_text(stmt_, i, text.isNull() ? "" : text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
}
void DBCommand::BindLong(int i, qint64 value) { check(sqlite3_bind_int64(stmt_, i, value)); }
void DBCommand::BindFixed(int i, double value) {
  // A fixed-point number keeps four decimals and whole units up to 922337203685477; a value
  // it cannot hold is an error, not a wrapped or undefined number.
  constexpr double kLimit = 922337203685477.0;
  if (!std::isfinite(value) || std::fabs(value) > kLimit)
    throw DBError("Overflow: " + QString::number(value, 'g', 17) + " is no fixed-point number", SQLITE_RANGE);
  const qint64 units = static_cast<qint64>(std::llround(value * 10000.0));
  if (units % 10000 == 0) check(sqlite3_bind_int64(stmt_, i, units / 10000));
  else check(sqlite3_bind_double(stmt_, i, static_cast<double>(units) / 10000.0));
}
void DBCommand::BindDate(int i, const QDateTime& value) { bindValue(stmt_, i, QVariant(value), handle_->db); }
void DBCommand::BindBoolean(int i, bool value) { check(sqlite3_bind_int64(stmt_, i, value ? 1 : 0)); }
void DBCommand::BindNull(int i) { check(sqlite3_bind_null(stmt_, i)); }
void DBCommand::BindValue(int i, const QVariant& value) { bindValue(stmt_, i, value, handle_->db); }

int DBCommand::Execute() {
  const int rc = stepClean(stmt_);
  Reset();
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) fail(handle_->db, rc);
  return sqlite3_changes(handle_->db);
}

bool DBCommand::Step() {
  if (!row_.stmt_) {
    row_.stmt_ = stmt_;
    for (int c = 0; c < sqlite3_column_count(stmt_); ++c) row_.columns_ << QString::fromUtf8(sqlite3_column_name(stmt_, c));
  }
  const int rc = stepClean(stmt_);
  if (rc == SQLITE_ROW) return true;
  Reset();
  if (rc != SQLITE_DONE) fail(handle_->db, rc);
  return false;
}

void DBCommand::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

// ---- DBConnection ------------------------------------------------------------------------

DBConnection::DBConnection() = default;

DBConnection::~DBConnection() { Close(); }

sqlite3* DBConnection::raw() const {
  if (!handle_ || !handle_->db) throw DBError("The database is not open", SQLITE_MISUSE);
  return handle_->db;
}

static std::shared_ptr<Handle> openHandle(const QString& path, int flags, int engineWaitMs) {
  auto h = std::make_shared<Handle>();
  h->path = path;
  const QByteArray p = QFile::encodeName(path);
  const int rc = sqlite3_open_v2(p.constData(), &h->db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const QString msg = h->db ? QString::fromUtf8(sqlite3_errmsg(h->db)) : QString::fromUtf8(sqlite3_errstr(rc));
    throw DBError("Cannot open database " + path + ": " + msg, rc);
  }
  sqlite3_extended_result_codes(h->db, 0);
  // Our own bounded retry (withBusyRetry) handles longer waits, between which the
  // window keeps running; a short engine-side wait smooths over brief write locks.
  sqlite3_busy_timeout(h->db, engineWaitMs > 0 ? engineWaitMs : 0);
  sqlite3_set_authorizer(h->db, refuseWrites, h.get());
  return h;
}

void DBConnection::Open(const QString& path, int engineWaitMs) {
  Close();
  const QFileInfo file(path);
  if (!file.exists()) throw DBError("Cannot open database " + path + ": the file does not exist", SQLITE_CANTOPEN);
  // SQLite would wait for ever on a fifo (or a device) to give it a page.
  if (!file.isFile()) throw DBError("Cannot open database " + path + ": it is not a file", SQLITE_CANTOPEN);
  // SQLite takes an empty file for an empty database and would write a schema into it. An
  // empty Files.db or Status.db is a broken one (cut short while copied, a full disk): it is
  // refused, so nothing is written into it and the service never finds half a schema there. It is
  // noted as SQLite's "not a database" would be, so that it is told as damaged (a catalogue copy
  // would otherwise show no files without a word).
  if (file.size() == 0) {
    noteDatabaseFailure(path, SQLITE_NOTADB, QStringLiteral("the file is empty"));
    throw DBError("Cannot open database " + path + ": the file is empty", SQLITE_NOTADB, path);
  }
  handle_ = openHandle(path, SQLITE_OPEN_READWRITE, engineWaitMs);
}

void DBConnection::Create(const QString& path) {
  Close();
  if (QFile::exists(path)) throw DBError("Cannot create database " + path + ": the file exists", SQLITE_CANTOPEN);
  // A file made anew may get the number of one just deleted at the same path: nothing learnt
  // about that one holds for it.
  forgetDatabaseTrouble(path);
  handle_ = openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, RetryPolicy{}.engineWaitMs);
}

void DBConnection::Close() {
  // A recordset or command may keep the handle alive after the connection goes; a transaction
  // left open on it would hold the database locked against the service until then.
  if (handle_ && handle_->db && !sqlite3_get_autocommit(handle_->db))
    sqlite3_exec(handle_->db, "ROLLBACK", nullptr, nullptr, nullptr);
  handle_.reset();
}
bool DBConnection::IsOpen() const { return handle_ && handle_->db; }

DBRecordset DBConnection::runQuery(const std::shared_ptr<Handle>& h, const QString& sql, const QVariantList& params,
                            bool keepRowIds) {
  Stmt st{prepare(*h, sql)};
  for (int i = 0; i < params.size(); ++i) bindValue(st.s, i + 1, params[i], h->db);
  DBRecordset rs;
  rs.handle_ = h;
  const int n = sqlite3_column_count(st.s);
  const int first = keepRowIds ? 1 : 0;
  for (int c = first; c < n; ++c) rs.columns_ << QString::fromUtf8(sqlite3_column_name(st.s, c));
  for (;;) {
    const int rc = stepClean(st.s);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) fail(h->db, rc);
    QVector<QVariant> row;
    row.reserve(n - first);
    for (int c = first; c < n; ++c) row.push_back(columnValue(st.s, c));
    rs.rows_.push_back(std::move(row));
    if (keepRowIds) rs.rowids_.push_back(sqlite3_column_int64(st.s, 0));
  }
  return rs;
}

DBRecordset DBConnection::Query(const QString& sql, const QVariantList& params) {
  raw();
  return runQuery(handle_, sql, params, false);
}

DBRecordset DBConnection::QueryForUpdate(const QString& table, const QString& where, const QVariantList& params) {
  raw();
  DBRecordset rs = runQuery(handle_, "Select rowid, * From " + quoteIdentifier(table) + ' ' + where, params, true);
  rs.table_ = table;
  rs.dirty_.fill(QVector<bool>(rs.columns_.size(), false), rs.rows_.size());
  return rs;
}

qint64 DBConnection::ForEachRow(const QString& sql, const QVariantList& params,
                                const std::function<bool(const DBRow&)>& each) {
  sqlite3* db = raw();
  Stmt st{prepare(*handle_, sql)};
  for (int i = 0; i < params.size(); ++i) bindValue(st.s, i + 1, params[i], db);
  DBRow row;
  row.stmt_ = st.s;
  const int n = sqlite3_column_count(st.s);
  for (int c = 0; c < n; ++c) row.columns_ << QString::fromUtf8(sqlite3_column_name(st.s, c));
  qint64 visited = 0;
  for (;;) {
    const int rc = stepClean(st.s);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) fail(db, rc);
    ++visited;
    if (!each(row)) break;
  }
  return visited;
}

DBCommand DBConnection::Prepare(const QString& sql) {
  raw();
  return DBCommand(handle_, prepare(*handle_, sql));
}

int DBConnection::Execute(const QString& sql, const QVariantList& params) {
  sqlite3* db = raw();
  if (params.isEmpty()) {
    // May hold several statements (schema scripts).
    handle_->refusedWrite = false;
    char* err = nullptr;
    const QByteArray text = sql.toUtf8();
    platform::clearWideRegisters();
    const int rc = sqlite3_exec(db, text.constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
      QString msg = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
      sqlite3_free(err);
      throwIfRefused(*handle_);
      const int code = sqlite3_errcode(db);
      if (msg.startsWith("no such table: ")) msg = "Cannot compile mSQL-Statement: " + msg;
      raise(msg, code ? code : rc, fileOf(db));
    }
    return sqlite3_changes(db);
  }
  Stmt st{prepare(*handle_, sql)};
  for (int i = 0; i < params.size(); ++i) bindValue(st.s, i + 1, params[i], db);
  int rc;
  while ((rc = stepClean(st.s)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) fail(db, rc);
  return sqlite3_changes(db);
}

void DBConnection::BeginTransaction() { Execute("BEGIN IMMEDIATE"); }
void DBConnection::Commit() { Execute("COMMIT"); }
void DBConnection::Rollback() {
  if (InTransaction()) Execute("ROLLBACK");
}
bool DBConnection::InTransaction() const { return IsOpen() && !sqlite3_get_autocommit(handle_->db); }

namespace {
int stopRequested(void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; }
}  // namespace

void DBConnection::InterruptWhen(const std::atomic<bool>* stop) {
  // The engine looks at the flag every few thousand of its steps: often enough to end within
  // milliseconds, rarely enough to cost nothing measurable.
  sqlite3_progress_handler(raw(), stop ? 4000 : 0, stop ? stopRequested : nullptr, const_cast<std::atomic<bool>*>(stop));
}

qint64 DBConnection::LastInsertRowId() const { return sqlite3_last_insert_rowid(raw()); }

bool DBConnection::TableExists(const QString& table) {
  return Query("SELECT name FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE", {table}).RowCount() > 0;
}

}  // namespace corvane::store
