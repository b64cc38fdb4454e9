#include "frame/folder_picker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>


#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "components/settings_store.h"
#include "frame/about_box.h"
#include "frame/drive_folder_browser.h"
#include "frame/fit_text.h"
#include "frame/general.h"
#include "frame/settings.h"
#include "frame/units.h"
#include "frame/working_folders.h"

namespace lumaset {

namespace {

constexpr int kPlacementOffsetTwips = 500;
constexpr int kClientWidthTwips = 5205;
constexpr int kClientHeightTwips = 2970;
}  // namespace

// ---------------------------------------------------------------- request

void FolderPickRequest::ask(FolderPickMode mode) {
  pickPhotoFolder = mode == FolderPickMode::Photo;
  pickCopyTo = mode == FolderPickMode::CopyTo;
  pickMoveTo = mode == FolderPickMode::MoveTo;
  pickMidiFolder = mode == FolderPickMode::Midi;
  pickScanFolder = mode == FolderPickMode::Scan;
  pickDownload = mode == FolderPickMode::DownloadSource || mode == FolderPickMode::DownloadTarget;
  if (pickDownload) pickDownloadSource = mode == FolderPickMode::DownloadSource;
}

FolderPickMode FolderPickRequest::mode() const {
  if (pickPhotoFolder) return FolderPickMode::Photo;
  if (pickCopyTo) return FolderPickMode::CopyTo;
  if (pickMoveTo) return FolderPickMode::MoveTo;
  if (pickMidiFolder) return FolderPickMode::Midi;
  if (pickScanFolder) return FolderPickMode::Scan;
  if (pickDownload)
    return pickDownloadSource ? FolderPickMode::DownloadSource : FolderPickMode::DownloadTarget;
  return FolderPickMode::None;
}

void FolderPickRequest::clearModes() {
  pickPhotoFolder = pickCopyTo = pickMoveTo = pickMidiFolder = pickScanFolder = pickDownload =
      false;
}

// ---------------------------------------------------------------- helpers

QStringList MatchingFiles(const QString& folder, const QString& pattern) {
  QDir dir(folder);
  dir.setNameFilters(pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts));
  // Without QDir::CaseSensitive the wildcards match ".JPG" as well as ".jpg".
  dir.setFilter(QDir::Files | QDir::Readable);
  dir.setSorting(QDir::Name | QDir::IgnoreCase);
  return dir.entryList();
}

QStringList PictureFiles(const QString& folder) {
  const QDir dir(folder);
  QStringList pictures;
  for (const QString& name : dir.entryList(QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase)) {
    if (AcceptedAsPicture(dir.filePath(name))) pictures << name;
  }
  return pictures;
}

Status CheckNewFolderName(const QString& name) {
  if (name == QLatin1String(".") || name == QLatin1String("..") ||
      name.contains(QLatin1Char('/')) || name.contains(QChar(0))) {
    return Error{QStringLiteral("\"%1\" cannot be the name of a folder: a name may not be "
                                "\".\" or \"..\" nor contain \"/\".")
                     .arg(name)};
  }
  return Status::success();
}

Result<QString> CreateFolder(const QString& parent, const QString& name) {
  if (Status checked = CheckNewFolderName(name); !checked) return Error{checked.error()};
  if (name.isEmpty()) return Error{QStringLiteral("A folder needs a name.")};
  const Result<QString> made = FileSystemUtility::MakeFolder(WithTrailingSlash(ListPath(parent)), name);
  if (!made) return Error{made.error()};
  return made->chopped(1);
}

QPoint FolderPickerPosition(FolderPickMode mode, QPoint mainWindowCorner,
                            std::optional<QRect> scanWindow, QSize pickerSize,
                            double twipsPerPixel) {
  if (mode == FolderPickMode::Scan && scanWindow) {
    return {scanWindow->left() + (scanWindow->width() - pickerSize.width()) / 2,
            scanWindow->top() + (scanWindow->height() - pickerSize.height()) / 2};
  }
  const int offset = TwipsToPixels(kPlacementOffsetTwips, twipsPerPixel);
  return mainWindowCorner + QPoint(offset, offset);
}

// ---------------------------------------------------------------- session

FolderPickSession::FolderPickSession(FolderPickerContext context)
    : context_(context), mode_(context.request.mode()) {
  context_.request.folderPicked = false;
  if (mode_ == FolderPickMode::DownloadTarget && context_.folders.downloadTarget.isEmpty())
    context_.folders.downloadTarget = context_.folders.copyMove;
}

FolderPickSession::~FolderPickSession() { unload(); }

QString FolderPickSession::title() const {
  switch (mode_) {
    case FolderPickMode::Photo: return QStringLiteral("Select Photo Folder");
    case FolderPickMode::CopyTo: return QStringLiteral("Select Copy-to Folder");
    case FolderPickMode::MoveTo: return QStringLiteral("Select Move-to Folder");
    case FolderPickMode::Midi: return QStringLiteral("Select Midi Folder");
    case FolderPickMode::Scan: return QStringLiteral("Select Scan Save Folder");
    case FolderPickMode::DownloadSource: return QStringLiteral("Download Source Folder");
    case FolderPickMode::DownloadTarget: return QStringLiteral("Download Target Folder");
    case FolderPickMode::None: break;
  }
  return QStringLiteral("Select Folder");
}

