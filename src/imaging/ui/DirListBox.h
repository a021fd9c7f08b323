#pragma once
// A folder list in the manner of a directory list box: it shows one folder (a Windows-form path,
// "C:\" or "C:\images") with its parent entry and its sub-folders; a double click opens the
// folder clicked. Paths reach the file system through the path map.
#include <QListWidget>
#include <QString>

namespace corvane::imaging {

class DirListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit DirListBox(QWidget* parent = nullptr);

  const QString& path() const { return path_; }
  // Shows the folder; false (and nothing changed) when it does not exist or cannot be read.
  // pathChanged is emitted when the path differs from the one shown.
  bool setPath(const QString& windowsPath);
  // Shows the folder or, where it is missing, its nearest existing parent; false when not even
  // the drive can be read.
  bool setNearestPath(const QString& windowsPath);
  void refresh();

  // The folder path without a trailing backslash, except for a drive's root ("C:\").
  static QString normalise(const QString& windowsPath);

 signals:
  void pathChanged(const QString& path);

 private:
  void open(QListWidgetItem* item);
  QString path_;
};

}  // namespace corvane::imaging
