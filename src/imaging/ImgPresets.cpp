#include "imaging/ImgPresets.h"

#include <utility>

namespace corvane::imaging {

using store::DBConnection;
using store::DBError;
using store::DBRecordset;

namespace {

const QString kTable = QStringLiteral("ImgPresets");

QString createStatement() {
  QStringList columns;
  for (const QString& c : presetColumnNames()) columns << c + QStringLiteral(" TEXT");
  return QStringLiteral("Create Table ImgPresets (ImgPresetID INTEGER Primary Key AUTOINCREMENT, ") +
         columns.join(QStringLiteral(", ")) + QStringLiteral(")");
}

QString insertStatement() {
  QStringList marks;
  for (int i = 0; i <= kPresetColumns; ++i) marks << QStringLiteral("?");
  return QStringLiteral("Insert Into ImgPresets Values(") + marks.join(',') + QStringLiteral(")");
}

const QString kWhereName = QStringLiteral(" WHERE ImgPresetName = ?");

ImgPreset common() {
  ImgPreset p;
  p[Col::ImgIndex] = "000";
  p[Col::ImgScheduled] = "Scheduled";
  p[Col::ImgDaily] = "0";
  p[Col::ImgMins] = "00";
  p[Col::ImgAMPM] = "AM";
  for (int d = 0; d < 7; ++d) p[Col::ImgDiffSun + d] = "1";
  p[Col::ImgDiffHours] = "06";
  p[Col::ImgDiffMins] = "0";
  p[Col::ImgDiffAMPM] = "AM";
  p[Col::ImgSource] = "C:\\";
  p[Col::ImgDest] = "C:\\images\\";
  p[Col::ImgPrefix] = "";
  p[Col::ImgDefault] = "1";
  p[Col::ImgRemote] = kBuiltInRemoteServer;
  p[Col::ImgUseVSS] = "1";
  p[Col::ImgRequireVSS] = "0";
  p[Col::ImgForceVSS] = "0";
  p[Col::ImgDisableVSS] = "0";
  p[Col::ImgKeepLocal] = "1";
  p[Col::ImgKeepRemote] = "4";
  return p;
}

}  // namespace

const QStringList& presetColumnNames() {
  static const QStringList names = {
      "ImgPresetName", "ImgIndex",     "ImgScheduled", "ImgDaily",      "ImgWeekly",      "ImgMonthly",
      "ImgQuarterly",  "ImgMonth",     "ImgSun",       "ImgMon",        "ImgTue",         "ImgWed",
      "ImgThu",        "ImgFri",       "ImgSat",       "ImgHours",      "ImgMins",        "ImgAMPM",
      "ImgStartDay",   "ImgStartDayQtr", "ImgDiffSun", "ImgDiffMon",    "ImgDiffTue",     "ImgDiffWed",
      "ImgDiffThu",    "ImgDiffFri",   "ImgDiffSat",   "ImgDiffHours",  "ImgDiffMins",    "ImgDiffAMPM",
      "ImgDiffInterval", "ImgBUPerDay", "ImgSource",   "ImgDest",       "ImgPrefix",      "ImgDefault",
      "ImgRemote",     "ImgUseVSS",    "ImgRequireVSS", "ImgForceVSS",  "ImgDisableVSS",  "ImgKeepLocal",
      "ImgKeepRemote"};
  return names;
}

bool ImgPreset::flag(Col c) const {
  const QString& v = (*this)[c];
  return v == QLatin1String("1") || v.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
}

QList<ImgPreset> builtInPresets() {
  struct Row {
    const char* name;
    const char *weekly, *monthly, *quarterly, *month, *sun, *mon, *tueToSat, *hours, *startDay, *startDayQtr,
        *interval, *perDay;
  };
  static const Row rows[] = {
      {"Server", "0", "1", "0", "", "0", "0", "0", "2", "1", "", "16 hours", "2"},
      {"Office Computer", "1", "0", "0", "", "0", "1", "0", "7", "0", "0", "hour", "8"},
      {"Home Computer", "0", "1", "0", "", "0", "0", "0", "2", "1", "", "16", "2"},
      {"Laptop", "0", "0", "1", "1", "1", "1", "1", "2", "1", "1", "16 hours", "2"},
  };
  QList<ImgPreset> presets;
  for (const Row& r : rows) {
    ImgPreset p = common();
    p[Col::ImgPresetName] = r.name;
    p[Col::ImgWeekly] = r.weekly;
    p[Col::ImgMonthly] = r.monthly;
    p[Col::ImgQuarterly] = r.quarterly;
    p[Col::ImgMonth] = r.month;
    p[Col::ImgSun] = r.sun;
    p[Col::ImgMon] = r.mon;
    for (int d = 2; d < 7; ++d) p[Col::ImgSun + d] = r.tueToSat;
    p[Col::ImgHours] = r.hours;
    p[Col::ImgStartDay] = r.startDay;
    p[Col::ImgStartDayQtr] = r.startDayQtr;
    p[Col::ImgDiffInterval] = r.interval;
    p[Col::ImgBUPerDay] = r.perDay;
    presets << p;
  }
  return presets;
}

ImgPresetStore::ImgPresetStore(QString statusDb, store::RetryPolicy policy)
    : statusDb_(std::move(statusDb)), policy_(policy) {}

template <class Work>
auto ImgPresetStore::withTable(Work&& work) const {
  return store::withCreatedTable(kTable, work, [this] { DBCreateTableImgPresets(); });
}

void ImgPresetStore::DBCreateTableImgPresets() const {
  store::swallowDbError(
      [&] { store::inTransaction(statusDb_, [&](DBConnection& c) { c.Execute(createStatement()); }, policy_); });
}

bool ImgPresetStore::DBDoesImgPresetExist(const QString& name) const {
  bool exists = false;
  store::swallowDbError([&] {
    exists = store::onDatabase(
        statusDb_,
        [&](DBConnection& c) {
          return c.Query(QStringLiteral("Select * from ImgPresets") + kWhereName, {name}).RowCount() >= 1;
        },
        policy_);
  });
  return exists;
}

QList<PresetListEntry> ImgPresetStore::DBSelectAllImgPresets() const {
  QList<PresetListEntry> list;
  store::swallowDbError([&] {
    list = store::onDatabase(
        statusDb_,
        [&](DBConnection& c) {
          QList<PresetListEntry> found;
          DBRecordset rs = c.Query(QStringLiteral("Select ImgPresetName, ImgPresetID from ImgPresets"));
          for (; !rs.AtEnd() && found.size() < kPresetListSlots; rs.MoveNext()) {
            const QString name = rs.Text("ImgPresetName");
            if (!name.isEmpty()) found.push_back({name, rs.Long("ImgPresetID")});
          }
          return found;
        },
        policy_);
  });
  return list;
}

// A value of the first row of that name; nullopt when there is none or on error.
template <class T, class Read>
std::optional<T> ImgPresetStore::firstOfName(const QString& select, const QString& name, Read&& read) const {
  std::optional<T> value;
  store::swallowDbError([&] {
    value = store::onDatabase(
        statusDb_,
        [&](DBConnection& c) -> std::optional<T> {
          DBRecordset rs = c.Query(select + kWhereName, {name});
          if (rs.RowCount() < 1) return std::nullopt;
          return read(rs);
        },
        policy_);
  });
  return value;
}

std::optional<QString> ImgPresetStore::DBSelectImgIndex(const QString& name) const {
  return firstOfName<QString>(QStringLiteral("SELECT ImgPresetName, ImgIndex FROM ImgPresets"), name,
                              [](const DBRecordset& rs) { return rs.Text("ImgIndex"); });
}

std::optional<qint64> ImgPresetStore::DBSelectPresetID(const QString& name) const {
  return firstOfName<qint64>(QStringLiteral("SELECT ImgPresetName, ImgPresetID FROM ImgPresets"), name,
                             [](const DBRecordset& rs) { return rs.Long("ImgPresetID"); });
}

std::optional<ImgPreset> ImgPresetStore::DBSelectImgPreset(const QString& name) const {
  return withTable([&] {
    return store::onDatabase(
        statusDb_,
        [&](DBConnection& c) -> std::optional<ImgPreset> {
          DBRecordset rs = c.Query(QStringLiteral("Select * from ImgPresets Where ImgPresetName = ?"), {name});
          if (rs.RowCount() < 1) return std::nullopt;
          ImgPreset p;
          for (int i = 0; i < kPresetColumns; ++i) p.values[i] = rs.Text(presetColumnNames()[i]);
          return p;
        },
        policy_);
  });
}

void ImgPresetStore::insert(DBConnection& c, const ImgPreset& preset) const {
  store::DBCommand cmd = c.Prepare(insertStatement());
  for (int i = 0; i < kPresetColumns; ++i) cmd.BindText(i + 2, preset.values[i]);
  cmd.Execute();
}

void ImgPresetStore::DBInsertImgPresetFull(const ImgPreset& preset) const {
  withTable([&] { store::inTransaction(statusDb_, [&](DBConnection& c) { insert(c, preset); }, policy_); });
}

void ImgPresetStore::DBDeleteImgPreset(const QString& name) const {
  store::inTransaction(
      statusDb_, [&](DBConnection& c) { c.Execute(QStringLiteral("Delete from ImgPresets") + kWhereName, {name}); },
      policy_);
}

void ImgPresetStore::DBReplaceImgPreset(const ImgPreset& preset) const {
  withTable([&] {
    store::inTransaction(
        statusDb_,
        [&](DBConnection& c) {
          c.Execute(QStringLiteral("Delete from ImgPresets") + kWhereName, {preset[Col::ImgPresetName]});
          insert(c, preset);
        },
        policy_);
  });
}

void ImgPresetStore::InsertImgPresets() const {
  for (const ImgPreset& p : builtInPresets()) {
    if (DBDoesImgPresetExist(p[Col::ImgPresetName])) continue;
    store::swallowDbError([&] { DBInsertImgPresetFull(p); });
  }
}

}  // namespace corvane::imaging
