#include "documents/layout_document.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <functional>

#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "components/printer_device.h"
#include "layout/undo_stack.h"

namespace lumaset {

namespace {

const QString kLayoutFilter = QStringLiteral("Lumaset page (*.lsf)");
const QString kLayoutSuffix = QStringLiteral("lsf");
constexpr int kCopyAttempts = 1000;
// How many missing pictures the notice names before it only counts the rest.
constexpr int kNamedMissing = 10;

QString Clean(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

bool LiesIn(const QString& path, const QString& folder) {
  return !folder.isEmpty() && Clean(QFileInfo(path).absolutePath()) == Clean(folder);
}

// The slot number a temporary picture's name begins with ("12" of
// "12-03.jpg", also of "12-103.jpg"); a name of another making is taken
// whole, without its extension.
QString SlotPart(const QString& tempFile) {
  const QString name = QFileInfo(tempFile).fileName();
  const qsizetype dash = name.indexOf(QLatin1Char('-'));
  if (dash > 0) {
    bool number = false;
    name.left(dash).toInt(&number);
    if (number) return name.left(dash);
  }
  return QFileInfo(tempFile).completeBaseName();
}

// The pictures that layout files name, made clean for comparing.
QSet<QString> PicturesNamedBy(const QStringList& layoutFiles) {
  QSet<QString> named;
  for (const QString& file : layoutFiles) {
    const Result<LayoutContent> content = LayoutFile::ReadFile(file);
    if (!content) continue;  // a file that cannot be read claims nothing it could be shown
    for (const LayoutPicture& picture : content->pictures) named.insert(Clean(picture.path));
  }
  return named;
}

// Chooses copy names: a name is free when nothing has it, or when the layout
// being replaced owns it (names it) and neither the page nor any other
// layout beside it still uses it. What is known of the layouts is read only
// when a name is already taken.
class CopyNamer {
 public:
  CopyNamer(const SaveSetting& setting, const PageModel& page) : setting_(setting) {
    for (int slot = 0; slot <= page.picLast(); ++slot) inUse_.insert(Clean(page.pic(slot).file));
    if (!page.edit().clipFile.isEmpty()) inUse_.insert(Clean(page.edit().clipFile));
    for (const QString& file : setting.filesInUse) inUse_.insert(Clean(file));
  }

  Result<QString> Name(const QString& tempFile) {
    const QString layoutName = LayoutName(setting_.layoutPath);
    for (int attempt = 1; attempt <= kCopyAttempts; ++attempt) {
      const QString path = LayoutCopyPath(setting_.layoutFolder, layoutName, tempFile, attempt);
      if (Free(Clean(path))) {
        taken_.insert(Clean(path));
        return path;
      }
    }
    return Error{QStringLiteral("No free name is left for the copy of \"%1\" in \"%2\".")
                     .arg(tempFile, setting_.layoutFolder)};
  }

 private:
  bool Free(const QString& path) {
    if (taken_.contains(path) || inUse_.contains(path)) return false;
    if (!QFileInfo::exists(path)) return true;
    LoadLayouts();
    return ownedByTarget_.contains(path) && !usedElsewhere_.contains(path);
  }

  void LoadLayouts() {
    if (loaded_) return;
    loaded_ = true;
    ownedByTarget_ = PicturesNamedBy({setting_.layoutPath});
    QStringList others;
    for (const QString& folder : {setting_.layoutFolder, QFileInfo(setting_.layoutPath).absolutePath()}) {
      const QDir dir(folder);
      for (const QString& name : dir.entryList({QStringLiteral("*.lsf")}, QDir::Files)) {
        const QString file = dir.filePath(name);
        if (!SamePath(file, setting_.layoutPath) && !others.contains(Clean(file))) others << Clean(file);
      }
    }
    usedElsewhere_ = PicturesNamedBy(others);
  }

  const SaveSetting& setting_;
  QSet<QString> inUse_;
  QSet<QString> taken_;
  QSet<QString> ownedByTarget_;
  QSet<QString> usedElsewhere_;
  bool loaded_ = false;
};

// Sets the busy state of long page work and takes it back however the work ends.
class BusyScope {
 public:
  explicit BusyScope(LayoutDocumentHost& host) : host_(host) {
    host_.SetBusy(true);
    host_.ProcessEvents();
  }
  ~BusyScope() {
    host_.SetBusy(false);
    host_.ProcessEvents();
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  LayoutDocumentHost& host_;
};

// Runs one command at a time: a command started while another is under way
// (from the event loop that opening runs) is not run.
bool RunAlone(bool& running, const std::function<void()>& command) {
  if (running) return false;
  running = true;
  command();
  running = false;
  return true;
}

QString MissingText(const std::vector<QString>& missing) {
  QString text = QStringLiteral("These pictures of the layout were not found and are left off the page:");
  const int count = static_cast<int>(missing.size());
  for (int i = 0; i < count && i < kNamedMissing; ++i) text += QLatin1Char('\n') + missing[i];
  if (count > kNamedMissing) text += QStringLiteral("\nand %1 more.").arg(count - kNamedMissing);
  return text;
}

}  // namespace

QString LayoutName(const QString& layoutPath) { return QFileInfo(layoutPath).completeBaseName(); }

bool SamePath(const QString& a, const QString& b) {
  if (a.isEmpty() || b.isEmpty()) return false;
  if (Clean(a) == Clean(b)) return true;
  const QString canonicalA = QFileInfo(a).canonicalFilePath();
  return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

QString LayoutCopyPath(const QString& layoutFolder, const QString& layoutName, const QString& tempFile,
                       int attempt) {
  const QString number = attempt > 1 ? QStringLiteral(" (%1)").arg(attempt) : QString();
  return layoutFolder + layoutName + QLatin1Char('-') + SlotPart(tempFile) + number +
         QStringLiteral(" (LSG).jpg");
}

Result<SavePlan> PlanSave(const PageModel& page, const SaveSetting& setting) {
  SavePlan plan;
  plan.content.label = page.edit().labelText;
  plan.content.landscape = setting.landscape;
  CopyNamer namer(setting, page);
  for (int rank = 0; rank <= page.picLast(); ++rank) {
    int slot = 0;
    while (slot <= page.picLast() && page.pic(slot).zRank != rank) ++slot;
    if (slot > page.picLast()) continue;  // a deleted picture's rank, or a gap
    const PagePic& pic = page.pic(slot);
    QString path = pic.file;
    if (LiesIn(path, setting.tempImagesFolder)) {
      Result<QString> copy = namer.Name(path);
      if (!copy) return Error{copy.error()};
      plan.copies.emplace_back(path, *copy);
      path = *copy;
    }
    plan.content.pictures.push_back({path, pic.leftFrac, pic.topFrac, pic.widthFrac, pic.heightFrac});
  }
  return plan;
}

// --- The commands ------------------------------------------------------------

LayoutDocument::LayoutDocument(PageModel& page, LayoutDocumentHost& host)
    : page_(page), host_(host), reader_(&Imaging::readScaled) {}

QString LayoutDocument::SampleName() const { return host_.LayoutFolder() + QLatin1String(kSampleLayoutName); }

void LayoutDocument::mnuFileOpenPage_Click() {
  RunAlone(running_, [this] { Open(); });
}
void LayoutDocument::mnuFileSave_Click() {
  RunAlone(running_, [this] { Save(); });
}
void LayoutDocument::mnuFileSaveAs_Click() {
  RunAlone(running_, [this] { SaveAs(); });
}
void LayoutDocument::mnuFileNew_Click() {
  RunAlone(running_, [this] { New(); });
}

void LayoutDocument::New() {
  host_.PlaySound(Sound::Add, Wait::No);
  host_.EndContactSheet();
  host_.ClearPreview();
  if (host_.ThumbCount() > 0) {
    host_.SetEnabled(u"mnuViewThumb", true);
    host_.SetEnabled(u"Thumbnail", true);
  }
}

void LayoutDocument::ShowPageState() {
  const QString& title = page_.edit().layoutTitle;
  host_.SetPageCaption(QStringLiteral("Layout Preview: ") +
                       (title.isEmpty() ? QStringLiteral("(unsaved)") : title));
  host_.SetStatusText(QStringLiteral("Layout contains ") + QString::number(page_.picCount()) +
                      QStringLiteral(" picture(s)"));
}

// --- Open --------------------------------------------------------------------

void LayoutDocument::Open() {
  std::vector<QString> missing;
  {
    BusyScope busy(host_);
    host_.SetStatusText(QStringLiteral("Opening layout page"));
    host_.PlaySound(Sound::Open, Wait::No);
    const QString& title = page_.edit().layoutTitle;
    const std::optional<QString> chosen = host_.OpenFileName(
        {QStringLiteral("Open page layout"), host_.LayoutFolder(),
         title.isEmpty() ? QString::fromLatin1(kSampleLayoutName) : title, kLayoutFilter, kLayoutSuffix});
    if (chosen) {
      missing = OpenChosen(*chosen);
    } else {
      host_.PlaySound(Sound::Close, Wait::No);
    }
    ShowOpenedState();
  }
  // Nothing is left off silently.
  if (!missing.empty()) host_.ShowInformation(MissingText(missing));
}

// The file is read and its pictures checked before the page is cleared, so
// a layout that cannot be opened leaves the page as it was.
std::vector<QString> LayoutDocument::OpenChosen(const QString& path) {
  const Result<LayoutContent> content = LayoutFile::ReadFile(path);
  Status usable = content ? CheckPictures(*content) : Status(Error{content.error()});
  if (!usable) {
    host_.ShowError(QStringLiteral("Error reading file: ") + usable.error());
    return {};
  }
  host_.ClearPreview();
  layoutPath_ = path;
  page_.edit().layoutTitle = QFileInfo(path).fileName();
  host_.ProcessEvents();
  page_.edit().labelText = content->label;
  host_.TurnPage(!content->landscape);
  FillSlots(*content);
  std::optional<std::vector<QString>> missing = LoadPictures();
  if (missing) return *missing;
  host_.ClearPreview();
  return {};
}

// A picture that is there must be one that can be read; a missing one is
// left off later, and named.
Status LayoutDocument::CheckPictures(const LayoutContent& content) const {
  for (const LayoutPicture& picture : content.pictures) {
    if (!QFileInfo::exists(picture.path)) continue;
    const Result<FileFacts> facts = Imaging::FileInfo(picture.path);
    if (!facts) return Error{facts.error()};
  }
  return Status::success();
}

void LayoutDocument::FillSlots(const LayoutContent& content) {
  const PageGeometry& geometry = page_.geometry();
  const int count = static_cast<int>(content.pictures.size());
  for (int slot = 0; slot < count; ++slot) {
    const LayoutPicture& picture = content.pictures[static_cast<std::size_t>(slot)];
    page_.pic(slot) = PagePic{picture.path,      static_cast<std::int16_t>(slot),
                              picture.leftFrac,  picture.topFrac,
                              picture.widthFrac, picture.heightFrac};
    // A slot that Esc leaves unloaded still has its place: turning the page
    // works from the boxes, and an empty box would wipe the saved fractions.
    page_.box(slot) = PicBox{picture.leftFrac * geometry.previewWidth, picture.topFrac * geometry.previewHeight,
                             picture.widthFrac * geometry.previewWidth,
                             picture.heightFrac * geometry.previewHeight, false};
  }
  page_.setPicLast(count - 1);
  page_.setPicCount(count);
}

// Each picture in stacking order, shown as it is loaded. It is read on a
// worker while the window's events go on; Esc stops the picture being read,
// and it and the later ones keep their records, unshown. A picture that
// cannot be loaded fails the whole open (nothing then).
std::optional<std::vector<QString>> LayoutDocument::LoadPictures() {
  std::vector<QString> missing;
  static_cast<void>(host_.TakeAbortRequest());  // an Esc from before the open stops nothing
  const PageGeometry& geometry = page_.geometry();
  const int side = ReducedSide(host_.ImageRes());
  for (int slot = 0; slot <= page_.picLast(); ++slot) {
    PagePic& pic = page_.pic(slot);
    page_.edit().picFile = pic.file;
    if (QFileInfo::exists(pic.file)) {
      const std::optional<Result<QImage>> read = AwaitBackground<Result<QImage>>(
          [reader = reader_, file = pic.file, side] { return reader(file, side); },
          [this] { return host_.TakeAbortRequest(); });
      if (!read) break;  // stopped
      const Result<QImage>& reduced = *read;
      if (!reduced) {
        host_.ShowError(QStringLiteral("Error reading file: ") + reduced.error());
        return std::nullopt;
      }
      host_.SetPicture(slot, *reduced);
      page_.box(slot) =
          PicBox{pic.leftFrac * geometry.previewWidth, pic.topFrac * geometry.previewHeight,
                 pic.widthFrac * geometry.previewWidth, pic.heightFrac * geometry.previewHeight, true};
      host_.PageChanged();
      host_.PlaySound(Sound::Add, Wait::Yes);
    } else {
      pic.zRank = -1;
      page_.setPicCount(page_.picCount() - 1);
      missing.push_back(pic.file);
    }
    host_.ProcessEvents();
    if (host_.TakeAbortRequest()) break;
  }
  return missing;
}

void LayoutDocument::ShowOpenedState() {
  const bool holds = page_.picLast() >= 0;
  host_.SetEnabled(u"mnuFileSave", false);
  host_.SetEnabled(u"mnuFileSaveAs", holds);
  host_.SetEnabled(u"Save", holds);
  host_.SetEnabled(u"mnuFilePrint", holds);
  host_.SetEnabled(u"Print", holds);
  ShowPageState();
}

// --- Save --------------------------------------------------------------------

void LayoutDocument::SaveAs() {
  for (;;) {
    host_.PlaySound(Sound::Open, Wait::No);
    const QString& title = page_.edit().layoutTitle;
    const std::optional<QString> chosen = host_.SaveFileName(
        {QStringLiteral("Save page setup as"), host_.LayoutFolder(),
         title.isEmpty() ? QStringLiteral("Untitled Lumaset") : title, kLayoutFilter, kLayoutSuffix});
    host_.PlaySound(Sound::Close, Wait::No);
    if (!chosen) return;
    if (SamePath(*chosen, SampleName())) {
      host_.ShowError(QStringLiteral("'Sample.lsf' is a program file, try another name."));
      continue;
    }
    layoutPath_ = *chosen;
    page_.edit().layoutTitle = QFileInfo(*chosen).fileName();
    Save();
    return;
  }
}

void LayoutDocument::Save() {
  if (layoutPath_.isEmpty()) {  // nothing opened or saved yet: there is no name to save under
    SaveAs();
    return;
  }
  if (SamePath(layoutPath_, SampleName())) {
    host_.ShowInformation(QStringLiteral("'Sample' is a Lumaset system file, try another name."));
    return;
  }
  const Status saved = WriteLayout();
  if (saved) {
    host_.SetEnabled(u"mnuFileSave", false);
    host_.SetStatusText(QStringLiteral("Layout [") + page_.edit().layoutTitle + QStringLiteral("] saved"));
    host_.ProcessEvents();
    host_.PauseAfterSave();
  } else {
    page_.edit().layoutTitle.clear();
    host_.ShowError(QStringLiteral("Error saving file: ") + saved.error());
  }
  ShowPageState();
}

bool LayoutDocument::Landscape() {
  if (host_.PrinterReady()) return host_.PrinterOrientation() == kLandscape;
  return !page_.geometry().portrait;
}

// Everything is worked out and checked first; the copies are written next
// and the layout last, through a temporary file, so the layout never names
// a copy that is not there and a failure leaves the old layout whole.
Status LayoutDocument::WriteLayout() {
  const SaveSetting setting{layoutPath_, host_.LayoutFolder(), host_.TempImagesFolder(), Landscape(),
                            host_.UndoFiles()};
  const Result<SavePlan> plan = PlanSave(page_, setting);
  if (!plan) return Error{plan.error()};
  const Result<QByteArray> bytes = LayoutFile::Write(plan->content);
  if (!bytes) return Error{bytes.error()};
  for (const auto& [picture, copy] : plan->copies) {
    if (Status copied = FileSystemUtility::CopyFile(picture, copy); !copied) return copied;
  }
  return LayoutFile::SaveFile(layoutPath_, *bytes);
}

}  // namespace lumaset
