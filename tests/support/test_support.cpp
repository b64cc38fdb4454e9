#include "support/test_support.h"

#include <QDir>
#include <QUuid>

namespace lumaset::test {

QString homeFolder() { return QDir::homePath(); }

QString freshFolder(const QString& name) {
  const QString path = QDir(homeFolder()).filePath(
      QStringLiteral("work/%1-%2").arg(name, QUuid::createUuid().toString(QUuid::Id128)));
  QDir().mkpath(path);
  return path;
}

}  // namespace lumaset::test
