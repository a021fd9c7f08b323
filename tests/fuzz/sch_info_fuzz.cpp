// The service's upload hours SchInfo.xml: the scheduled hours ticked on the scheduler page and
// the time of the last upload that the log search starts from.
#include "fuzz/FuzzSupport.h"
#include "status/LogSearch.h"
#include "status/UploadHours.h"

using namespace corvane;

CORVANE_FUZZ_TARGET(sch_info) {
  const platform::AppPaths& app = fuzz::scratchApp();
  const QString path = status::schInfoPath(app);
  fuzz::writeFile(path, fuzz::bytesOf(data, size));

  static const QStringList captions = status::CaptionScheduleHours(24);
  const QList<int> hours = status::scheduledHours(path);
  for (int box : status::boxesForHours(captions, hours)) fuzz::expect(box >= 0 && box < 24, "an hour ticks no box");
  const handoff::ServiceDateTime last = status::GetLastUploadTime(path);
  fuzz::expect(QDate::isValid(last.year, last.month, last.day) && QTime::isValid(last.hour, last.minute, last.second),
               "the last upload time is no time");
  return 0;
}
