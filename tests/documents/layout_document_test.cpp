#include "documents/layout_document.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QTimer>
#include <deque>

#include "layout/orientation.h"
#include "support/file_size_limit.h"
#include "support/page_builder.h"
#include "support/slow_reader.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// A main window that remembers what it was asked and answers the dialogs
// from a script.
class FakeDocumentHost : public LayoutDocumentHost {
 public:
  FakeDocumentHost(PageModel& page, QString layouts, QString temp)
      : page_(page), layouts_(std::move(layouts)), temp_(std::move(temp)) {
    Turn(true);
  }

  std::optional<QString> OpenFileName(const FileDialogRequest& request) override { return Answer(request); }
  std::optional<QString> SaveFileName(const FileDialogRequest& request) override { return Answer(request); }
  void ShowError(const QString& text) override { errors << text; }
  void ShowInformation(const QString& text) override { notes << text; }
  void PlaySound(Sound sound, Wait wait) override { sounds.push_back({sound, wait}); }
  void SetBusy(bool on) override { busy.push_back(on); }
  void ProcessEvents() override { ++events; }
  bool TakeAbortRequest() override { return abortAtEvent == events; }
  void ClearPreview() override { ++clears, page_.Clear(); }
  void TurnPage(bool portrait) override { turns.push_back(portrait), Turn(portrait); }
  void SetPicture(int slot, const QImage& reduced) override { pictures[slot] = reduced; }
  void PageChanged() override {}
  void SetEnabled(QStringView name, bool on) override { enabled[name.toString()] = on; }
  void SetPageCaption(const QString& text) override { caption = text; }
  void SetStatusText(const QString& text) override { statuses << text; }
  bool PrinterReady() override { return printer; }
  int PrinterOrientation() override { return page_.geometry().portrait ? kPortrait : kLandscape; }
  float ImageRes() const override { return 20; }
  QString LayoutFolder() const override { return layouts_; }
  QString TempImagesFolder() const override { return temp_; }
  QStringList UndoFiles() const override { return undoFiles; }
  void PauseAfterSave() override { ++pauses; }
  void EndContactSheet() override { ++sheetEnds; }
  int ThumbCount() const override { return thumbs; }

  std::deque<std::optional<QString>> answers;
  std::vector<FileDialogRequest> requests;
  std::vector<std::pair<Sound, Wait>> sounds;
  std::vector<bool> busy, turns;
  QStringList errors, notes, statuses, undoFiles;
  QHash<QString, bool> enabled;
  QHash<int, QImage> pictures;
  QString caption;
  int events = 0, abortAtEvent = -1, clears = 0, pauses = 0, sheetEnds = 0, thumbs = 0;
  bool printer = false;  // the printer is turned with the page

 private:
  std::optional<QString> Answer(const FileDialogRequest& request) {
    requests.push_back(request);
    if (answers.empty()) return std::nullopt;
    std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Turn(bool portrait) {
    page_.geometry().portrait = portrait;
    page_.geometry().previewWidth = portrait ? 8500 : 11000;
    page_.geometry().previewHeight = portrait ? 11000 : 8500;
  }

  PageModel& page_;
  QString layouts_, temp_;
};

class LayoutDocumentTest : public ::testing::Test {
 protected:
  LayoutDocumentTest()
      : root_(test::freshFolder(QStringLiteral("documents")) + QLatin1Char('/')),
        layouts_(root_ + QStringLiteral("Layouts/")),
        temp_(root_ + QStringLiteral("Temp Images/")),
        host_(page_, layouts_, temp_),
        document_(page_, host_) {
    QDir().mkpath(layouts_);
    QDir().mkpath(temp_);
  }

  QString Picture(const QString& path, QColor color = Qt::red) {
    EXPECT_TRUE(test::WritePicture(path, 40, 30, "JPG", color));
    return path;
  }
  // Puts a picture in the next slot as an addition would.
  void Place(const QString& file, float left) {
    test::PlaceFractions(page_, file, {left, 0.25, 0.5, 0.125}, page_.picLast() + 1);
  }
  void SaveAs(const QString& path) {
    host_.answers.push_back(path);
    document_.mnuFileSaveAs_Click();
  }
  void Open(const QString& path) {
    host_.answers.push_back(path);
    document_.mnuFileOpenPage_Click();
  }