QString FolderPickSession::startFolder() const {
  const WorkingFolders& folders = context_.folders;
  switch (mode_) {
    case FolderPickMode::Photo: return folders.current;
    case FolderPickMode::CopyTo:
    case FolderPickMode::MoveTo: return folders.copyMove;
    case FolderPickMode::Midi: return folders.midi;
    case FolderPickMode::Scan: return folders.scan;
    case FolderPickMode::DownloadSource: return context_.options.downloadDrive;
    case FolderPickMode::DownloadTarget: return folders.downloadTarget;
    case FolderPickMode::None: break;
  }
  return {};
}

bool FolderPickSession::saveBoxTicked() const { return showsSaveBox() && context_.options.genSave; }

bool FolderPickSession::showsNewButton() const {
  return mode_ == FolderPickMode::CopyTo || mode_ == FolderPickMode::MoveTo ||
         mode_ == FolderPickMode::Scan || mode_ == FolderPickMode::DownloadTarget;
}

bool FolderPickSession::fileListEnabled() const {
  return mode_ == FolderPickMode::Photo || mode_ == FolderPickMode::DownloadSource;
}

QString FolderPickSession::filePattern() const {
  return QLatin1String(mode_ == FolderPickMode::Midi ? kMidiFilePattern : kPhotoFilePattern);
}

QString FolderPickSession::fileLabel(const QString& folderPath) const {
  const QString name = FileSystemUtility::PathPart(folderPath, false);
  return name + (mode_ == FolderPickMode::Midi ? QStringLiteral(" Midi Files")
                                               : QStringLiteral(" Photos"));
}

void FolderPickSession::ok(const QString& folderPath, bool saveTicked) {
  const QString folder = WithTrailingSlash(folderPath);
  WorkingFolders& folders = context_.folders;
  SettingsStore& settings = context_.settings;
  switch (mode_) {
    case FolderPickMode::Photo:
      folders.current = folder;
      if (saveTicked) settings.writeSetting(QStringLiteral("Folder"), folders.current);
      break;
    case FolderPickMode::CopyTo:
    case FolderPickMode::MoveTo:
      folders.copyMove = folder;
      settings.writeSetting(QStringLiteral("FolderMove"), folders.copyMove);
      break;
    case FolderPickMode::Midi: folders.midi = folder; break;
    case FolderPickMode::Scan: folders.scan = folder; break;
    case FolderPickMode::DownloadSource: {
      // A folder off the download drive leaves the source empty, which the
      // download takes as "that drive cannot be used" and offers the preferences.
      const QString& drive = context_.options.downloadDrive;
      context_.request.downloadSource =
          drive.isEmpty() || FolderLiesIn(folder, drive) ? folder : QString();
      break;
    }
    case FolderPickMode::DownloadTarget:
      folders.downloadTarget = folder;
      folders.copyMove = folders.downloadTarget;
      settings.writeSetting(QStringLiteral("FolderMove"), folders.copyMove);
      break;
    case FolderPickMode::None: break;
  }
  context_.request.folderPicked = true;
}

void FolderPickSession::cancel() {
  if (mode_ == FolderPickMode::DownloadSource || mode_ == FolderPickMode::DownloadTarget)
    context_.folders.downloadTarget.clear();
}

bool FolderPickSession::unload() {
  if (unloaded_) return false;
  unloaded_ = true;
  context_.request.clearModes();
  return true;
}

// ---------------------------------------------------------------- dialog

FolderPickerDialog::FolderPickerDialog(FolderPickerContext context, FolderPickerSetup setup,
                                       QWidget* parent)
    : QDialog(parent), context_(context), setup_(std::move(setup)), session_(context) {
  setObjectName(QStringLiteral("frmFolder"));
  if (!setup_.askText) {
    setup_.askText = [this](const QString& title, const QString& prompt) { return InputBox(this, title, prompt); };
  }
  if (!setup_.showWarning) {
    setup_.showWarning = [this](const QString& title, const QString& text) {
      ShowMessageBox(this, QMessageBox::Warning, title, text, QMessageBox::Ok);
    };
  }
  BuildControls();
  FormLoad();
}

FolderPickerDialog::~FolderPickerDialog() = default;

