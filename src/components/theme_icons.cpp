#include "components/theme_icons.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QStandardPaths>
#include <QStyleOption>

#include <algorithm>
#include <utility>

#include <unistd.h>

namespace lumaset {

namespace {

constexpr const char* kContexts[] = {"actions", "places", "devices", "apps",
                                     "categories", "mimetypes", "legacy", "status"};

// The Adwaita folders of the data folders, in their order, looked up once.
const QStringList& AdwaitaFolders() {
  static const QStringList folders = QStandardPaths::locateAll(
      QStandardPaths::GenericDataLocation, QStringLiteral("icons/Adwaita"), QStandardPaths::LocateDirectory);
  return folders;
}

// The first of the data folders' copies of `relative` (in an Adwaita folder).
// Asked a few hundred times as the window is made, so asked of the system
// directly.
QString AdwaitaFile(const QString& relative) {
  for (const QString& folder : AdwaitaFolders()) {
    const QString file = folder + QLatin1Char('/') + relative;
    if (::access(QFile::encodeName(file).constData(), R_OK) == 0) return file;
  }
  return {};
}

// One icon's square pictures in several sizes, each read when first drawn.
class SizedFilesEngine : public QIconEngine {
 public:
  explicit SizedFilesEngine(QList<std::pair<int, QString>> files) : files_(std::move(files)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap picture = pixmap(rect.size() * ratio, mode, state);
    if (!picture.isNull()) painter->drawPixmap(rect, picture);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    const int side = bestSide(size);
    QPixmap& picture = pictures_[side];
    // Read straight from its file: Qt's shared cache of pictures would first
    // ask the file system for the file's size and time, per picture.
    if (picture.isNull()) picture = QPixmap::fromImage(QImageReader(fileOf(side), "png").read());
    QPixmap shown = picture;
    const int wanted = std::min(size.width(), size.height());
    if (!shown.isNull() && side > wanted) shown = shown.scaled(wanted, wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (shown.isNull() || mode == QIcon::Normal || mode == QIcon::Active || !QApplication::style()) return shown;
    QStyleOption option;
    option.palette = QApplication::palette();
    return QApplication::style()->generatedIconPixmap(mode, shown, &option);
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min({bestSide(size), size.width(), size.height()});
    return {side, side};
  }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (const auto& [side, file] : files_) sizes.append(QSize(side, side));
    return sizes;
  }

  QIconEngine* clone() const override { return new SizedFilesEngine(files_); }
  QString key() const override { return QStringLiteral("lumaset-sized-files"); }
  bool isNull() override { return files_.isEmpty(); }

 private:
  // The smallest picture that fills `size`, else the largest.
  int bestSide(const QSize& size) const {
    const int wanted = std::max(size.width(), size.height());
    for (const auto& [side, file] : files_) {
      if (side >= wanted) return side;
    }
    return files_.isEmpty() ? 0 : files_.back().first;
  }
  QString fileOf(int side) const {
    for (const auto& [candidate, file] : files_) {
      if (candidate == side) return file;
    }
    return {};
  }

  QList<std::pair<int, QString>> files_;  // by growing side
  QHash<int, QPixmap> pictures_;
};

// The pictures of `file` (a name within a size's context folder) found in
// the sizes given, by growing side.
QList<std::pair<int, QString>> SizedFiles(const char* context, const QString& file, std::initializer_list<int> sides) {
  QList<std::pair<int, QString>> files;
  for (const int side : sides) {
    const QString path = AdwaitaFile(QStringLiteral("%1x%1/%2/").arg(side).arg(QLatin1String(context)) + file);
    if (!path.isEmpty()) files.append({side, path});
  }
  return files;
}

QIcon AdwaitaIcon(const char* name) {
  const QString colour = QLatin1String(name) + QStringLiteral(".png");
  // Adwaita draws its plain icons in pictures of their own too: read as
  // such, they need neither the SVG engine nor drawing at start-up.
  const QString plain = QLatin1String(name) + QStringLiteral("-symbolic.symbolic.png");
  for (const char* context : kContexts) {
    QList<std::pair<int, QString>> files = SizedFiles(context, colour, {16, 22, 24, 32, 48});
    if (files.isEmpty()) files = SizedFiles(context, plain, {16, 24, 32, 48, 64, 96});
    if (!files.isEmpty()) return QIcon(new SizedFilesEngine(std::move(files)));
    const QString symbolic =
        AdwaitaFile(QStringLiteral("scalable/%1/%2-symbolic.svg").arg(QLatin1String(context), QLatin1String(name)));
    if (!symbolic.isEmpty()) return QIcon(symbolic);
  }
  return {};
}

QIcon FindIcon(std::initializer_list<const char*> names, QStyle::StandardPixmap fallback, const QString& theme) {
  // hicolor, which Qt falls back to without a desktop theme, holds none of these.
  const bool desktopTheme = !theme.isEmpty() && theme != u"hicolor";
  for (const char* name : names) {
    const QIcon icon = desktopTheme ? QIcon::fromTheme(QLatin1String(name)) : QIcon();
    if (!icon.isNull()) return icon;
  }
  for (const char* name : names) {
    const QIcon icon = AdwaitaIcon(name);
    if (!icon.isNull()) return icon;
  }
  return QApplication::style()->standardIcon(fallback);
}

}  // namespace

QIcon ThemeIcon(std::initializer_list<const char*> names, QStyle::StandardPixmap fallback) {
  // Each icon is looked up once a theme: the tree's many folders share one
  // icon, its files found and its pictures read once.
  static auto* found = new QHash<QString, QIcon>;  // kept to the end of the run
  const QString theme = QIcon::themeName();
  QString key = theme + QLatin1Char('|') + QString::number(fallback);
  for (const char* name : names) key += QLatin1Char('|') + QLatin1String(name);
  if (const auto known = found->constFind(key); known != found->cend()) return *known;
  const QIcon icon = FindIcon(names, fallback, theme);
  found->insert(key, icon);
  return icon;
}

}  // namespace lumaset
