#include "status/UploadHours.h"

#include <QFile>
#include <cmath>
#include <pugixml.hpp>

namespace corvane::status {

QString schInfoPath(const platform::AppPaths& paths) {
  return platform::joinPath(paths.configFolderPath, "SchInfo.xml");
}

QStringList CaptionScheduleHours(int count) {
  QStringList captions;
  int h = 9;
  QString suffix = " AM";
  bool afternoon = false;
  for (int i = 0; i < count; ++i) {
    if (h == 13) h = 1;
    if (h == 12) {
      afternoon = !afternoon;
      suffix = afternoon ? " PM" : " AM";
    }
    captions << QString::number(h) + suffix;
    ++h;
  }
  return captions;
}

short HourLabelToNumber(const QString& caption) {
  static const QStringList kCaptions = CaptionScheduleHours(24);
  static const short kHours[24] = {9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                   21, 22, 23, 24, 1, 2, 3, 4, 5, 6, 7, 8};
  const int i = kCaptions.indexOf(caption);
  return i < 0 ? short(0) : kHours[i];
}

QList<int> scheduledHours(const QString& schInfoFile) {
  QList<int> hours;
  pugi::xml_document doc;
  if (!doc.load_file(QFile::encodeName(schInfoFile).constData()) || !doc.document_element()) return hours;
  for (const pugi::xpath_node& n : doc.select_nodes("SchedulerInfo/UploadTime/TimeSet")) {
    bool ok = false;
    const double value = QString::fromUtf8(n.node().child_value()).trimmed().toDouble(&ok);
    // Whole numbers only; one beyond any hour (or a 32-bit number) is skipped before it is converted.
    if (!ok || !(std::fabs(value) <= 1e9) || value != std::trunc(value)) continue;
    hours << int(value);
  }
  return hours;
}

QList<int> boxesForHours(const QStringList& captions, const QList<int>& hours) {
  QList<int> boxes;
  for (int hour : hours) {
    for (int i = 0; i < captions.size(); ++i) {
      if (HourLabelToNumber(captions[i]) == hour) {
        boxes << i;
        break;
      }
    }
  }
  return boxes;
}

}  // namespace corvane::status
