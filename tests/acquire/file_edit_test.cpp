#include <QImageReader>
#include <QTimer>
#include <QtEndian>

#include <sys/stat.h>

#include "components/exif_reader.h"
#include "acquire/rotate_file.h"
#include "file_command_fixture.h"
#include "support/file_size_limit.h"
#include "support/waiting_editor.h"

namespace lumaset::test {
namespace {

// `jpeg` with an EXIF block naming the camera "TestCam" and the given orientation.
QByteArray WithExif(const QByteArray& jpeg, quint16 orientation) {
  QByteArray tiff("II*\0\x08\0\0\0", 8);
  const auto u16 = [&](quint16 v) { tiff.append(reinterpret_cast<const char*>(&v), 2); };  // little-endian host
  const auto u32 = [&](quint32 v) { tiff.append(reinterpret_cast<const char*>(&v), 4); };
  u16(2);
  u16(0x010f), u16(2), u32(8), u32(8 + 2 + 2 * 12 + 4);  // Make
  u16(0x0112), u16(3), u32(1), u16(orientation), u16(0);  // Orientation
  u32(0);
  tiff.append("TestCam\0", 8);
  const QByteArray block = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray segment("\xff\xe1", 2);
  segment.append(static_cast<char>((block.size() + 2) >> 8)).append(static_cast<char>((block.size() + 2) & 0xff));
  return jpeg.left(2) + segment + block + jpeg.mid(2);
}

TEST_F(FileCommandsTest, RenameStaysInTheFilesFolderAndNeverReplaces) {
  const QString photos = FolderWith("rename", {"img1.jpg", "img2.jpg", "photo.jpeg"});
  Open(photos);
  folders_.current = freshFolder("elsewhere") + "/";  // the rename must not go there
  struct Case { const char* answer; const char* result; };  // "" result: refused
  const Case cases[] = {{"beach", "beach.jpg"}, {"img2.jpg", ""}, {"../up", ""}, {".", ""}, {"..", ""},
                        {"sea.JPG", "sea.JPG.jpg"}, {"sand.jpg", "sand.jpg"}};
  for (const Case& c : cases) {
    const QString before = table().ThumbFiles(0);
    Select(0);
    host_.texts = {QString::fromUtf8(c.answer)};
    commands_.mnuFileOptionsRename_Click();
    const QString expected = *c.result ? photos + c.result : before;
    EXPECT_EQ(table().ThumbFiles(0), expected) << c.answer;
    EXPECT_TRUE(QFileInfo::exists(expected)) << c.answer;
    EXPECT_EQ(host_.errors.size(), *c.result ? 0 : 1) << c.answer;
    if (!*c.result) {
      EXPECT_TRUE(host_.errors.value(0).startsWith("Error: File <" + before + "> not renamed!\n"));
    }
    host_.errors.clear();
  }
  Select(2);
  host_.texts = {QString(), QStringLiteral("holiday")};
  commands_.mnuFileOptionsRename_Click();  // an empty answer does nothing
  commands_.mnuFileOptionsRename_Click();
  EXPECT_EQ(Names(photos), (QStringList{"holiday.jpeg", "img2.jpg", "sand.jpg"}));
  EXPECT_EQ(Names(folders_.current), QStringList());
  EXPECT_EQ(host_.defaults.first(), "img1.jpg");
  EXPECT_EQ(host_.prompts.first(),
            "Enter new file name:\n\n(The file extension will be automatically added\nif none is specified)");
  EXPECT_EQ(host_.promptSounds, 9);
}

TEST_F(FileCommandsTest, RotateRewritesInTheSuffixesFormat) {
  const QString photos = freshFolder("rotate") + "/";
  QImage marked(64, 48, QImage::Format_RGB32);
  marked.fill(Qt::white);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) marked.setPixel(x, y, qRgb(255, 0, 0));
  ASSERT_TRUE(marked.save(photos + "marked.png"));
  ASSERT_TRUE(WritePicture(photos + "camera.jpg", 64, 48));
  ASSERT_TRUE(WriteText(photos + "camera.jpg", WithExif(ReadBytes(photos + "camera.jpg"), 6)));
  for (const char* name : {"card.TIFF", "c.jpeg", "p.webp", "x.jpg"})
    ASSERT_TRUE(WritePicture(photos + name, 64, 48, QByteArray(name).endsWith("TIFF") ? "tiff" : nullptr));
  for (const char* name : {"old.gif", "x.gif"}) ASSERT_TRUE(WriteText(photos + name, TinyGif()));
  Open(photos);
  const QByteArray keptGif = ReadBytes(photos + "x.gif");
  const auto rotate = [&](const char* name) {
    const int index = IndexOf(photos + name);
    ASSERT_GE(index, 0) << name;
    Select(index);
    commands_.mnuFileOptionsRotate_Click();
  };
  for (const char* name : {"marked.png", "camera.jpg", "card.TIFF", "c.jpeg", "p.webp", "old.gif", "x.gif"})
    rotate(name);

