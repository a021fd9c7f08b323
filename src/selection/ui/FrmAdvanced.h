#pragma once
// The advanced settings window: four settings of the background service (scan interval, batch
// sizes of small and large files, the order files are worked through). One instance, shown
// modeless; closing or cancelling hides it, and every showing and every activation reloads the
// stored values (what was typed and not saved is replaced). A read that fails leaves the boxes
// as they are, and OK waits until the stored values have been read once: boxes emptied by a
// failed read would otherwise be saved over the service's values.
#include <QDateTime>
#include <QDialog>
#include <QString>

#include "store/Database.h"

class QLineEdit;
class QPushButton;

namespace corvane::shell {
class MainWindowServices;
}

namespace corvane::selection {

struct AdvancedSettings {
  QString ScanInterval;
  QString SFBatchSize;
  QString LFBatchSize;
  QString SortOrder;
};

// Exactly "Asc" or "Desc" (case and spaces count).
bool isValidSortOrder(const QString& sortOrder);

// Reads "ScanInterval", "SFBatchSize", "LFBatchSize", "SortOrder" in that order (a missing row
// reads as ""); settingDate is the window's shared date output of its settings reads. Throws
// store::DBError when Status.db cannot be read (while busy, after the policy's waits).
AdvancedSettings loadAdvancedSettings(const QString& statusDb, QDateTime& settingDate,
                                      store::RetryPolicy policy = {});

// Saves "SortOrder", "ScanInterval", "SFBatchSize", "LFBatchSize" as typed, dated `when`, in one
// transaction: either all four are stored or none. A missing row is added. Throws
// store::DBError when the database fails (after a bounded retry while it is busy).
void saveAdvancedSettings(const QString& statusDb, const AdvancedSettings& values, const QDateTime& when);

class FrmAdvanced : public QDialog {
  Q_OBJECT
 public:
  explicit FrmAdvanced(shell::MainWindowServices& services, QWidget* parent = nullptr);

  // The menu's "Advanced Settings": shows the window modeless (or brings it to the front) and
  // reloads the stored values.
  void showModeless();

  // Reloads the boxes; false when the settings could not be read (the boxes keep what they show).
  bool GetSettings(store::RetryPolicy policy = {});
  void btnAdvancedOk_Click();
  void btnAdvancedCancel_Click();

  QLineEdit* tbxScanInterval() const { return tbxScanInterval_; }
  QLineEdit* tbxSFBatchSize() const { return tbxSFBatchSize_; }
  QLineEdit* tbxLFBatchSize() const { return tbxLFBatchSize_; }
  QLineEdit* tbxSortOrder() const { return tbxSortOrder_; }

 protected:
  void showEvent(QShowEvent* event) override;
  // Every activation (the window brought to the front again) reloads the stored values.
  bool event(QEvent* event) override;

 private:
  shell::MainWindowServices& services_;
  QLineEdit* tbxScanInterval_;
  QLineEdit* tbxSFBatchSize_;
  QLineEdit* tbxLFBatchSize_;
  QLineEdit* tbxSortOrder_;
  QPushButton* btnAdvancedOk_;
  QPushButton* btnAdvancedCancel_;
  bool loaded_ = false;  // the stored values have been read into the boxes
};

}  // namespace corvane::selection