  QString root_, layouts_, temp_;
  PageModel page_;
  FakeDocumentHost host_;
  LayoutDocument document_;
};

TEST_F(LayoutDocumentTest, SavesTheSpecifiedLinesWithCopiesInTheLayoutsFolder) {
  const QString lake = Picture(root_ + QStringLiteral("lake.jpg"));
  Place(lake, 0.1f);
  Place(Picture(temp_ + QStringLiteral("1-01.jpg"), Qt::blue), 0.5f);
  page_.edit().labelText = QStringLiteral("Summer");
  // Elsewhere than the layouts folder: the copy still goes there.
  const QString trip = root_ + QStringLiteral("Trip.lsf");
  SaveAs(trip);

  const QString copy = layouts_ + QStringLiteral("Trip-1 (LSG).jpg");
  EXPECT_EQ(test::ReadBytes(trip), "\"Summer\",0\r\n \r\n\"" + lake.toUtf8() +
                             "\"\r\n 0.1           0.25          0.5           0.125 \r\n\"" + copy.toUtf8() +
                             "\"\r\n 0.5           0.25          0.5           0.125 \r\n");
  EXPECT_EQ(test::ReadBytes(copy), test::ReadBytes(temp_ + QStringLiteral("1-01.jpg")));
  EXPECT_EQ(page_.pic(1).file, temp_ + QStringLiteral("1-01.jpg"));
  EXPECT_EQ((QStringList{host_.requests.at(0).fileName, host_.requests.at(0).folder}),
            (QStringList{"Untitled Lumaset", layouts_}));
  EXPECT_TRUE(host_.statuses.contains(QStringLiteral("Layout [Trip.lsf] saved")));
  EXPECT_EQ(host_.statuses.last(), QStringLiteral("Layout contains 2 picture(s)"));
  EXPECT_EQ(host_.caption, QStringLiteral("Layout Preview: Trip.lsf"));
  EXPECT_FALSE(host_.enabled.value(QStringLiteral("mnuFileSave"), true));
  EXPECT_EQ(host_.pauses, 1);
  EXPECT_TRUE(host_.errors.isEmpty()) << host_.errors.join(' ').toStdString();

  // Deleted and re-stacked pictures: written by rank from the back, none for a deleted one.
  Place(lake, 0.75f);
  page_.pic(0).zRank = 2;
  page_.pic(1).zRank = -1;
  page_.pic(2).zRank = 0;
  document_.mnuFileSave_Click();
  const Result<LayoutContent> saved = LayoutFile::ReadFile(trip);
  ASSERT_TRUE(saved);
  ASSERT_EQ(saved->pictures.size(), 2u);
  EXPECT_EQ(saved->pictures[0].leftFrac, 0.75f);
  EXPECT_EQ(saved->pictures[1].leftFrac, 0.1f);
}

TEST_F(LayoutDocumentTest, ALandscapePageSavedOpensAsALandscapePage) {
  const QString trip = layouts_ + QStringLiteral("Turned.lsf");
  for (const bool printer : {false, true}) {
    host_.printer = printer;
    host_.TurnPage(false);
    Place(Picture(root_ + QStringLiteral("wide.jpg")), 0.25f);
    SaveAs(trip);
    ASSERT_EQ(host_.errors, QStringList());
    host_.TurnPage(true);
    page_.Clear();
    host_.turns.clear();
    Open(trip);
    EXPECT_EQ(host_.turns, std::vector<bool>{false}) << (printer ? "with a printer" : "without one");
    EXPECT_FALSE(page_.geometry().portrait);
    EXPECT_EQ(page_.pic(0).leftFrac, 0.25f);
    page_.Clear();
  }
}

TEST_F(LayoutDocumentTest, RefusesTheSampleName) {
  const QString sample = layouts_ + QStringLiteral("Sample.lsf");
  const QString other = root_ + QStringLiteral("Sample.lsf");
  host_.answers = {sample, std::nullopt};
  document_.mnuFileSaveAs_Click();
  EXPECT_EQ(host_.errors, QStringList{QStringLiteral("'Sample.lsf' is a program file, try another name.")});
  EXPECT_EQ(host_.requests.size(), 2u);  // asked again, then cancelled
  EXPECT_FALSE(QFile::exists(sample));
  SaveAs(other);  // the same name elsewhere is a layout like any other
  EXPECT_TRUE(QFile::exists(other));

  // The sample opened and saved again is refused.
  QFile::copy(root_ + QStringLiteral("Sample.lsf"), sample);
  Open(sample);
  document_.mnuFileSave_Click();
  EXPECT_EQ(host_.notes.last(), QStringLiteral("'Sample' is a Lumaset system file, try another name."));
}

TEST_F(LayoutDocumentTest, FailedSaveKeepsTheOldLayout) {
  const QString trip = layouts_ + QStringLiteral("Trip.lsf");
  Place(Picture(root_ + QStringLiteral("a.jpg")), 0);
  SaveAs(trip);
  const QByteArray old = test::ReadBytes(trip);

  struct Case { const char *label, *path, *reason; };
  const Case cases[] = {
      {"Say \"cheese\"", "b.jpg", "label holds a double quote"},
      {"Two\nlines", "b.jpg", "label holds a double quote"},
      {"", "b\"c\".jpg", "b\"c\".jpg\" holds a double quote"},
      {"", "Temp Images/9-01.jpg", "9-01.jpg\" does not exist"},  // the edited picture is gone
  };
  for (const Case& c : cases) {
    page_.edit().layoutTitle = QStringLiteral("Trip.lsf");
    page_.edit().labelText = QString::fromUtf8(c.label);
    Place(root_ + QString::fromUtf8(c.path), 0.5f);
    host_.errors.clear();
    document_.mnuFileSave_Click();
    ASSERT_EQ(host_.errors.size(), 1u) << c.reason;
    EXPECT_TRUE(host_.errors[0].startsWith(QLatin1String("Error saving file: "))) << host_.errors[0].toStdString();
    EXPECT_TRUE(host_.errors[0].contains(QString::fromUtf8(c.reason))) << host_.errors[0].toStdString();
    EXPECT_EQ(test::ReadBytes(trip), old);
    EXPECT_EQ(page_.edit().layoutTitle, QString());
    EXPECT_EQ(host_.caption, QStringLiteral("Layout Preview: (unsaved)"));
    page_.pic(page_.picLast()).zRank = -1;
  }
  EXPECT_EQ(QDir(layouts_).entryList({QStringLiteral("*.jpg")}), QStringList());

  // A disk too full for even a short layout.
  page_.edit().layoutTitle = QStringLiteral("Trip.lsf");
  host_.errors.clear();
  {
    test::FileSizeLimit limit(16);
    document_.mnuFileSave_Click();
  }
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_TRUE(host_.errors[0].endsWith(QLatin1String(": File too large"))) << host_.errors[0].toStdString();
  EXPECT_EQ(test::ReadBytes(trip), old);
  EXPECT_EQ(QDir(layouts_).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(LayoutDocumentTest, CopiesNeverReplaceACopyStillInUse) {
  // Named by the slot the temporary name begins with, however long its counter.
  EXPECT_EQ(LayoutCopyPath(QStringLiteral("/l/"), QStringLiteral("Trip"), QStringLiteral("/t/3-115.jpg")),
            QStringLiteral("/l/Trip-3 (LSG).jpg"));
  EXPECT_EQ(LayoutCopyPath(QStringLiteral("/l/"), QStringLiteral("Trip"), QStringLiteral("/t/12-03.jpg"), 2),
            QStringLiteral("/l/Trip-12 (2) (LSG).jpg"));
  const QString trip = layouts_ + QStringLiteral("Trip.lsf");
  const QString first = layouts_ + QStringLiteral("Trip-1 (LSG).jpg");
  Place(Picture(root_ + QStringLiteral("a.jpg")), 0);
  Place(Picture(temp_ + QStringLiteral("1-01.jpg"), Qt::blue), 0);
  SaveAs(trip);
  ASSERT_TRUE(QFile::exists(first));

  // Saved again, the layout replaces its own copy.
  Picture(temp_ + QStringLiteral("1-02.jpg"), Qt::green);
  page_.pic(1).file = temp_ + QStringLiteral("1-02.jpg");
  document_.mnuFileSave_Click();
  EXPECT_EQ(test::ReadBytes(first), test::ReadBytes(temp_ + QStringLiteral("1-02.jpg")));

  // A copy of the layout under another name uses it too: a new name.
  QFile::copy(trip, layouts_ + QStringLiteral("Trip copy.lsf"));
  page_.edit().layoutTitle = QStringLiteral("Trip.lsf");
  page_.pic(1).file = temp_ + QStringLiteral("1-01.jpg");
  document_.mnuFileSave_Click();
  EXPECT_EQ(test::ReadBytes(first), test::ReadBytes(temp_ + QStringLiteral("1-02.jpg")));
  EXPECT_EQ(LayoutFile::ReadFile(trip)->pictures.at(1).path,
            layouts_ + QStringLiteral("Trip-1 (2) (LSG).jpg"));

  // The page, its undo steps and its clipboard still show copies; a file
  // that the layout does not name is nobody's to replace.
  QFile::remove(layouts_ + QStringLiteral("Trip copy.lsf"));
  Open(trip);
  ASSERT_EQ(page_.picCount(), 2);
  host_.undoFiles = {layouts_ + QStringLiteral("Trip-3 (LSG).jpg")};
  page_.edit().clipFile = layouts_ + QStringLiteral("Trip-4 (LSG).jpg");
  Picture(layouts_ + QStringLiteral("Trip-5 (LSG).jpg"));
  for (const char* temp : {"2-01.jpg", "1-03.jpg", "3-01.jpg", "4-01.jpg", "5-01.jpg"}) {
    Place(Picture(temp_ + QString::fromLatin1(temp), Qt::yellow), 0);
  }
  page_.edit().layoutTitle = QStringLiteral("Trip.lsf");
  document_.mnuFileSave_Click();
  const Result<LayoutContent> saved = LayoutFile::ReadFile(trip);
  ASSERT_TRUE(saved);
  QStringList names;
  for (const LayoutPicture& picture : saved->pictures) names << QFileInfo(picture.path).fileName();
  // Trip-1 (LSG).jpg is named by no layout any more: it is left alone too.
  EXPECT_EQ(names, (QStringList{"a.jpg", "Trip-1 (2) (LSG).jpg", "Trip-2 (LSG).jpg", "Trip-1 (3) (LSG).jpg",
                                "Trip-3 (2) (LSG).jpg", "Trip-4 (2) (LSG).jpg", "Trip-5 (2) (LSG).jpg"}));
}

TEST_F(LayoutDocumentTest, OpensPicturesAtTheirFractionsAndNamesTheMissing) {
  const QString a = Picture(root_ + QStringLiteral("a.jpg"));
  const QString b = Picture(root_ + QStringLiteral("b.jpeg"));
  const QString gone = root_ + QStringLiteral("gone.jpg");
  const LayoutContent content{QStringLiteral("Trip, day 2"),
                              true,
                              {{a, 0.125f, 0.25f, 0.375f, 0.5f}, {gone, 0, 0, 1, 1}, {b, -0.5f, 0.5f, 1, 1}}};
  const QString trip = layouts_ + QStringLiteral("Trip.lsf");
  ASSERT_TRUE(LayoutFile::SaveFile(trip, *LayoutFile::Write(content)));
  Open(trip);

  EXPECT_EQ((QStringList{host_.requests.at(0).fileName, host_.requests.at(0).filter}),
            (QStringList{"Sample.lsf", "Lumaset page (*.lsf)"}));
  EXPECT_EQ(host_.turns, std::vector<bool>{false});
  EXPECT_EQ(page_.edit().labelText, content.label);
  EXPECT_EQ(page_.edit().layoutTitle, QStringLiteral("Trip.lsf"));
  EXPECT_EQ(std::tuple(page_.picLast(), page_.picCount(), page_.pic(1).zRank, page_.pic(2).zRank),
            std::tuple(2, 2, -1, 2));
  EXPECT_EQ(page_.box(0), (PicBox{1375, 2125, 4125, 4250, true}));
  EXPECT_EQ(page_.box(2), (PicBox{-5500, 4250, 11000, 8500, true}));
  EXPECT_FALSE(page_.box(1).visible);
  EXPECT_EQ(host_.pictures.value(0).size(), QSize(20, 15));
  EXPECT_EQ(host_.notes,
            QStringList{"These pictures of the layout were not found and are left off the page:\n" + gone});
  EXPECT_EQ(std::count(host_.sounds.begin(), host_.sounds.end(), std::pair{Sound::Add, Wait::Yes}), 2);
  EXPECT_EQ(host_.busy, (std::vector<bool>{true, false}));
  EXPECT_EQ(host_.statuses.first(), QStringLiteral("Opening layout page"));
  EXPECT_EQ(host_.statuses.last(), QStringLiteral("Layout contains 2 picture(s)"));
  EXPECT_EQ(host_.caption, QStringLiteral("Layout Preview: Trip.lsf"));
  EXPECT_FALSE(host_.enabled.value(QStringLiteral("mnuFileSave"), true));
  EXPECT_TRUE(host_.enabled.value(QStringLiteral("mnuFileSaveAs")));
  EXPECT_TRUE(host_.enabled.value(QStringLiteral("mnuFilePrint"))) << "printing needs no printer";

  // Proposed next time under its title; Esc stops after the current picture.
  host_.abortAtEvent = host_.events + 3;  // after the clearing's event and the first picture's
  Open(trip);
  EXPECT_EQ(host_.requests.at(1).fileName, QStringLiteral("Trip.lsf"));
  EXPECT_TRUE(page_.box(0).visible);
  EXPECT_TRUE(!page_.box(2).visible);
  EXPECT_EQ(page_.picCount(), 3);
  // The unloaded picture keeps its place, so turning the page keeps its fractions.
  ASSERT_TRUE(TurnPictures(page_));
  EXPECT_EQ(std::pair(page_.pic(2).widthFrac, page_.pic(2).heightFrac), std::pair(11000.0f / 8500, 8500.0f / 11000));
}

// The pictures are read away from the window: its timers go on while a
// slow picture is read, and Esc stops the reading; the pictures not shown
// keep their records.
TEST_F(LayoutDocumentTest, ASlowPictureLeavesTheWindowRunningAndEscStopsIt) {
  const QString a = Picture(root_ + QStringLiteral("a.jpg"));
  const QString slowLayout = layouts_ + QStringLiteral("Slow.lsf");
  const LayoutContent content{{}, false, {{a, 0, 0, 0.5f, 0.5f}, {a, 0.5f, 0.5f, 0.5f, 0.5f}}};
  ASSERT_TRUE(LayoutFile::SaveFile(slowLayout, *LayoutFile::Write(content)));
  const test::SlowReader slow;
  document_.setReader(slow.reader());
  bool ticked = false;
  QTimer escape;
  QObject::connect(&escape, &QTimer::timeout, [&] {
    ticked = true;
    if (slow.reading()) host_.abortAtEvent = host_.events;
  });
  escape.start(5);
  Open(slowLayout);
  escape.stop();
  EXPECT_TRUE(ticked);
  EXPECT_TRUE(test::RunUntil([&] { return slow.returned(); })) << "the stopped read's end";
  EXPECT_TRUE(slow.stopped());
  EXPECT_TRUE(host_.errors.isEmpty());
  EXPECT_TRUE(host_.pictures.isEmpty());
  EXPECT_EQ(std::tuple(page_.picLast(), page_.box(0).visible, page_.pic(1).file), std::tuple(1, false, a));
}

TEST_F(LayoutDocumentTest, AFileThatCannotBeOpenedLeavesThePageAsItWas) {
  Place(Picture(root_ + QStringLiteral("a.jpg")), 0.5f);
  page_.edit().layoutTitle = QStringLiteral("Old.lsf");
  const QString text = root_ + QStringLiteral("notes.jpg");
  ASSERT_TRUE(test::WriteText(text, "not a picture"));
  QByteArray tooMany = "\"\",0\r\n \r\n";
  for (int i = 0; i < 202; ++i) tooMany += "\"/none.jpg\"\r\n 0 0 0 0\r\n";
  const QByteArray files[] = {"", "\"Summer\",0\r\n", tooMany,
                              "\"\",0\r\n \r\n\"" + text.toUtf8() + "\"\r\n 0 0 1 1\r\n"};
  const QString bad = layouts_ + QStringLiteral("Bad.lsf");
  for (const QByteArray& bytes : files) {
    ASSERT_TRUE(LayoutFile::SaveFile(bad, bytes));
    host_.errors.clear();
    Open(bad);
    ASSERT_EQ(host_.errors.size(), 1u) << bytes.toStdString();
    EXPECT_TRUE(host_.errors[0].startsWith(QLatin1String("Error reading file: ")));
    EXPECT_EQ(std::pair(host_.clears, page_.picCount()), std::pair(0, 1));
    EXPECT_EQ(page_.edit().layoutTitle, QStringLiteral("Old.lsf"));
  }
  // Cancelled: nothing changes but the commands and captions.
  document_.mnuFileOpenPage_Click();
  EXPECT_EQ(host_.sounds.back(), (std::pair{Sound::Close, Wait::No}));
  EXPECT_EQ(page_.pic(0).leftFrac, 0.5f);
  EXPECT_EQ(host_.caption, QStringLiteral("Layout Preview: Old.lsf"));
}

TEST_F(LayoutDocumentTest, NewPageEndsAContactSheet) {
  Place(Picture(root_ + QStringLiteral("a.jpg")), 0);
  document_.mnuFileNew_Click();
  EXPECT_EQ(host_.sounds, (std::vector<std::pair<Sound, Wait>>{{Sound::Add, Wait::No}}));
  EXPECT_EQ(std::pair(host_.sheetEnds, page_.picLast()), std::pair(1, -1));
  EXPECT_FALSE(host_.enabled.contains(QStringLiteral("mnuViewThumb")));
  host_.thumbs = 3;
  document_.mnuFileNew_Click();
  EXPECT_TRUE(host_.enabled.value(QStringLiteral("mnuViewThumb")));
  EXPECT_TRUE(host_.enabled.value(QStringLiteral("Thumbnail")));
}

}  // namespace
}  // namespace lumaset