  const QImage turned(photos + "marked.png");
  EXPECT_EQ(turned.size(), QSize(48, 64));
  EXPECT_EQ(turned.pixel(44, 4), qRgb(255, 0, 0));  // top left went to the top right
  const std::pair<const char*, const char*> formats[] = {
      {"card.TIFF", "tiff"}, {"c.jpeg", "jpeg"}, {"p.webp", "webp"}, {"old.jpg", "jpeg"}};
  for (const auto& [name, format] : formats) {
    EXPECT_EQ(QImageReader::imageFormat(photos + name), format) << name;
    if (QByteArray(name) != "old.jpg") {
      EXPECT_EQ(QImageReader(photos + name).size(), QSize(48, 64)) << name;
    }
  }
  EXPECT_TRUE(QFileInfo::exists(Trash() + "old.gif"));
  EXPECT_GE(IndexOf(photos + "old.jpg"), 0);
  const int jpeg = IndexOf(photos + "c.jpeg");
  EXPECT_EQ(QSize(table().ThumbWidths(jpeg), table().ThumbHeights(jpeg)), QSize(48, 64));

  // The camera's data stays, with the picture now upright as stored.
  const auto exif = ExifReader().Read(photos + "camera.jpg");
  ASSERT_TRUE(exif.ok()) << exif.error().toStdString();
  EXPECT_TRUE(exif->lines.join("\n").contains("TestCam"));
  EXPECT_FALSE(exif->lines.join("\n").contains("Orientation"));
  const int camera = IndexOf(photos + "camera.jpg");
  EXPECT_EQ(QSize(table().ThumbWidths(camera), table().ThumbHeights(camera)),
            QImageReader(photos + "camera.jpg").size());

