#pragma once

// The layout cleaner behind the preferences' "Delete Saved Layouts..."
// button: `frmOptionsClean` picks one saved layout, and CleanSavedLayout
// sends it to the trash together with the picture copies that were saved
// with it. A layout's copies lie beside it, named the layout's name, "-",
// the picture's slot and " (LSG).jpg" ("Trip-3 (LSG).jpg" for Trip.lsf,
// "Trip-3 (2) (LSG).jpg" where that name was taken); they are recognised by
// exactly that form, so the copies of "Trip2" or of "Trip-1" never go with
// "Trip", and a name holding wildcard characters stands only for itself. A
// copy that another layout beside it still shows is kept.

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

#include "components/drives.h"
#include "components/file_system.h"
#include "components/result.h"
#include "frame/about_box.h"

class QListWidget;
class QListWidgetItem;

namespace lumaset {

class DriveFolderBrowser;

inline constexpr char kLayoutExtension[] = ".lsf";
inline constexpr char kLayoutCopyEnding[] = " (LSG).jpg";

// Whether `fileName` is one of the picture copies of the layout file
// `layoutName` ("Trip.lsf"). Letter case counts.
bool IsLayoutCopyName(QStringView fileName, QStringView layoutName);

// The names of the copies of `layoutName` in `folder`, in code-point order.
QStringList LayoutCopies(const QString& folder, const QString& layoutName);

// Sends paths to the trash; FileSystemUtility::RecycleFiles in the program.
using Recycler = std::function<Status(const QStringList& paths)>;

// The picture paths that the layout file at `path` shows; the layout
// documents' reader in the program.
using LayoutPicturesReader = std::function<Result<QStringList>(const QString& path)>;

// Sends the copies of `layoutName` in `folder` that no other layout there
// shows, one at a time with `betweenFiles` run after each, and then the
// layout file itself to the trash. Stops at the first failure; what went
// before stays in the trash. Without a way to read the other layouts, every
// copy stays, since any of them may still be shown.
Status DeleteLayout(const QString& folder, const QString& layoutName, const Recycler& recycle,
                    const LayoutPicturesReader& readPictures,
                    const std::function<void()>& betweenFiles = {});

// The layout the user chose: its folder (ending in "/") and file name; an
// empty name when nothing was chosen.
struct LayoutChoice {
  QString folder;
  QString name;
};

// `frmOptionsClean`: the layouts of one folder to choose from.
class LayoutPickerDialog : public QDialog {
  Q_OBJECT

 public:
  // `playSound` plays the OPEN sound (wait false) and the CLOSE sound (wait
  // true); empty for silence.
  LayoutPickerDialog(QList<Drive> drives, const QString& layoutFolder,
                     std::function<void(bool wait)> playSound, QWidget* parent = nullptr);
  ~LayoutPickerDialog() override;

  // False when the layouts folder could not be shown; the picker then
  // closes at once with nothing chosen.
  bool loaded() const { return loaded_; }
  LayoutChoice choice() const { return choice_; }

  DriveFolderBrowser& browser() { return *browser_; }
  QListWidget* fileList() const { return file1_; }

  int exec() override;
  void reject() override;
  void done(int result) override;

 private:
  void FolderChanged(const QString& path);
  void FileClicked(QListWidgetItem* item);

  std::function<void(bool wait)> playSound_;
  DriveFolderBrowser* browser_ = nullptr;
  QListWidget* file1_ = nullptr;
  LayoutChoice choice_;
  bool loaded_ = false;
  bool unloaded_ = false;
};

// What `cmdClean_Click` needs; tests put recorders in place.
struct LayoutCleanerSetup {
  QWidget* owner = nullptr;
  QString appTitle;
  std::function<LayoutChoice()> pick;  // shows the picker and gives its choice
  MessageBoxFunction messageBox = &ShowMessageBox;
  Recycler recycle = &FileSystemUtility::RecycleFiles;
  LayoutPicturesReader readPictures;
  std::function<void()> betweenFiles;  // lets window events run
  bool busyPointer = true;             // the hourglass while deleting
};

enum class CleanOutcome { NothingChosen, Declined, Deleted, Failed };

// `cmdClean_Click`: picks a layout (the sample layout refused, the picker
// then shown again), asks, and deletes it with its copies; a failure is
// reported in a message box.
CleanOutcome CleanSavedLayout(const LayoutCleanerSetup& setup);

}  // namespace lumaset
