#pragma once
// frmSelectKeyFile: the user picks an exported key file (drive, folder, file) and loads it into
// the Keys table.
#include <QDialog>
#include <QString>
#include <functional>

class QComboBox;
class QLineEdit;
class QListWidget;

namespace corvane::keys::ui {

class FrmSelectKeyFile : public QDialog {
  Q_OBJECT
 public:
  // Starts in the Config folder of the application folder (or the folder itself).
  explicit FrmSelectKeyFile(QWidget* parent = nullptr, QString statusDb = QString());

  // Runs after a key was stored (the download list refreshes itself through it).
  void setOnKeyLoaded(std::function<void()> f) { onKeyLoaded_ = std::move(f); }

  QString currentFolder() const { return folder_; }
  void setFolder(const QString& nativeFolder);  // refreshes Dir1 and File1

  void Drive1_Change();
  void btnLoadKey_Click();
  void btnSelectKeyCancel_Click();

 private:
  void refreshLists();
  QString statusDb_;
  QString folder_;
  std::function<void()> onKeyLoaded_;
  QComboBox* Drive1_;
  QListWidget* Dir1_;
  QListWidget* File1_;
  QLineEdit* Text1_;
};

}  // namespace corvane::keys::ui
