#include "imaging/EngineFrontEnd.h"

#include <QDir>
#include <utility>

#include "imaging/EngineFigures.h"
#include "imaging/ImgPresets.h"
#include "imaging/SetupPage.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "store/FileTables.h"
#include "store/Settings.h"

namespace corvane::imaging {

using platform::MsgButtons;
using platform::MsgIcon;
using store::DBError;

namespace {

// The status tick gives up at once on a busy database (the service may hold it for seconds).
constexpr store::RetryPolicy kNoWait{1, 0};

const QString kImageSource = QStringLiteral("ImageSource");
const QString kImageDest = QStringLiteral("ImageDest");
const QString kImageActive = QStringLiteral("ImageActive");

// The engine takes its status file within moments of its start. Until it has, the record still
// reads as the last image left it; one that is unchanged this long after the start is the new
// engine's own (it failed just as the last one did) or was never touched by it.
constexpr int kEngineShowsItselfSecs = 5;

bool sameRecord(const SShStatusInfo& a, const SShStatusInfo& b) {
  return a.StatusCode == b.StatusCode && a.BytesReadHigh == b.BytesReadHigh && a.BytesReadLow == b.BytesReadLow &&
         a.BytesWrittenHigh == b.BytesWrittenHigh && a.BytesWrittenLow == b.BytesWrittenLow;
}

bool marksActive(const QString& value) { return value == QLatin1String("Yes") || value == QLatin1String("1"); }

void warn(const QString& text) { platform::showMessage(text, QStringLiteral("Corvane"), MsgButtons::Ok, MsgIcon::Warning); }

}  // namespace

EngineFrontEnd::EngineFrontEnd(const store::DatabasePaths& databases, EngineLibrary engine, EngineHooks hooks)
    : databases_(databases), engine_(std::move(engine)), hooks_(std::move(hooks)) {
  panel_.problem = engine_.problem();
  if (!engine_.available() && panel_.problem.isEmpty())
    panel_.problem = QStringLiteral("The imaging engine is not available. Images cannot be made.");
  panel_.connectEnabled = engine_.available();
}

// ---------------------------------------------------------------- status refresh

bool EngineFrontEnd::readStatus() {
  status_ = SShStatusInfo{};
  if (!engine_.available()) return false;
  engine_.functions().SShGetStatusInfo(&status_);
  return true;
}

void EngineFrontEnd::showBytes() {
  panel_.bytesRead = formatBytes(bytesRead(status_));
  panel_.bytesWritten = formatBytes(bytesWritten(status_));
}

qint64 EngineFrontEnd::DBCountImageFiles(int uploaded) {
  const qint64 count = store::onDatabase(
      databases_.filesDb,
      [&](store::DBConnection& c) {
        // "+Uploaded" keeps SQLite on the folder's index: the Uploaded index would walk most of
        // the table, far too long for the status tick.
        store::DBRecordset rs =
            c.Query(QStringLiteral("Select Count(*) As Files from file Where folder = ? AND +Uploaded = ?"),
                    {store::toStoredText(kImageUploadFolder), uploaded});
        return rs.Long(QStringLiteral("Files"));
      },
      kNoWait);
  return count < 1 ? 0 : count;
}

std::optional<int> EngineFrontEnd::PercentImageUploaded() {
  const qint64 waiting = DBCountImageFiles(0);
  const qint64 done = DBCountImageFiles(1);
  return uploadedPercent(waiting, done);
}

void EngineFrontEnd::UpdateOldImagePage() {
  followEngine();
  try {
    const int percent = PercentImageUploaded().value_or(0);
    panel_.percentVerified = QString::number(percent) + QStringLiteral(" %");
    panel_.progress = percent;
  } catch (const DBError&) {
    // Busy or unreadable: the last figures stay.
  }
  if (!connected() || !readStatus()) return;
  // The record is still the last image's: the panel keeps "Creating Image" and its buttons, so
  // that an old failure neither shows as this image's nor lets a second engine start.
  if (followed_ && !followed_->shown) return;

  const EngineFunctions& f = engine_.functions();
  const auto ended = [&] {  // no image is written any more: another may start
    // Not before the image started here is settled (a failed one out of the log): the next
    // click reads the log. A busy database leaves that to a later tick. The engine may have
    // ended since this refresh first looked: it is judged again here, not a tick later.
    followEngine();
    panel_.createEnabled = !followed_;
    markImageInactive();  // when Status.db is busy, the next tick still finds the engine stopped
    panel_.pauseCaption = kPauseCaption;
  };
  if (status_.StatusCode != 0) {
    panel_.status = QStringLiteral("Aborted");
    // The engine keeps the code of its last image after it has gone; once it has, a failed
    // image must not leave Create Disk Image disabled for good.
    if (f.SShIsInProgress() != 0) ended();
  } else if (f.SShIsPaused() != 0) {
    panel_.status = QStringLiteral("Paused");
    panel_.createEnabled = false;
    panel_.pauseCaption = kResumeCaption;
  } else if (f.SShIsInProgress() != 0) {
    panel_.status = QStringLiteral("Stopped");
    ended();
  } else {
    panel_.status = QStringLiteral("Writing Image");
    panel_.createEnabled = false;
    panel_.pauseEnabled = true;
    panel_.abortEnabled = true;
    panel_.pauseCaption = kPauseCaption;
  }
  panel_.statusLine = status_.StatusCode == 0 ? QStringLiteral("Status: OK")
                                              : QStringLiteral("Status: Fail ") + QString::number(status_.StatusCode);
  showBytes();
  const qint64 read = bytesRead(status_);
  if (read > 0 && cUsed_ > 0)
    panel_.complete = QStringLiteral("Image ") + formatPercent(double(read) / cUsed_ * 100) + QStringLiteral("% complete");
}

bool EngineFrontEnd::CalcSourceAndDestSize(double& sourceSize, double& destSize) {
  std::optional<ImgPreset> preset;
  try {
    const QString name = store::readSetting(databases_.statusDb, kCurrentImagePreset, kNoWait).value_or(QString());
    preset = ImgPresetStore(databases_.statusDb, kNoWait).DBSelectImgPreset(name);
  } catch (const DBError&) {
    return false;
  }
  if (!preset) return true;  // no such preset: the sizes stay as they were
  sourceSize = usedBytes(drivesOfPresetSource((*preset)[Col::ImgSource]), hooks_.driveSizes) / 2;
  double total = 0;
  hooks_.driveSizes((*preset)[Col::ImgDest].left(2), total, destSize);
  return true;
}

void EngineFrontEnd::UpdateImagePage() {
  followEngine();
  double destSize = 0;  // the indicator shows no figure of the destination
  if (!CalcSourceAndDestSize(sourceSize_, destSize)) return;  // busy: the indicator keeps what it shows
  std::optional<QString> active;
  try {
    active = store::readSetting(databases_.statusDb, kImageActive, kNoWait);
  } catch (const DBError&) {
    return;  // the indicator keeps what it shows
  }
  if (marksActive(active.value_or(QString()))) {
    indicator_.patchColour = 0xFF0000;
    indicator_.stripColour = 0x0000FF;
    indicator_.text = QStringLiteral("ACTIVE");
    readStatus();
    showBytes();
    const qint64 written = bytesWritten(status_);
    if (bytesRead(status_) > 0 && sourceSize_ > 0) {
      indicator_.text = QStringLiteral("Active ") + formatPercent(double(written) / sourceSize_ * 100) + QLatin1Char('%');
      const double width = double(written) / sourceSize_ * kStripFullTwips;
      indicator_.stripTwips = width > kStripFullTwips ? 0 : int(width);  // a strip past its end is emptied
    }
  } else {
    indicator_.patchColour = 0x202020;
    indicator_.text = QStringLiteral("INACTIVE");
    indicator_.patchText.clear();
    indicator_.stripText.clear();
    indicator_.stripTwips = 0;
  }
  indicator_.uploadingColour = 0x808080;
  indicator_.uploadingText = QStringLiteral("INACTIVE");
}

// ---------------------------------------------------------------- connect, pause, abort

void EngineFrontEnd::UIConnect() {
  panel_.connectCaption = kDisconnectCaption;
  double total = 0, free = 0;
  hooks_.driveSizes(QStringLiteral("C:"), total, free);
  cUsed_ = total - free;
}

void EngineFrontEnd::UIDisconnect() {
  panel_.connectCaption = kConnectCaption;
  panel_.createEnabled = panel_.pauseEnabled = panel_.abortEnabled = false;
  panel_.pauseCaption = kPauseCaption;
  panel_.status.clear();
  panel_.bytesRead.clear();
  panel_.bytesWritten.clear();
  panel_.complete.clear();
}

void EngineFrontEnd::btnConnectToImageEngine_Click() {
  if (!engine_.available()) return;
  if (!connected()) {
    UIConnect();
    engine_.functions().SShConnect();
  } else {
    UIDisconnect();
    engine_.functions().SShDisconnect();
  }
}

void EngineFrontEnd::btnPauseResumeImageEngine_Click() {
  if (!engine_.available()) return;
  const EngineFunctions& f = engine_.functions();
  if (f.SShIsPaused() != 0) {
    f.SShResume();
    panel_.pauseCaption = kPauseCaption;
  } else {
    f.SShPause();
    panel_.pauseCaption = kResumeCaption;
  }
}

void EngineFrontEnd::btnAbortImage_Click() {
  followEngine();  // an image that has just ended is judged by its own end, not by the abort
  // Asked before the engine is let go: is an image being written, that the abort leaves unmade?
  const bool writing = engine_.available() && engine_.functions().SShIsInProgress() == 0;
  if (engine_.available()) engine_.functions().SShDisconnect();
  // Only the engine is ended; it removes its own unfinished file. Finished images in the image
  // folder (the full image later differentials build on, images waiting for upload) stay.
  if (hooks_.endEngine) hooks_.endEngine();
  if (writing) unlogImage(QStringLiteral("aborted"), false);
  if (!followed_) {  // not started here: "ImageActive" waits only for it to go
    followed_.emplace();
    followed_->shown = true;
  }
  panel_.complete.clear();
  if (connected()) btnConnectToImageEngine_Click();
  settleAfterAbort();
}

// The engine needs a moment to end and tidy up; meanwhile the panel cannot connect again, and
// the window keeps running.
void EngineFrontEnd::settleAfterAbort() {
  panel_.connectEnabled = false;
  auto reopen = [this] {
    panel_.connectEnabled = engine_.available();
    followEngine();
  };
  if (hooks_.after) hooks_.after(kAbortSettleMs, reopen);
  else reopen();
}

bool EngineFrontEnd::markImageInactive() {
  try {
    if (store::readSetting(databases_.statusDb, kImageActive, kNoWait) == QStringLiteral("Yes"))
      store::DBUpdateSetting(databases_.statusDb, kImageActive, QStringLiteral("No"), hooks_.now(), kNoWait);
    return true;
  } catch (const DBError&) {
    return false;
  }
}

// The service reads "ImageActive", and it must not stay "Yes" for an engine that has gone, also
// when the panel is not connected (the abort disconnects it). An image whose engine ended with a
// failure code was not made: its row leaves the log as an aborted image's does. Until the engine
// has gone, each refresh of either imaging tab looks again.
void EngineFrontEnd::followEngine() {
  if (!followed_) return;
  FollowedEngine& e = *followed_;
  if (engine_.available()) {
    const EngineFunctions& f = engine_.functions();
    const auto writing = [&] { return f.SShIsInProgress() == 0; };
    if (writing()) {
      e.shown = true;
      return;
    }
    SShStatusInfo last{};
    f.SShGetStatusInfo(&last);
    if (writing()) {  // it began between the two readings: the record may be its fresh one
      e.shown = true;
      return;
    }
    if (!e.shown) {
      if (sameRecord(last, e.before) && hooks_.now() < e.startedAt.addSecs(kEngineShowsItselfSecs)) return;
      e.shown = true;
    }
    if (last.StatusCode != 0 && e.rowId != 0 && !unlogImage(QStringLiteral("failed"), true)) return;
  }
  if (markImageInactive()) followed_.reset();
}

// The log's readers take the newest row for the last image and the newest "Full" row for the
// base of the next differential, and a row that ended before it started stops every later
// image: so an image that was not made is not marked in its row but taken out of the log. The
// next click then makes the same kind of image again (a first image is planned again), built on
// images that were made. The row is the one written for the engine this front end started; for
// an engine started before this run, the newest row (rows are written only by this program,
// once the engine it starts runs; losing the newest row only makes the next image a full one,
// or a differential on the newest full image on disk).
bool EngineFrontEnd::unlogImage(const QString& which, bool onTick) {
  try {
    const ImageLog images(databases_.filesDb, onTick ? kNoWait : store::RetryPolicy{});
    qint64 id = followed_ ? followed_->rowId : 0;
    if (!followed_) {
      if (const std::optional<ImageOp> last = images.DBSelectLastIOp()) id = last->imageOpId;
    }
    if (id != 0) images.DBDeleteIOp(id);
  } catch (const DBError& e) {
    if (e.isBusy() && onTick) return false;
    warn(QStringLiteral("The %1 image could not be taken out of the image log: ").arg(which) + e.description());
  }
  if (followed_) followed_->rowId = 0;
  return true;
}

void EngineFrontEnd::btnVerifyImageUpload_Click() {
  try {
    store::DBUpdateFiles(databases_.filesDb, kImageUploadFolder, 0);
    store::DeleteHashes(databases_.filesDb, kImageUploadFolder);
  } catch (const DBError& e) {
    warn(QStringLiteral("The image files could not be marked for upload: ") + e.description());
  }
}

void EngineFrontEnd::cbxImageSwitch_Click(bool ticked) {
  try {
    store::DBUpdateSetting(databases_.statusDb, QStringLiteral("ImageSwitch"),
                           ticked ? QStringLiteral("Y") : QStringLiteral("N"), hooks_.now());
  } catch (const DBError& e) {
    warn(QStringLiteral("The setting could not be stored: ") + e.description());
  }
}

// ---------------------------------------------------------------- image operations

void EngineFrontEnd::btnCreateImage_Click() {
  NextImage next;
  try {
    const ImageLog images = log();
    next = nextImage(images.DBSelectLastIOp(), [&] { return images.DBSelectLastFullBU(); });
  } catch (const DBError& e) {
    // Without the log the kind of image is unknown; a full image in its place would be wrong.
    warn(QStringLiteral("The image log could not be read: ") + e.description());
    return;
  }
  switch (next) {
    case NextImage::PlanFirst:
      if (CalcSourceAndDest() == QLatin1String("OK")) CreateImage(kOperationFull);
      break;
    case NextImage::Nothing:
      break;
    case NextImage::Full:
      CreateImage(kOperationFull);
      break;
    case NextImage::Diff:
      CreateImage(kOperationDiff);
      break;
  }
}

QString EngineFrontEnd::CalcSourceAndDest() {
  double systemFiles = 0;
  for (const char* name : {"pagefile.", "hiberfil."}) {
    double size = 0;
    try {
      store::DBSelectFileSize(databases_.filesDb, QString::fromLatin1(name), QStringLiteral("sys"), size);
    } catch (const DBError&) {
      size = 0;  // unknown: counted as used
    }
    systemFiles += size;
  }
  plan_ = planSpace(driveSpaces(imageDriveSlots(), hooks_.driveSizes), systemFiles);
  if (!plan_->enough()) {
    platform::showMessage(QStringLiteral("Not enough space for all images on one drive."), QStringLiteral("Corvane"),
                          MsgButtons::Ok, MsgIcon::Warning);
    return QString();
  }
  DBInsertSourceAndDest(plan_->source, plan_->destination);
  return QStringLiteral("OK");
}

void EngineFrontEnd::DBInsertSourceAndDest(const QString& source, const QString& destination) {
  const QString& db = databases_.statusDb;
  const QDateTime now = hooks_.now();
  store::swallowDbError([&] {
    if (!store::DBSettingExists(db, kImageSource)) {
      for (const QString& name : {kImageSource, kImageDest, kImageActive}) store::DBInsertSetting(db, name, QString(), now);
    }
    store::DBUpdateSetting(db, kImageSource, source, now);
    store::DBUpdateSetting(db, kImageDest, destination, now);
  });
}

void EngineFrontEnd::CreateImage(const QString& operation) {
  const QString& db = databases_.statusDb;
  QString source, destination;
  try {
    source = store::readSetting(db, kImageSource).value_or(QString());
    destination = store::readSetting(db, kImageDest).value_or(QString());
  } catch (const DBError& e) {
    warn(QStringLiteral("The image settings could not be read: ") + e.description());
    return;
  }
  if (source.isEmpty() || destination.isEmpty()) {
    warn(QStringLiteral("No source or destination drive is set for images."));
    return;
  }

  // Without a plan in this run, the destination's free space now against the sources' use now.
  SpacePlan space;
  if (plan_) {
    space = *plan_;
  } else {
    double total = 0;
    hooks_.driveSizes(destination, total, space.maxAvail);
    space.totalUsed = usedBytes(drivesOfSource(source), hooks_.driveSizes);
  }
  if (space.low())
    platform::showMessage(QStringLiteral("Please free up some space on drive ") + destination, QStringLiteral("Corvane"),
                          MsgButtons::Ok, MsgIcon::Warning);

  const QString folder = destination + QStringLiteral("\\CorvaneImage\\");
  const std::optional<QString> nativeFolder = platform::pathMap().toNative(folder);
  if (!nativeFolder || !QDir().mkpath(*nativeFolder)) {
    warn(QStringLiteral("The image folder %1 could not be made.").arg(folder));
    return;
  }

  const QString line = engineCommandLine(commandAppFolder(platform::appPaths().appFolder), operation, source, destination);
  if (!hooks_.launcher) return;
  if (const QString why = hooks_.launcher->problem(line); !why.isEmpty()) {
    warn(why);
    return;
  }

  FollowedEngine started;
  started.startedAt = hooks_.now();
  if (engine_.available()) engine_.functions().SShGetStatusInfo(&started.before);
  store::swallowDbError([&] { store::DBUpdateSetting(db, kImageActive, QStringLiteral("Yes"), hooks_.now()); });
  if (const QString why = hooks_.launcher->start(line); !why.isEmpty()) {
    store::swallowDbError([&] { store::DBUpdateSetting(db, kImageActive, QStringLiteral("No"), hooks_.now()); });
    warn(why);
    return;
  }
  // Logged only once the engine runs: the next click reads this row as the last image made, and
  // a differential after a full image that never started would have nothing to build on.
  const QDateTime start = hooks_.now();
  const QDateTime end = hooks_.now();
  store::swallowDbError([&] { started.rowId = log().DBInsertIOp({0, operation, source, destination, start, end, 0}); });
  // Without the library the engine cannot be followed; "ImageActive" then stays as it is.
  if (engine_.available()) followed_ = started;
  else followed_.reset();
  panel_.createEnabled = false;
  panel_.abortEnabled = true;
  panel_.status = QStringLiteral("Creating Image");
}

}  // namespace corvane::imaging