void FolderPickerDialog::BuildControls() {
  setWindowTitle(QStringLiteral("Select Folder"));
  browser_ = new DriveFolderBrowser(setup_.drives, this);
  browser_->driveList()->setToolTip(QStringLiteral("Select drive"));
  browser_->folderList()->setToolTip(QStringLiteral("Double Click to select desired folder"));
  label1_ = new ShortenedLabel(this);
  label1_->setFullText(QStringLiteral("Photo Files"));
  label1_->setObjectName(QStringLiteral("Label1"));
  file1_ = new QListWidget(this);
  file1_->setObjectName(QStringLiteral("File1"));
  file1_->setAccessibleName(label1_->text());
  file1_->setEnabled(false);
  chkSave_ = new QCheckBox(QStringLiteral("Save this location"), this);
  chkSave_->setObjectName(QStringLiteral("chkSave"));
  chkSave_->setToolTip(QStringLiteral("Check to return to this folder the next time you open"));
  chkSave_->setVisible(false);
  cmdNew_ = new QPushButton(QStringLiteral("New"), this);
  cmdNew_->setObjectName(QStringLiteral("cmdNew"));
  cmdNew_->setVisible(false);
  cmdCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
  cmdCancel_->setToolTip(QStringLiteral("Cancel folder selection"));
  cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
  cmdOK_->setObjectName(QStringLiteral("cmdOK"));
  cmdOK_->setToolTip(QStringLiteral("Click to open folder"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(browser_->driveList(), 0, 0);
  grid->addWidget(label1_, 0, 1);
  grid->addWidget(browser_->folderList(), 1, 0);
  grid->addWidget(file1_, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(chkSave_);
  buttons->addStretch();
  buttons->addWidget(cmdNew_);
  buttons->addWidget(cmdCancel_);
  buttons->addWidget(cmdOK_);
  grid->addLayout(buttons, 2, 0, 1, 2);

  connect(browser_, &DriveFolderBrowser::folderChanged, this, &FolderPickerDialog::FillFileList);
  connect(cmdOK_, &QPushButton::clicked, this, &FolderPickerDialog::cmdOKClick);
  connect(cmdCancel_, &QPushButton::clicked, this, &FolderPickerDialog::reject);
  connect(cmdNew_, &QPushButton::clicked, this, &FolderPickerDialog::cmdNewClick);
}

void FolderPickerDialog::FormLoad() {
  if (context_.options.genSound && setup_.playOpenSound) setup_.playOpenSound();
  const double twipsPerPixel = TwipsPerPixel(screen() ? screen()->logicalDotsPerInch() : 96.0);
  // The design is the smallest start: a desktop font and long names need more.
  resize(QSize(TwipsToPixels(kClientWidthTwips, twipsPerPixel), TwipsToPixels(kClientHeightTwips, twipsPerPixel))
             .expandedTo(sizeHint()));
  setSizeGripEnabled(true);
  Place();

  // An unusable start folder leaves the list at the program's working folder.
  if (!setFolderPath(session_.startFolder())) setFolderPath(QDir::currentPath());
  setWindowTitle(session_.title());
  chkSave_->setVisible(session_.showsSaveBox());
  file1_->setEnabled(session_.fileListEnabled());
  chkSave_->setChecked(session_.saveBoxTicked());
  cmdNew_->setVisible(session_.showsNewButton());
}

void FolderPickerDialog::Place() {
  const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
  if (!main) return;
  const double twipsPerPixel = TwipsPerPixel(screen() ? screen()->logicalDotsPerInch() : 96.0);
  move(FolderPickerPosition(session_.mode(), main->frameGeometry().topLeft(), setup_.scanWindow,
                            frameGeometry().size(), twipsPerPixel));
}

QString FolderPickerDialog::folderPath() const { return browser_->folderPath(); }

bool FolderPickerDialog::setFolderPath(const QString& path) {
  return browser_->setFolderPath(path);
}

void FolderPickerDialog::selectDrive(int index) { browser_->selectDrive(index); }

QComboBox* FolderPickerDialog::driveList() const { return browser_->driveList(); }

QListWidget* FolderPickerDialog::folderList() const { return browser_->folderList(); }

void FolderPickerDialog::FillFileList() {
  file1_->clear();
  file1_->addItems(session_.mode() == FolderPickMode::Midi ? MatchingFiles(folderPath(), session_.filePattern())
                                                          : PictureFiles(folderPath()));
  label1_->setFullText(session_.fileLabel(folderPath()));
}

void FolderPickerDialog::cmdOKClick() {
  session_.ok(folderPath(), chkSave_->isChecked());
  accept();
}

void FolderPickerDialog::cmdNewClick() {
  const QString folder = folderPath();
  const QString name = FileSystemUtility::PathPart(folder, false);
  const QString shown = name == QLatin1String("/") ? name : QStringLiteral(".../") + name;
  const QString prompt =
      QStringLiteral("Enter name of new folder to be created in folder '%1'").arg(shown);
  const std::optional<QString> answer = setup_.askText(context_.appTitle, prompt);
  if (!answer || answer->isEmpty()) return;

  const Result<QString> created = CreateFolder(folder, *answer);
  if (!created) {
    setup_.showWarning(context_.appTitle, created.error());
    return;
  }
  setFolderPath(*created);
  emit folderCreated(WithTrailingSlash(*created));
  QCoreApplication::processEvents();
}

void FolderPickerDialog::reject() {
  // Every way out but OK is a Cancel, so that closing the window can never
  // send a download to a target the user did not confirm.
  session_.cancel();
  QDialog::reject();
}

void FolderPickerDialog::done(int result) {
  if (session_.unload() && context_.options.genSound && setup_.playCloseSound)
    setup_.playCloseSound();
  QDialog::done(result);
}

}  // namespace lumaset
