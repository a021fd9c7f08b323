// The known file types TypeLst.xml of the Extensions folder.
#include "fuzz/FuzzSupport.h"
#include "selection/ExtensionTypes.h"

using namespace corvane;

CORVANE_FUZZ_TARGET(type_list) {
  const platform::AppPaths& app = fuzz::scratchApp();
  const QString path = platform::joinPath(app.extensionsFolderPath, QStringLiteral("TypeLst.xml"));
  fuzz::writeFile(path, fuzz::bytesOf(data, size));
  for (const QString& type : selection::readTypeList(path)) fuzz::expect(!type.isEmpty(), "an empty type was listed");
  return 0;
}
