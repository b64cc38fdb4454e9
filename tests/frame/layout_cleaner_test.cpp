#include "frame/layout_cleaner.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>

#include "frame/drive_folder_browser.h"
#include "support/accessibility.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

void Touch(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

QStringList FilesIn(const QString& folder) {
  QStringList names = QDir(folder).entryList(QDir::Files);
  names.sort();
  return names;
}

TEST(LayoutCopyName, MatchesOnlyTheLayoutsOwnCopiesLiterally) {
  struct Case {
    const char* file;
    const char* layout;
    bool copy;
  };
  for (const Case& t : {Case{"Trip-3 (LSG).jpg", "Trip.lsf", true},
                        Case{"Trip-12 (LSG).jpg", "Trip.lsf", true},
                        Case{"Trip-0 (LSG).jpg", "Trip.lsf", true},
                        Case{"Trip-3 (2) (LSG).jpg", "Trip.lsf", true},  // first name taken
                        Case{"Trip-3 (x) (LSG).jpg", "Trip.lsf", false},
                        Case{"Trip-3 (2 (LSG).jpg", "Trip.lsf", false},
                        Case{"Trip2-3 (LSG).jpg", "Trip.lsf", false},
                        Case{"Trip23 (LSG).jpg", "Trip.lsf", false},
                        Case{"Trip-1-3 (LSG).jpg", "Trip.lsf", false},
                        Case{"Trip-1-3 (LSG).jpg", "Trip-1.lsf", true},
                        Case{"trip-3 (LSG).jpg", "Trip.lsf", false},
                        Case{"Trip-3 (lsg).jpg", "Trip.lsf", false},
                        Case{"Trip- (LSG).jpg", "Trip.lsf", false},
                        Case{"Trip-x (LSG).jpg", "Trip.lsf", false},
                        Case{"Trip-3 (LSG).jpg", "Trip.LSF", false},
                        Case{"T*-3 (LSG).jpg", "T*.lsf", true},
                        Case{"Tx-3 (LSG).jpg", "T*.lsf", false},
                        Case{"Ta-3 (LSG).jpg", "T[a].lsf", false},
                        Case{"Trip-1 (LSG).jpg", "Tri?.lsf", false},
                        Case{"#-1 (LSG).jpg", "#.lsf", true}}) {
    EXPECT_EQ(IsLayoutCopyName(QString::fromUtf8(t.file), QString::fromUtf8(t.layout)), t.copy)
        << t.file << " of " << t.layout;
  }
}

TEST(DeleteLayout, SendsTheLayoutAndItsCopiesToTheTrashOneAtATime) {
  const QString folder = freshFolder(QStringLiteral("clean")) + QLatin1Char('/');
  for (const char* name : {"Trip.lsf", "Trip-1 (LSG).jpg", "Trip-12 (LSG).jpg", "Trip2-1 (LSG).jpg",
                           "Trip-1.lsf", "Trip-1-3 (LSG).jpg", "Tri?.lsf", "Tri?-4 (LSG).jpg",
                           "Trip-5 (LSG).jpg"}) {
    Touch(folder + QLatin1String(name));
  }
  // Saved from Trip when it was open: it shows Trip's fifth copy. Each layout
  // shows its own copies too, which never keep them.
  Touch(folder + QStringLiteral("Trip2.lsf"));
  const LayoutPicturesReader readPictures = [&](const QString& path) -> Result<QStringList> {
    const QString name = QFileInfo(path).fileName();
    if (name == u"Trip2.lsf") return QStringList{folder + QStringLiteral("Trip-5 (LSG).jpg")};
    if (name == u"Trip.lsf" || name == u"Tri?.lsf") {
      QStringList own;
      for (const QString& copy : LayoutCopies(folder, name)) own << folder + copy;
      return own;
    }
    return QStringList{};
  };
  QList<QStringList> calls;
  int between = 0;
  const Recycler recorder = [&](const QStringList& paths) {
    calls << paths;
    return FileSystemUtility::RecycleFiles(paths);
  };
  ASSERT_TRUE(DeleteLayout(folder, QStringLiteral("Trip.lsf"), recorder, readPictures,
                           [&] { ++between; }));
  EXPECT_EQ(calls, (QList<QStringList>{{folder + QStringLiteral("Trip-1 (LSG).jpg")},
                                       {folder + QStringLiteral("Trip-12 (LSG).jpg")},
                                       {folder + QStringLiteral("Trip.lsf")}}));
  EXPECT_EQ(between, 2);
  ASSERT_TRUE(DeleteLayout(folder, QStringLiteral("Tri?.lsf"), recorder, readPictures));
  EXPECT_EQ(FilesIn(folder),
            (QStringList{QStringLiteral("Trip-1-3 (LSG).jpg"), QStringLiteral("Trip-1.lsf"),
                         QStringLiteral("Trip-5 (LSG).jpg"), QStringLiteral("Trip2-1 (LSG).jpg"),
                         QStringLiteral("Trip2.lsf")}));
  const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files/");
  EXPECT_TRUE(QFile::exists(trash + QStringLiteral("Trip-12 (LSG).jpg")));
}

TEST(DeleteLayout, StopsAtTheFirstFailure) {
  const QString folder = freshFolder(QStringLiteral("clean-fail")) + QLatin1Char('/');
  Touch(folder + QStringLiteral("A.lsf"));
  Touch(folder + QStringLiteral("A-1 (LSG).jpg"));
  int calls = 0;
  const Recycler refuse = [&](const QStringList&) {
    ++calls;
    return Status(Error{QStringLiteral("no trash")});
  };
  const LayoutPicturesReader none = [](const QString&) -> Result<QStringList> { return QStringList{}; };
  const Status status = DeleteLayout(folder, QStringLiteral("A.lsf"), refuse, none);
  EXPECT_EQ(status.error(), u"no trash");
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(DeleteLayout(folder, QStringLiteral("../A.lsf"), {}, none));
}

TEST(DeleteLayout, KeepsEveryCopyWhenTheOtherLayoutsCannotBeRead) {
  const QString folder = freshFolder(QStringLiteral("clean-unread")) + QLatin1Char('/');
  Touch(folder + QStringLiteral("A.lsf"));
  Touch(folder + QStringLiteral("A-1 (LSG).jpg"));
  ASSERT_TRUE(DeleteLayout(folder, QStringLiteral("A.lsf"), &FileSystemUtility::RecycleFiles, {}));
  EXPECT_EQ(FilesIn(folder), QStringList{QStringLiteral("A-1 (LSG).jpg")});
}

struct CleanerRun {
  QList<LayoutChoice> picks;
  QMessageBox::StandardButton answer = QMessageBox::Yes;
  Status recycled;
  QStringList messages;
  QStringList recycledPaths;

  CleanOutcome run() {
    LayoutCleanerSetup setup;
    setup.busyPointer = false;
    setup.pick = [this] { return picks.isEmpty() ? LayoutChoice{} : picks.takeFirst(); };
    setup.messageBox = [this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                              QMessageBox::StandardButtons) {
      messages << text;
      return answer;
    };
    setup.recycle = [this](const QStringList& paths) {
      recycledPaths << paths;
      return recycled;
    };
    return CleanSavedLayout(setup);
  }
};

TEST(CleanSavedLayout, RefusesTheSampleAsksAndReports) {
  const QString sure = QStringLiteral("Are you sure you want to delete this layout file?");
  CleanerRun nothing;
  EXPECT_EQ(nothing.run(), CleanOutcome::NothingChosen);
  EXPECT_TRUE(nothing.messages.isEmpty());

  CleanerRun sample;
  sample.picks = {{QStringLiteral("/l/"), QStringLiteral("Sample.lsf")},
                  {QStringLiteral("/l/"), QStringLiteral("Trip.lsf")}};
  sample.answer = QMessageBox::No;
  EXPECT_EQ(sample.run(), CleanOutcome::Declined);
  const QString refusal = QStringLiteral("'Sample.lsf' is a program file, try another name.");
  EXPECT_EQ(sample.messages, (QStringList{refusal, sure}));
  EXPECT_TRUE(sample.recycledPaths.isEmpty());

  CleanerRun failing;
  failing.picks = {{QStringLiteral("/other/"), QStringLiteral("Trip.lsf")}};
  failing.recycled = Error{QStringLiteral("Trash is full.")};
  EXPECT_EQ(failing.run(), CleanOutcome::Failed);
  EXPECT_EQ(failing.recycledPaths, QStringList{QStringLiteral("/other/Trip.lsf")});
  EXPECT_EQ(failing.messages.last(), u"Error deleting pages: Trash is full.");
}

TEST(LayoutPicker, ChoosesALayoutOfTheFolderShown) {
  const QString folder = freshFolder(QStringLiteral("picker-layouts"));
  QDir().mkpath(folder + QStringLiteral("/older"));
  for (const char* name : {"Trip.lsf", "Upper.LSF", "Trip-1 (LSG).jpg"})
    Touch(folder + QLatin1Char('/') + QLatin1String(name));
  QList<bool> sounds;
  LayoutPickerDialog picker({}, folder + QLatin1Char('/'), [&](bool wait) { sounds << wait; });
  ASSERT_TRUE(picker.loaded());
  ASSERT_EQ(picker.fileList()->count(), 1);
  EXPECT_EQ(test::AccessibilityProblems(&picker), QStringList());
  picker.fileList()->setCurrentRow(0);
  EXPECT_EQ(picker.choice().folder, folder + QLatin1Char('/'));
  EXPECT_EQ(picker.choice().name, u"Trip.lsf");
  picker.browser().setFolderPath(folder + QStringLiteral("/older"));
  EXPECT_TRUE(picker.choice().name.isEmpty());  // never a file the list no longer shows
  picker.accept();
  EXPECT_EQ(sounds, (QList<bool>{false, true}));

  LayoutPickerDialog gone({}, folder + QStringLiteral("/missing/"), {});
  EXPECT_FALSE(gone.loaded());
  EXPECT_EQ(gone.exec(), QDialog::Rejected);
}

}  // namespace
}  // namespace lumaset::test