  // x.jpg belongs to another picture: the GIF stays as it was.
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_TRUE(host_.errors[0].startsWith("Error: File <" + photos + "x.gif> not rotated!\n"));
  EXPECT_EQ(ReadBytes(photos + "x.gif"), keptGif);
  EXPECT_EQ(QImageReader(photos + "x.jpg").size(), QSize(64, 48));
  EXPECT_EQ(Names(photos).size(), 8);  // no temporary file left anywhere
}

TEST_F(FileCommandsTest, RotateThatCannotFinishLeavesThePicture) {
  SmallDisk disk("rotate-full", 140, false);
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  ASSERT_TRUE(WritePicture(disk.folder() + "big.bmp", 200, 150));
  const QByteArray before = ReadBytes(disk.folder() + "big.bmp");
  Open(disk.folder());
  Select(0);
  commands_.mnuFileOptionsRotate_Click();
  EXPECT_TRUE(host_.errors.value(0).startsWith("Error: File <" + disk.folder() + "big.bmp> not rotated!\n"));
  options_.showProgress = true;
  host_.cancelProgress = true;
  QFile::remove(disk.folder() + "big.bmp");
  ASSERT_TRUE(WriteText(disk.folder() + "big.bmp", before));
  commands_.mnuFileOptionsRotate_Click();  // cancelled: nothing written
  EXPECT_EQ(ReadBytes(disk.folder() + "big.bmp"), before);
  EXPECT_EQ(Names(disk.folder()), QStringList{"big.bmp"});
  EXPECT_EQ(host_.errors.size(), 1);
  EXPECT_EQ(QSize(table().ThumbWidths(0), table().ThumbHeights(0)), QSize(200, 150));
}

// A disk too full for even a small picture: the picture stays as it was, a
// GIF stays out of the trash, nothing partial is left, and the message says why.
TEST_F(FileCommandsTest, RotateThatCannotWriteWholeKeepsThePictureAndSaysWhy) {
  const QString photos = FolderWith("rotate-limit", {"small.png", "camera.jpg"});
  ASSERT_TRUE(WriteText(photos + "anim.gif", TinyGif()));
  Open(photos);
  const QStringList names = Names(photos);
  for (const char* name : {"small.png", "anim.gif"}) {
    const QByteArray before = ReadBytes(photos + name);
    Select(IndexOf(photos + name));
    {
      FileSizeLimit limit(16);
      commands_.mnuFileOptionsRotate_Click();
    }
    ASSERT_EQ(host_.errors.size(), 1) << name;
    EXPECT_TRUE(host_.errors.takeFirst().endsWith(": File too large")) << name;
    EXPECT_EQ(ReadBytes(photos + name), before) << name;
  }
  EXPECT_EQ(Names(photos), names);
  EXPECT_FALSE(QFileInfo::exists(Trash() + "anim.gif"));
}

// The editor is a script that waits for the test's word through a FIFO and
// then rewrites the picture at another size.
TEST_F(FileCommandsTest, EditRunsTheDefaultEditorAndRebuildsTheCell) {
  const QString folder = freshFolder("edit") + "/";
  const QString picture = folder + "it's \"a\"; $HOME.png";
  ASSERT_TRUE(WritePicture(picture, 64, 48));
  ASSERT_TRUE(WritePicture(folder + "new.png.bak", 30, 20, "png"));
  ASSERT_TRUE(WritePicture(folder + "other.bmp", 8, 8));
  ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "gate").constData(), 0600), 0);
  ASSERT_TRUE(InstallPngEditor(folder + "edit.sh",
                               "cd \"$(dirname \"$0\")\"\nprintf '%s\\n' \"$#\" \"$@\" > log\n"
                               "read word < gate\ncat new.png.bak > \"$1\"\n",
                               "lumaset-edit"));
  Open(folder);
  const int index = IndexOf(picture);
  Select(index);
  std::vector<bool> busyWhileRunning;
  QTimer::singleShot(0, [&] {
    busyWhileRunning = host_.busy;  // events run while the editor works
    QFile gate(folder + "gate");
    if (gate.open(QIODevice::WriteOnly)) gate.write("go\n");
  });
  commands_.mnuFileOptionsEdit_Click();
  EXPECT_EQ(busyWhileRunning, std::vector<bool>{true});
  EXPECT_EQ(host_.busy, (std::vector<bool>{true, false}));
  EXPECT_EQ(ReadBytes(folder + "log"), "1\n" + picture.toUtf8() + "\n");
  EXPECT_EQ(QSize(table().ThumbWidths(index), table().ThumbHeights(index)), QSize(30, 20));
  EXPECT_NEAR(panel_.cell(index).fit.width / panel_.cell(index).fit.height, 1.5, 0.05);

  Select(IndexOf(folder + "other.bmp"));
  commands_.mnuFileOptionsEdit_Click();
  EXPECT_EQ(host_.errors, QStringList{"Default editor not found!"});
  FileCommands broken({panel_, folders_, options_, settings_, imaging_}, host_, [](const QString&) {
    return std::optional<DesktopLaunch>(DesktopLaunch{"/no/such/editor.desktop", {}});
  });
  broken.mnuFileOptionsEdit_Click();
  EXPECT_TRUE(host_.notices.value(0).startsWith("Unable to start editor.\n"));
  EXPECT_EQ(host_.busy.back(), false);
}

}  // namespace
}  // namespace lumaset::test
