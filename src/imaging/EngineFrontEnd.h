#pragma once
// The imaging engine's front end without its widgets: the engine panel's state (connect,
// status refresh, pause and resume, abort, upload check), the setup page's activity indicator,
// and starting the next image with its log row. The panel and the indicator draw the views.
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "imaging/EngineLauncher.h"
#include "imaging/EngineLibrary.h"
#include "imaging/ImageLog.h"
#include "imaging/SpacePlan.h"
#include "store/DatabasePaths.h"

namespace corvane::imaging {

inline const QString kConnectCaption = QStringLiteral("Connect to Image Engine");
inline const QString kDisconnectCaption = QStringLiteral("Disconnect from Image Engine");
inline const QString kPauseCaption = QStringLiteral("Pause Image Engine");
inline const QString kResumeCaption = QStringLiteral("Resume Image Engine");
// The folder whose uploads the panel follows and marks for upload again.
inline const QString kImageUploadFolder = QStringLiteral("C:\\CorvaneImage");
inline constexpr int kStripFullTwips = 1020;
inline constexpr int kAbortSettleMs = 2000;

// What the engine panel shows.
struct EnginePanelView {
  QString connectCaption = kConnectCaption;  // also the connection state
  QString pauseCaption = kPauseCaption;
  bool connectEnabled = true;
  bool createEnabled = false, pauseEnabled = false, abortEnabled = false;
  QString status;           // tbxImageEngineStatus
  QString statusLine;       // lblImageEngineStatus
  QString bytesRead, bytesWritten;
  QString complete;         // LblImageComplete
  QString percentVerified;  // lblPercentImageVerified
  int progress = 0;         // ProgressBar1
  QString problem;          // why the engine cannot be used; empty when it can
};

// What the setup page's activity indicator shows; colours as 0xRRGGBB.
struct IndicatorView {
  unsigned patchColour = 0x202020;  // lblLocalActive
  QString patchText;
  unsigned stripColour = 0x202020;  // lblLocalActive2
  QString stripText;
  int stripTwips = 0;
  QString text = QStringLiteral("INACTIVE");  // lblLocalActive3
  unsigned uploadingColour = 0x808080;        // lblUploading
  QString uploadingText = QStringLiteral("INACTIVE");
};

// What the front end needs besides the databases: the clock, the engine launcher, the end of
// the engine's processes and a wait that keeps the window running.
struct EngineHooks {
  std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
  std::shared_ptr<EngineLauncher> launcher;
  std::function<int()> endEngine;
  // Runs `then` after `ms` milliseconds without holding the window meanwhile.
  std::function<void(int ms, std::function<void()> then)> after;
  DriveSizeReader driveSizes = mappedDriveSizes();
};

class EngineFrontEnd {
 public:
  // The paths are read at each use (the window sets them during its load).
  EngineFrontEnd(const store::DatabasePaths& databases, EngineLibrary engine, EngineHooks hooks);

  const EnginePanelView& panel() const { return panel_; }
  const IndicatorView& indicator() const { return indicator_; }
  const EngineLibrary& engine() const { return engine_; }
  bool connected() const { return panel_.connectCaption == kDisconnectCaption; }

  // Refreshes of the status tick. Neither waits on a busy database: the figures shown stay
  // until a later tick reads them.
  void UpdateOldImagePage();
  void UpdateImagePage();
  // Uploaded share of the image folder's files; nothing when none waits. Throws DBError.
  std::optional<int> PercentImageUploaded();
  // Files of the image folder with that Uploaded value. Throws DBError.
  qint64 DBCountImageFiles(int uploaded);
  // Half the used bytes of the current preset's source drives, and the free space of its
  // destination drive. False (sizes unchanged) when the preset cannot be read now.
  bool CalcSourceAndDestSize(double& sourceSize, double& destSize);

  void btnConnectToImageEngine_Click();
  void UIConnect();
  void UIDisconnect();
  void btnPauseResumeImageEngine_Click();
  void btnAbortImage_Click();
  void btnVerifyImageUpload_Click();
  void cbxImageSwitch_Click(bool ticked);

  void btnCreateImage_Click();
  // The space plan; "OK" once stored, else empty (after its message).
  QString CalcSourceAndDest();
  void CreateImage(const QString& operation);
  void DBInsertSourceAndDest(const QString& source, const QString& destination);

  // The plan made in this run, if any.
  const std::optional<SpacePlan>& lastPlan() const { return plan_; }
  // The status record read last.
  const SShStatusInfo& statusInfo() const { return status_; }

 private:
  bool readStatus();
  void showBytes();
  void settleAfterAbort();
  // "ImageActive" from "Yes" to "No"; false when Status.db could not be written now.
  bool markImageInactive();
  // Follows the engine started or aborted here until it has gone, connected or not.
  void followEngine();
  // The row of an image that was not made leaves the log, so that no differential is built on
  // it. On the tick a busy Files.db is not waited for: false, the row stays for the next tick.
  bool unlogImage(const QString& which, bool onTick);
  ImageLog log() const { return ImageLog(databases_.filesDb); }

  const store::DatabasePaths& databases_;
  EngineLibrary engine_;
  EngineHooks hooks_;
  EnginePanelView panel_;
  IndicatorView indicator_;
  SShStatusInfo status_{};
  std::optional<SpacePlan> plan_;
  double cUsed_ = 0;
  double sourceSize_ = 0;
  // The engine this front end started (or aborted), until it has gone.
  struct FollowedEngine {
    qint64 rowId = 0;        // its Images row; 0 when none was written or it has left the log
    SShStatusInfo before{};  // the engine's record as it read just before the start
    QDateTime startedAt;
    bool shown = false;      // seen writing, its record changed, or it had time to take it
  };
  std::optional<FollowedEngine> followed_;
};

}  // namespace corvane::imaging
