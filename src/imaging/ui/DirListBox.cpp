#include "imaging/ui/DirListBox.h"

#include <QDir>
#include <QFileInfo>

#include "platform/PathMap.h"

namespace corvane::imaging {

namespace {
const QString kParent = QStringLiteral("..");
constexpr int kChildRole = Qt::UserRole + 1;
}  // namespace

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
  connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { open(item); });
}

QString DirListBox::normalise(const QString& windowsPath) {
  QString p = windowsPath;
  p.replace('/', '\\');
  while (p.size() > 3 && p.endsWith('\\')) p.chop(1);
  if (p.size() == 2 && p[1] == ':') p += '\\';
  if (p.size() >= 2 && p[1] == ':') p[0] = p[0].toUpper();
  return p;
}

bool DirListBox::setPath(const QString& windowsPath) {
  const QString p = normalise(windowsPath);
  const std::optional<QString> native = platform::pathMap().toNative(p);
  if (!native || !QFileInfo(*native).isDir() || !QFileInfo(*native).isReadable()) return false;
  const bool changed = p != path_;
  path_ = p;
  refresh();
  if (changed) emit pathChanged(path_);
  return true;
}

bool DirListBox::setNearestPath(const QString& windowsPath) {
  QString p = normalise(windowsPath);
  for (;;) {
    if (setPath(p)) return true;
    if (p.size() <= 3) return false;
    const qsizetype cut = p.lastIndexOf('\\');
    if (cut < 2) return false;
    p = cut == 2 ? p.left(3) : p.left(cut);
  }
}

void DirListBox::refresh() {
  clear();
  if (path_.isEmpty()) return;
  addItem(path_);
  if (path_.size() > 3) {
    auto* up = new QListWidgetItem(kParent, this);
    up->setData(kChildRole, kParent);
  }
  const std::optional<QString> native = platform::pathMap().toNative(path_);
  if (!native) return;
  const QStringList children = QDir(*native).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& child : children) {
    if (child.contains('\\')) continue;  // cannot be written in the Windows form
    auto* item = new QListWidgetItem(QStringLiteral("   ") + child, this);
    item->setData(kChildRole, child);
  }
}

void DirListBox::open(QListWidgetItem* item) {
  const QString child = item->data(kChildRole).toString();
  if (child.isEmpty()) return;
  if (child == kParent) {
    const qsizetype cut = path_.lastIndexOf('\\');
    setPath(cut <= 2 ? path_.left(3) : path_.left(cut));
  } else {
    setPath(path_.endsWith('\\') ? path_ + child : path_ + '\\' + child);
  }
}

}  // namespace corvane::imaging
