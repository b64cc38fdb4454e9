#pragma once

// The program's folders: where it finds its own data, and the working
// folders that start-up sets up from the settings.

#include <QString>

#include "components/result.h"

namespace lumaset {

class FileSystemUtility;
class SettingsStore;

// The sample picture that ships with the program, and the sample layout
// that start-up writes beside its copy in the layouts folder.
inline constexpr char kSampleLayoutName[] = "Sample.lsf";
inline constexpr char kSamplePictureName[] = "Sample.jpg";

// Where the program finds its own read-only data and keeps the user's.
struct ProgramFolders {
  QString data;           // Sample.jpg, the help book; read-only once installed; ends with "/"
  QString userData;       // ~/.local/share/Lumaset/
  QString tempImages;     // the private folder of temporary pictures, ends with "/"
  QString emailCopies;    // the private folder of e-mail's reduced copies, ends with "/"
};

// The working folders set up at start-up, each ending with "/".
struct WorkingFolders {
  QString tempImages;
  QString defaultPictures;
  QString current;
  QString copyMove;
  QString scan;
  QString downloadTarget;
  QString midi;
  QString layouts;
};


// Sets up every working folder from the settings, falling back to the
// default pictures folder where a stored folder no longer exists (unless
// that is missing too), and
// creates the layouts folder (writing "DataPath") when none is stored.
// `documentsFolder` is the user's documents folder ending in "/", or "".
WorkingFolders SetUpWorkingFolders(SettingsStore& settings, const ProgramFolders& program,
                                   const QString& documentsFolder);


// Ends a folder path with "/".
QString WithTrailingSlash(const QString& folder);

}  // namespace lumaset
