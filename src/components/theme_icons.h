#pragma once

// Icons from the desktop's icon theme, with the Adwaita pictures that Debian
// ships as the fallback where Qt knows no theme (no desktop session), and the
// style's own pictures last.

#include <QIcon>
#include <QStyle>

#include <initializer_list>

namespace lumaset {

// The first of `names` (freedesktop icon names) that can be found.
QIcon ThemeIcon(std::initializer_list<const char*> names, QStyle::StandardPixmap fallback);

}  // namespace lumaset
