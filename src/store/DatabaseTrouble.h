#pragma once
// What the database component learns about the files it opens, kept for the whole run: a file
// SQLite found damaged ("database disk image is malformed", "file is not a database") and one
// it could not write into because the disk is full. A damaged file is written no more: the
// component refuses every statement that would change it. Each trouble is told to the user once
// per file and run, in plain words, by whichever part of the window meets it first. A file put
// in the place of another (a catalogue copy fetched again) starts with a clean slate.
//
// Safe from any thread; only the telling (which shows message boxes) belongs on the window's.
#include <QString>
#include <QStringList>
#include <functional>

namespace corvane::store {

class DBError;

// What a failure of the database file at path says about the file (the component calls this
// for every error it raises from SQLite; other codes are ignored).
void noteDatabaseFailure(const QString& path, int code, const QString& description);

// True when SQLite found this file damaged in this run (a new file at the same path is another).
bool isKnownDamaged(const QString& path);
// False as long as no file was found damaged in this run (a test that costs nothing).
bool anyKnownDamaged();
// Throws the refusal (a damaged DBError naming the file) when the file is known to be damaged.
void refuseIfDamaged(const QString& path);
// Forgets what was learnt about the file at path (it has just been replaced or made anew).
void forgetDatabaseTrouble(const QString& path);

// SQLite finds a damaged page only when a statement reads it: an insert into one table goes
// through while a page of another is zeroed. This looks the files through with SQLite's
// structural check ("PRAGMA quick_check", a third of a second for a Files.db of a million rows
// in the page cache) on a thread of its own, while this thread calls answer at once and then
// every few tens of milliseconds (a store::runAnswering job; answer returning false gives the check
// up). A file found damaged is noted as SQLite's own report would be. Files this run has looked
// through already (the same files, found sound), files being looked through by another caller
// and missing files are skipped unless again is true; a file that cannot be looked through now
// (locked longer than lockWaitMs) is left for a later call. False when a file was left so, or the
// check was given up.
bool checkDatabasesAside(const QStringList& paths, const std::function<bool()>& answer, bool again = false,
                         int lockWaitMs = 250);

// Tells, one message per file, every trouble noted for a database file (".db") of folder that
// was not told yet in this run. Returns how many were told.
int tellDatabaseTrouble(const QString& folder);
// Shows text unless the file at path was told about already in this run (by either road);
// true when it was shown now.
bool tellAboutDatabaseOnce(const QString& path, const QString& text);
// An action's failure: the trouble of its file when that was not told yet (the one message
// then says both), otherwise the error's description.
void showDatabaseError(const DBError& e);
// The one text for a database the service kept busy past the bounded wait: the file named
// (SQLite's "database is locked" names neither it nor what became of the action) and the
// outcome, e.g. "nothing was changed".
QString busyDatabaseText(const QString& path, const QString& outcome);

}  // namespace corvane::store
