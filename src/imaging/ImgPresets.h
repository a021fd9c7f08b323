#pragma once
// Image presets: named sets of the imaging page's choices, rows of ImgPresets in Status.db.
// All values are text; the background service reads the table.
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "store/Database.h"

namespace corvane::imaging {

// The columns after the key, in table order.
enum class Col {
  ImgPresetName, ImgIndex, ImgScheduled, ImgDaily, ImgWeekly, ImgMonthly, ImgQuarterly, ImgMonth,
  ImgSun, ImgMon, ImgTue, ImgWed, ImgThu, ImgFri, ImgSat,
  ImgHours, ImgMins, ImgAMPM, ImgStartDay, ImgStartDayQtr,
  ImgDiffSun, ImgDiffMon, ImgDiffTue, ImgDiffWed, ImgDiffThu, ImgDiffFri, ImgDiffSat,
  ImgDiffHours, ImgDiffMins, ImgDiffAMPM, ImgDiffInterval, ImgBUPerDay,
  ImgSource, ImgDest, ImgPrefix, ImgDefault, ImgRemote,
  ImgUseVSS, ImgRequireVSS, ImgForceVSS, ImgDisableVSS, ImgKeepLocal, ImgKeepRemote,
  Count
};
inline constexpr int kPresetColumns = int(Col::Count);  // 43
inline Col operator+(Col c, int n) { return Col(int(c) + n); }

const QStringList& presetColumnNames();  // "ImgPresetName" ... "ImgKeepRemote"

inline const QString kWizardSetup = QStringLiteral("Wizard Setup");
inline const QString kHelpPage = QStringLiteral("Help Page");
inline const QString kCurrentImagePreset = QStringLiteral("CurrentImagePreset");
// The remote server of the built-in presets.
inline const QString kBuiltInRemoteServer = QStringLiteral("images.corvane.com");

struct ImgPreset {
  QStringList values = QStringList(kPresetColumns);
  const QString& operator[](Col c) const { return values[int(c)]; }
  QString& operator[](Col c) { return values[int(c)]; }
  // Flags of option buttons: "True" and "1" are true.
  bool flag(Col c) const;
};

// The four built-in presets: "Server", "Office Computer", "Home Computer", "Laptop".
QList<ImgPreset> builtInPresets();

struct PresetListEntry {
  QString name;
  qint64 id = 0;
};
inline constexpr int kPresetListSlots = 101;

// The procedures on ImgPresets of one Status.db. A missing table is created and the work run once
// more; a busy database is waited for within the retry policy; names are bound, never spliced.
class ImgPresetStore {
 public:
  explicit ImgPresetStore(QString statusDb, store::RetryPolicy policy = {});

  // Creates the table; any error (the table exists already) is ignored.
  void DBCreateTableImgPresets() const;
  // True when a row of that name exists; false also when the table cannot be read.
  bool DBDoesImgPresetExist(const QString& name) const;
  // The named rows in table order, at most kPresetListSlots; rows with an empty name are left
  // out. Empty when the table cannot be read.
  QList<PresetListEntry> DBSelectAllImgPresets() const;
  // ImgIndex and key of the first row of that name; nullopt when there is none or on error.
  std::optional<QString> DBSelectImgIndex(const QString& name) const;
  std::optional<qint64> DBSelectPresetID(const QString& name) const;
  // The first row of that name (nullopt when none). Throws DBError on errors other than a
  // missing table.
  std::optional<ImgPreset> DBSelectImgPreset(const QString& name) const;
  // Inserts one row of exactly these values. Throws DBError when it stores nothing.
  void DBInsertImgPresetFull(const ImgPreset& preset) const;
  // Deletes every row of that name. Throws DBError when it fails.
  void DBDeleteImgPreset(const QString& name) const;
  // Deletes every row of the preset's name and inserts it, in one transaction: the old rows stay
  // when the insert fails. Throws DBError when it fails.
  void DBReplaceImgPreset(const ImgPreset& preset) const;
  // Inserts those built-in presets that have no row of their name yet.
  void InsertImgPresets() const;

  const QString& statusDb() const { return statusDb_; }

 private:
  template <class Work>
  auto withTable(Work&& work) const;
  template <class T, class Read>
  std::optional<T> firstOfName(const QString& select, const QString& name, Read&& read) const;
  void insert(store::DBConnection& c, const ImgPreset& preset) const;

  QString statusDb_;
  store::RetryPolicy policy_;
};

}  // namespace corvane::imaging
