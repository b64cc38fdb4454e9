#pragma once

// The private folder of temporary pictures: every edited or cropped page
// picture is written there as a new JPEG, so a user's own file is never
// changed by editing.

#include <QImage>
#include <QString>

#include "components/result.h"

namespace lumaset {

class Imaging;

// Writes the picture that `imaging` holds as the new JPEG `target` (a file
// already there is never replaced) and gives it back reduced so that its
// longer side is `pageLongSide` pixels, for the page. On failure no file is
// left behind.
Result<QImage> SaveTemporaryPicture(Imaging& imaging, const QString& target, int pageLongSide);

// Deletes the "*.jpg" files of the folder in one pass. A file that cannot be
// deleted is left behind (and counted) rather than retried, so a stubborn
// file never holds up clearing the page or the program's exit.
int DeleteTemporaryPictures(const QString& folder);

// Creates the folder (and its parent) readable by the user alone; says why
// when it cannot.
Status EnsurePrivateFolder(const QString& folder);

// Removes the folder when nothing is left in it.
bool RemoveFolderIfEmpty(const QString& folder);

}  // namespace lumaset
