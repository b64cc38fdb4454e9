#include "components/theme_icons.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QStandardPaths>

namespace lumaset {
namespace {

// Without a desktop theme the icons come from Adwaita's pictures, each size
// read when it is drawn: the size that fills the request, shrunk to fit it.
TEST(ThemeIconsTest, AdwaitaPicturesServeEachSizeAndStateWhereNoThemeIs) {
  if (QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("icons/Adwaita/24x24/legacy/document-open.png"))
          .isEmpty()) {
    GTEST_SKIP() << "no Adwaita icons";
  }
  const QIcon icon = ThemeIcon({"no-such-icon-anywhere", "document-open"}, QStyle::SP_DialogOpenButton);
  ASSERT_FALSE(icon.isNull());
  for (const int side : {16, 20, 24, 40}) {
    SCOPED_TRACE(side);
    const QPixmap drawn = icon.pixmap(QSize(side, side));
    EXPECT_EQ(drawn.size(), QSize(side, side));
    EXPECT_EQ(icon.actualSize(QSize(side, side)), drawn.size());
  }
  const QImage normal = icon.pixmap(24).toImage().convertToFormat(QImage::Format_ARGB32);
  int drawnPixels = 0;
  for (int y = 0; y < normal.height(); ++y) {
    for (int x = 0; x < normal.width(); ++x) drawnPixels += qAlpha(normal.pixel(x, y)) > 0 ? 1 : 0;
  }
  EXPECT_GT(drawnPixels, 24 * 24 / 4);
  EXPECT_NE(icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage(), normal);

  // A name found nowhere: the style's own picture.
  EXPECT_FALSE(ThemeIcon({"no-such-icon-anywhere"}, QStyle::SP_DialogOpenButton).isNull());

  // A size the theme draws is its own picture, not the next larger one shrunk.
  const auto adwaita = [](const char* name) {
    return QImage(QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                         QStringLiteral("icons/Adwaita/24x24/actions/%1-symbolic.symbolic.png").arg(QLatin1String(name))))
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  };
  EXPECT_EQ(icon.pixmap(24).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), adwaita("document-open"));
  // Icons that share a fallback are each their own.
  const QIcon save = ThemeIcon({"document-save"}, QStyle::SP_DialogOpenButton);
  EXPECT_EQ(save.pixmap(24).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), adwaita("document-save"));

  // Asked again, the same icon: its files are not looked for, nor its pictures read, twice.
  EXPECT_EQ(ThemeIcon({"no-such-icon-anywhere", "document-open"}, QStyle::SP_DialogOpenButton).cacheKey(),
            icon.cacheKey());
}

}  // namespace
}  // namespace lumaset
