#include "selection/SmallImageFilter.h"

#include "store/Database.h"

namespace corvane::selection {

void DBUpdateSmallImageFiles(const QString& filesDb, int filtered) {
  store::withBusyRetry(
      [&] {
        store::DBConnection c;
        c.Open(filesDb);
        c.TransactionSwitch = false;
        c.BeginTransaction();
        c.Execute(QStringLiteral("Update file SET Filtered = ? "
                                 "WHERE lower(extension) = 'jpeg' AND FileSize < ? "
                                 "OR lower(extension) = 'gif' AND FileSize < ? "
                                 "OR lower(extension) = 'bmp' AND FileSize < ? "
                                 "OR lower(extension) = 'jpg' AND FileSize < ?"),
                  {filtered != 0 ? 1 : 0, kSmallImageLimit, kSmallImageLimit, kSmallImageLimit, kSmallImageLimit});
        c.Commit();
        c.TransactionSwitch = true;
      },
      store::RetryPolicy{50, 3000});
}

}  // namespace corvane::selection
