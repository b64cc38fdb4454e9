#include "components/theme_icons.h"

#include <QApplication>
#include <QStandardPaths>

namespace lumaset {

namespace {

constexpr const char* kContexts[] = {"actions", "places", "devices", "apps",
                                     "categories", "mimetypes", "legacy", "status"};

QIcon AdwaitaIcon(const char* name) {
  QIcon icon;
  const auto locate = [](const QString& relative) {
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, relative);
  };
  for (const char* context : kContexts) {
    for (const char* size : {"16x16", "22x22", "24x24", "32x32", "48x48"}) {
      const QString file = locate(QStringLiteral("icons/Adwaita/%1/%2/%3.png")
                                      .arg(QLatin1String(size), QLatin1String(context),
                                           QLatin1String(name)));
      if (!file.isEmpty()) icon.addFile(file);
    }
    if (!icon.isNull()) return icon;
    const QString symbolic = locate(QStringLiteral("icons/Adwaita/scalable/%1/%2-symbolic.svg")
                                        .arg(QLatin1String(context), QLatin1String(name)));
    if (!symbolic.isEmpty()) return QIcon(symbolic);
  }
  return icon;
}

}  // namespace

QIcon ThemeIcon(std::initializer_list<const char*> names, QStyle::StandardPixmap fallback) {
  for (const char* name : names) {
    const QIcon icon = QIcon::fromTheme(QLatin1String(name));
    if (!icon.isNull()) return icon;
  }
  for (const char* name : names) {
    const QIcon icon = AdwaitaIcon(name);
    if (!icon.isNull()) return icon;
  }
  return QApplication::style()->standardIcon(fallback);
}

}  // namespace lumaset
