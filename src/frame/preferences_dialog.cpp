// `frmOptions`: the preferences dialog's window. Each control shows a field
// of the PreferencesModel and hands the user's edits to it; ShowControls()
// brings the whole window in line with the model after every edit.

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

#include "components/midi_player.h"
#include "components/option_focus.h"
#include "components/settings_store.h"
#include "frame/app_state.h"
#include "frame/fit_text.h"
#include "frame/preferences.h"
#include "frame/units.h"

namespace lumaset {

namespace {

constexpr int kMixerWidthTwips = 3400;
constexpr int kMixerHeightTwips = 1200;

struct OptionButton {
  QString name;
  QString caption;
  QString tooltip;
};

// Option buttons numbered from 0 in one group, laid out in `layout`.
QButtonGroup* AddOptions(QWidget* parent, QLayout* layout, const QList<OptionButton>& buttons) {
  auto* group = new QButtonGroup(parent);
  for (const OptionButton& option : buttons) {
    auto* button = new QRadioButton(option.caption, parent);
    button->setObjectName(option.name);
    button->setToolTip(option.tooltip);
    group->addButton(button, static_cast<int>(group->buttons().size()));
    layout->addWidget(button);
  }
  return group;
}

// Chooses button `id`, or none when there is no such button.
void Choose(QButtonGroup* group, int id) {
  if (QAbstractButton* button = group->button(id)) {
    button->setChecked(true);
  } else if (QAbstractButton* checked = group->checkedButton()) {
    group->setExclusive(false);
    checked->setChecked(false);
    group->setExclusive(true);
  }
}

void EnableGroup(QButtonGroup* group, bool enabled) {
  for (QAbstractButton* button : group->buttons()) button->setEnabled(enabled);
}

// An up-down: two arrows that call `step` with true for up; a screen reader
// calls them `what` and " up" or " down".
QWidget* AddUpDown(QWidget* parent, const char* name, const QString& what,
                   const std::function<void(bool up)>& step) {
  auto* box = new QWidget(parent);
  box->setObjectName(QLatin1String(name));
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  for (const bool up : {true, false}) {
    auto* arrow = new QToolButton(box);
    arrow->setObjectName(up ? QStringLiteral("up") : QStringLiteral("down"));
    arrow->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
    arrow->setAccessibleName(what + (up ? QStringLiteral(" up") : QStringLiteral(" down")));
    arrow->setAutoRepeat(true);
    QObject::connect(arrow, &QToolButton::clicked, box, [step, up] { step(up); });
    column->addWidget(arrow);
  }
  return box;
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text,
                 const QString& tooltip = {}) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setToolTip(tooltip);
  return label;
}

// The marks under a slider. Each word of `marks` stands under the point of
// the slider its number names ("30" under 30, a unit after a number going
// with it); marks without numbers are spread from end to end.
class SliderScale : public QWidget {
 public:
  SliderScale(QSlider* slider, const char* name, const QString& marks, QWidget* parent)
      : QWidget(parent), slider_(slider) {
    setObjectName(QLatin1String(name));
    for (const QString& word : marks.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      bool number = false;
      const int value = word.toInt(&number);
      if (!number && !marks_.isEmpty() && marks_.back().value) {
        marks_.back().label->setText(marks_.back().label->text() + QLatin1Char(' ') + word);
        continue;
      }
      marks_.append({new QLabel(word, this), number ? std::optional<int>(value) : std::nullopt});
    }
  }

  QSize minimumSizeHint() const override {
    int width = 0;
    int height = 0;
    for (const Mark& mark : marks_) {
      width += mark.label->sizeHint().width() + kMarkGap;
      height = std::max(height, mark.label->sizeHint().height());
    }
    return {width, height};
  }
  QSize sizeHint() const override { return minimumSizeHint(); }

 protected:
  void resizeEvent(QResizeEvent*) override {
    const int handle = slider_->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, slider_);
    const int span = std::max(0, width() - handle);
    for (qsizetype i = 0; i < marks_.size(); ++i) {
      QLabel* label = marks_[i].label;
      const int at = marks_[i].value
                         ? QStyle::sliderPositionFromValue(slider_->minimum(), slider_->maximum(),
                                                           *marks_[i].value, span)
                         : static_cast<int>(span * i / std::max<qsizetype>(1, marks_.size() - 1));
      const QSize size = label->sizeHint();
      const int left = std::clamp(at + handle / 2 - size.width() / 2, 0, std::max(0, width() - size.width()));
      label->setGeometry(left, 0, size.width(), height());
    }
  }

 private:
  static constexpr int kMarkGap = 6;
  struct Mark {
    QLabel* label;
    std::optional<int> value;
  };
  QSlider* slider_;
  QList<Mark> marks_;
};

QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption,
                       const QString& tooltip = {}) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setToolTip(tooltip);
  return button;
}

}  // namespace

PreferencesDialog::PreferencesDialog(PreferencesContext context, PreferencesHooks hooks,
                                     int openTab, QWidget* parent)
    : QDialog(parent), context_(context), hooks_(std::move(hooks)), model_(context_.options) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("Options"));
  if (context_.options.genSound && hooks_.playSound) hooks_.playSound(Sound::Open, Wait::No);
  model_.Load(context_.settings, context_.folders.midi, hooks_.environment);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("SSTab1"));
  tabs_->addTab(BuildGeneralTab(), QStringLiteral("General"));
  tabs_->addTab(BuildSlideShowTab(), QStringLiteral("SlideShow"));
  tabs_->addTab(BuildDownloadTab(), QStringLiteral("Download"));
  tabs_->addTab(BuildSystemTab(), QStringLiteral("System"));
  BuildButtons();
  ShowControls();
  tabs_->setCurrentIndex(openTab >= 0 && openTab < tabs_->count() ? openTab : 0);
  connect(tabs_, &QTabWidget::currentChanged, this, &PreferencesDialog::TabChanged);
}

PreferencesDialog::~PreferencesDialog() = default;

QCheckBox* PreferencesDialog::AddCheck(QWidget* parent, const char* name, const QString& caption,
                                       const QString& tooltip, bool PreferencesControls::*field) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(QLatin1String(name));
  box->setToolTip(tooltip);
  checks_.append({box, field});
  // A toggle is an edit whoever makes it: a click, the space bar or a screen reader.
  connect(box, &QCheckBox::toggled, this, [this, field](bool checked) {
    if (showing_) return;
    model_.Set(field, checked);
    Edited();
  });
  return box;
}

QSlider* PreferencesDialog::AddSlider(QWidget* parent, const char* name, int low, int high,
                                      int largeStep, int PreferencesControls::*field) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QLatin1String(name));
  slider->setRange(low, high);
  slider->setSingleStep(1);
  slider->setPageStep(largeStep);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(largeStep);
  sliders_.append({slider, field});
  connect(slider, &QSlider::valueChanged, this, [this, field](int value) {
    model_.Set(field, value);
    Edited();
  });
  return slider;
}

void PreferencesDialog::AddChecks(QWidget* tab, QGridLayout* grid,
                                  const QList<CheckSpec>& specs) {
  for (const CheckSpec& spec : specs) {
    grid->addWidget(AddCheck(tab, spec.name, QString::fromUtf8(spec.caption),
                             QString::fromUtf8(spec.tooltip), spec.field),
                    spec.row, spec.column, 1, spec.columns);
  }
}

QWidget* PreferencesDialog::BuildGeneralTab() {
  using C = PreferencesControls;
  auto* tab = new QWidget(this);
  auto* grid = new QGridLayout(tab);
  AddChecks(tab, grid, {
      {"chkOpen", "Open folder on start",
       "Check to open last accessed folder when you start Lumaset", &C::open, 0, 0},
      {"chkSave", "Save option settings", "Use these settings in the future", &C::save, 1, 0},
      {"chkSound", "Sound Effects", "Check for system sound effects", &C::sound, 2, 0},
      {"chkTree", "Browse panel", "Check to view folder tree", &C::tree, 3, 0},
      {"chkClick", "Click to add pic", "", &C::click, 4, 0},
      {"chkLarge", "Large preview thumbnails",
       "Check to view large thumbnails of images in the chosen folder", &C::large, 5, 0},
      {"chkGrid", "Show preview layout grid", "Check to view layout grid", &C::grid, 0, 1},
      {"chkPrint", "Show margins on print", "Print a margin around printed area",
       &C::printMargin, 2, 1},
      {"chkReduce", "Resize for Email", "Check this box to reduce photo size attached to Email",
       &C::reduce, 3, 1}});
  auto* spacing = new QHBoxLayout;
  grid_ = AddOptions(tab, spacing,
                     {{QStringLiteral("optCoarse"), QStringLiteral("Coarse"),
                       QStringLiteral("1-inch grid spacing")},
                      {QStringLiteral("optFine"), QStringLiteral("Fine"),
                       QStringLiteral("1/2-inch grid spacing")}});
  grid->addLayout(spacing, 1, 1);
  auto* sizes = new QHBoxLayout;
  reduce_ = AddOptions(tab, sizes,
                       {{QStringLiteral("optLeast"), QStringLiteral("1280"),
                         QStringLiteral("1280x960 pixels (<400 kBytes)")},
                        {QStringLiteral("optMost"), QStringLiteral("640"),
                         QStringLiteral("640x480 pixels (<100 kBytes)")}});
  grid->addLayout(sizes, 4, 1);
  Follow(grid_, [this](int id) { model_.Set(&C::coarse, id == 0); });
  Follow(reduce_, [this](int id) { model_.Set(&C::least, id == 0); });

  AddSizeRows(tab, grid);

  auto* buttons = new QHBoxLayout;
  auto* cmdLayOut = AddButton(tab, "cmdLayOut", QStringLiteral("Preferences..."),
                              QStringLiteral("Configure other preferences"));
  auto* cmdClean = AddButton(tab, "cmdClean", QStringLiteral("Delete Saved Layouts..."),
                             QStringLiteral("Select and delete saved layout page"));
  buttons->addWidget(cmdLayOut);
  buttons->addWidget(cmdClean);
  grid->addLayout(buttons, 8, 0, 1, 2);
  connect(cmdLayOut, &QPushButton::clicked, this, &PreferencesDialog::cmdLayOutClick);
  connect(cmdClean, &QPushButton::clicked, this, &PreferencesDialog::cmdCleanClick);
  return tab;
}

void PreferencesDialog::AddSizeRows(QWidget* tab, QGridLayout* grid) {
  labThumb_ = AddLabel(tab, "labThumb", {},
                       QStringLiteral("Adjust thumnail size for thumbnail layouts"));
  labPreview_ = AddLabel(tab, "labPreview", {}, QStringLiteral("Adjust default layout width"));
  const auto addSize = [&](const char* name, const QString& what, QLabel* label, int row, auto step) {
    auto* line = new QHBoxLayout;
    line->addWidget(AddUpDown(tab, name, what, [this, step](bool up) {
      (model_.*step)(up);
      Edited();
    }));
    line->addWidget(label, 1);
    grid->addLayout(line, row, 0, 1, 2);
  };
  addSize("udThumb", QStringLiteral("Thumbnail size"), labThumb_, 6, &PreferencesModel::StepThumbSize);
  addSize("udWidth", QStringLiteral("Default width"), labPreview_, 7, &PreferencesModel::StepLayoutWidth);
}

QWidget* PreferencesDialog::BuildSlideShowTab() {
  using C = PreferencesControls;
  auto* tab = new QWidget(this);
  auto* grid = new QGridLayout(tab);
  AddChecks(tab, grid, {
      {"chkAuto", "Auto slide change ", "Automatically advance slides at the selected interval",
       &C::autoChange, 0, 0, 2},
      {"chkKey", "Advance by arrow keys",
       "Check to use arrow keys to advance or go back during slideshow", &C::arrowKeys, 4, 0, 2},
      {"chkMouse", "Hide Mouse Cursor", "Check to hide mouse cursor during slideshow",
       &C::hideMouse, 5, 0, 2},
      {"chkFadeIn", "Fade In", "Slide transition effect", &C::fadeIn, 6, 0},
      {"chkFadeOut", "Fade out", "Slide transition effect", &C::fadeOut, 6, 1},
      {"chkSSound", "Slide change sound", "Slide sound", &C::slideSound, 7, 0, 2}});
  auto* slider1 = AddSlider(tab, "Slider1", 0, 60, 5, &C::interval);
  slider1->setToolTip(QStringLiteral("Set slideshow advance interval"));
  label1_ = AddLabel(tab, "Label1", IntervalText(10));
  label2_ = new SliderScale(slider1, "Label2", QStringLiteral("0      10     20    30    40     50    60 s"), tab);
  // Each slider is called by the label above it, value and all.
  label1_->setBuddy(slider1);
  grid->addWidget(label1_, 1, 0, 1, 2);
  grid->addWidget(slider1, 2, 0, 1, 2);
  grid->addWidget(label2_, 3, 0, 1, 2);

  auto* music = new QHBoxLayout;
  music->addWidget(AddCheck(tab, "chkMidi", QStringLiteral("Play music:"),
                            QStringLiteral("Check to play midi files"), &C::music));
  labMidiDir_ = new ShortenedLabel(tab);
  labMidiDir_->setObjectName(QStringLiteral("labMidiDir"));
  labMidiDir_->setFullText(QStringLiteral("None"));
  music->addWidget(labMidiDir_, 1);
  cmdMidi_ = AddButton(tab, "cmdMidi", QStringLiteral("Browse"),
                       QStringLiteral("Select folder containing midi files"));
  music->addWidget(cmdMidi_);
  auto* cmdVol = AddButton(tab, "cmdVol", QStringLiteral("Volume"));
  music->addWidget(cmdVol);
  grid->addLayout(music, 8, 0, 1, 2);
  grid->setRowStretch(9, 1);
  connect(cmdMidi_, &QPushButton::clicked, this, &PreferencesDialog::cmdMidiClick);
  connect(cmdVol, &QPushButton::clicked, this, &PreferencesDialog::cmdVolClick);
  return tab;
}

QWidget* PreferencesDialog::BuildDownloadTab() {
  using C = PreferencesControls;
  auto* tab = new QWidget(this);
  auto* row = new QHBoxLayout(tab);

  auto* driveFrame = new QGroupBox(QStringLiteral("Drive or USB"), tab);
  driveFrame->setToolTip(QStringLiteral("Removeable drive or camera USB connection"));
  auto* driveColumn = new QVBoxLayout(driveFrame);
  QList<OptionButton> drives;
  for (const QString& root : model_.downloadDrives()) {
    drives.append({QStringLiteral("optDrive%1").arg(drives.size()), root,
                   QStringLiteral("Select removable media drive that hold downloadable images")});
  }
  drives_ = AddOptions(driveFrame, driveColumn, drives);
  driveColumn->addStretch();

  auto* cameraFrame = new QGroupBox(QStringLiteral("Camera"), tab);
  cameraFrame->setToolTip(QStringLiteral("Select camera protocol"));
  auto* cameraGrid = new QGridLayout(cameraFrame);
  cameras_ = new QButtonGroup(cameraFrame);
  for (const char* name : kCameraNames) {
    const int id = static_cast<int>(cameras_->buttons().size());
    auto* button = new QRadioButton(QLatin1String(name), cameraFrame);
    button->setObjectName(QStringLiteral("opt") + QLatin1String(name));
    cameras_->addButton(button, id);
    cameraGrid->addWidget(button, id % 7, id / 7);
  }

  auto* connectionFrame = new QGroupBox(QStringLiteral("Connection"), tab);
  auto* connectionColumn = new QVBoxLayout(connectionFrame);
  const QString interfaceTip = QStringLiteral("Select camera interface");
  connection_ = AddOptions(connectionFrame, connectionColumn,
                           {{QStringLiteral("optSerial"), QStringLiteral("Serial"), interfaceTip},
                            {QStringLiteral("optUSB"), QStringLiteral("USB"), interfaceTip}});
  connectionColumn->addStretch();

  row->addWidget(driveFrame, 1);
  row->addWidget(cameraFrame);
  row->addWidget(connectionFrame);
  Follow(drives_, [this](int id) { model_.Set(&C::drive, id); });
  Follow(cameras_, [this](int id) { model_.Set(&C::camera, id); });
  Follow(connection_, [this](int id) { model_.Set(&C::serial, id == 0); });
  return tab;
}

QWidget* PreferencesDialog::BuildSystemTab() {
  using C = PreferencesControls;
  auto* tab = new QWidget(this);
  auto* grid = new QGridLayout(tab);
  AddChecks(tab, grid, {
      {"chkSS", "Disable ScreenSaver",
       "Check if you want the screen saver disabled while Lumaset is running.",
       &C::screenSaverOff, 0, 0},
      {"chkFastPrint", "Fast bitmap printing", "Faster printing of bitmaps, but uses more memory",
       &C::fastPrint, 1, 0},
      {"chkMem", "Show memory meter",
       "Shows a memory available meter next to the layout preview window", &C::memoryMeter, 2, 0},
      {"chkScanShow", "Show scan interface",
       "Check if you wish to view the scanner interface during scanning operations",
       &C::scanShow, 3, 0},
      {"chkProg", "Show progress bar", "Shows progress of image effect application",
       &C::progress, 4, 0}});

  auto* scale = new QGroupBox(QStringLiteral("Paper scale"), tab);
  auto* scaleColumn = new QVBoxLayout(scale);
  units_ = AddOptions(scale, scaleColumn,
                      {{QStringLiteral("optIN"), QStringLiteral("Inches"),
                        QStringLiteral("Select inch scales")},
                       {QStringLiteral("optCM"), QStringLiteral("Centimeters"),
                        QStringLiteral("Select centimeter scale")}});
  grid->addWidget(scale, 0, 1, 5, 1);
  Follow(units_, [this](int id) { model_.ChooseUnit(id == 0); });

  labRes_ = AddLabel(tab, "labRes", ResolutionText(400),
                     QStringLiteral("Resolution used for layout display"));
  AddSlider(tab, "Slider2", 100, 800, 50, &C::resolution)
      ->setToolTip(QStringLiteral("Custom resolution for rendering preview images"));
  labJpgQ_ = AddLabel(tab, "labJpgQ", QStringLiteral("JPEG quality: (95)"),
                      QStringLiteral("File save quality: SQ = Standard, HQ = High, and SHQ = "
                                     "Super-High Quality"));
  AddSlider(tab, "Slider3", 1, 100, 5, &C::quality);
  labDPI_ = AddLabel(tab, "labDPI", JpegDpiText(150), QStringLiteral("File save DPI"));
  AddSlider(tab, "Slider4", 50, 600, 5, &C::dpi)
      ->setToolTip(QStringLiteral("Change DPI for file saves"));
  const QList<std::pair<QLabel*, std::pair<const char*, QString>>> scales{
      {labRes_, {"Label5", QStringLiteral("100       300      500      700")}},
      {labJpgQ_, {"Label3", QStringLiteral("LQ         SQ        HQ      SHQ")}},
      {labDPI_, {"Label6", QStringLiteral("   100          300         500")}}};
  int row = 5;
  for (int i = 0; i < scales.size(); ++i) {
    QSlider* slider = sliders_[sliders_.size() - scales.size() + i].first;
    scales[i].first->setBuddy(slider);
    grid->addWidget(scales[i].first, row++, 0, 1, 2);
    grid->addWidget(slider, row++, 0, 1, 2);
    auto* marks = new SliderScale(slider, scales[i].second.first, scales[i].second.second, tab);
    grid->addWidget(marks, row++, 0, 1, 2);
    if (i == 1) marks->setToolTip(QStringLiteral("File size increases with quality"));
  }
  return tab;
}

void PreferencesDialog::BuildButtons() {
  auto* cmdOK =
      AddButton(this, "cmdOK", QStringLiteral("OK"), QStringLiteral("Exit with changes"));
  cmdOK->setDefault(true);
  auto* cmdCancel = AddButton(this, "cmdCancel", QStringLiteral("Cancel"),
                              QStringLiteral("Exit without option changes"));
  cmdApply_ = AddButton(this, "cmdApply", QStringLiteral("&Apply"),
                        QStringLiteral("Apply these option changes"));
  auto* cmdHelp = AddButton(this, "cmdHelp", {});
  cmdHelp->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
  cmdHelp->setAccessibleName(QStringLiteral("Help"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* button : {cmdOK, cmdCancel, cmdApply_, cmdHelp}) buttons->addWidget(button);
  auto* column = new QVBoxLayout(this);
  column->addWidget(tabs_);
  column->addLayout(buttons);

  connect(cmdOK, &QPushButton::clicked, this, &PreferencesDialog::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &PreferencesDialog::reject);
  connect(cmdApply_, &QPushButton::clicked, this, &PreferencesDialog::cmdApplyClick);
  connect(cmdHelp, &QPushButton::clicked, this, [this] {
    if (hooks_.showHelp) hooks_.showHelp(kHelpContext);
  });
}

void PreferencesDialog::Follow(QButtonGroup* group, const std::function<void(int id)>& choose) {
  KeepTabOnChoice(group->buttons());
  connect(group, &QButtonGroup::idToggled, this, [this, choose](int id, bool on) {
    if (showing_ || !on) return;
    choose(id);
    Edited();
  });
}

void PreferencesDialog::ShowControls() {
  // What the window shows of the model is no edit of the user's.
  const QScopedValueRollback showing(showing_, true);
  const PreferencesControls& c = model_.controls();
  for (const auto& [box, field] : checks_) box->setChecked(c.*field);
  for (const auto& [slider, field] : sliders_) {
    const QSignalBlocker blocker(slider);
    slider->setValue(c.*field);
  }
  findChild<QCheckBox*>(QStringLiteral("chkSound"))->setEnabled(c.soundEnabled);
  findChild<QCheckBox*>(QStringLiteral("chkMidi"))->setEnabled(c.musicEnabled);
  findChild<QCheckBox*>(QStringLiteral("chkScanShow"))->setEnabled(c.scanShowEnabled);
  Choose(grid_, c.coarse ? 0 : 1);
  EnableGroup(grid_, c.grid);
  Choose(reduce_, c.least ? 0 : 1);
  EnableGroup(reduce_, c.reduce);
  Choose(units_, c.inches ? 0 : 1);
  Choose(drives_, c.drive);
  Choose(cameras_, c.camera);
  Choose(connection_, c.serial ? 0 : 1);

  labThumb_->setText(c.thumbLabel);
  labPreview_->setText(c.widthLabel);
  label1_->setText(IntervalText(c.interval));
  for (QWidget* widget : {static_cast<QWidget*>(label1_), static_cast<QWidget*>(label2_),
                          static_cast<QWidget*>(sliders_.front().first)}) {
    widget->setEnabled(c.autoChange);
  }
  labMidiDir_->setFullText(c.midiFolderName);
  labMidiDir_->setEnabled(c.music);
  cmdMidi_->setEnabled(c.music);
  labRes_->setText(ResolutionText(c.resolution));
  labJpgQ_->setText(JpegQualityText(c.quality));
  findChild<QSlider*>(QStringLiteral("Slider3"))->setToolTip(JpegQualityBand(c.quality));
  labDPI_->setText(JpegDpiText(c.dpi));
  cmdApply_->setEnabled(model_.applyEnabled());
}

void PreferencesDialog::Edited() { ShowControls(); }

void PreferencesDialog::cmdApplyClick() {
  cmdApply_->setEnabled(false);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const PreferencesModel::Applied applied = model_.Apply(context_.settings, context_.folders.midi);
  if (applied.screenSaverActive && hooks_.setScreenSaverActive)
    hooks_.setScreenSaverActive(*applied.screenSaverActive);
  ShowControls();
  if (!applied.stored) Tell(QStringLiteral("Error saving settings: ") + applied.stored.error());
}

void PreferencesDialog::cmdOKClick() {
  if (model_.applyEnabled()) cmdApplyClick();
  accept();
}

void PreferencesDialog::cmdLayOutClick() {
  DataFolderDialog dialog({.settings = context_.settings,
                           .drives = hooks_.drives,
                           .prefFolder = context_.folders.layouts,
                           .programFolder = context_.programFolder,
                           .appTitle = context_.appTitle,
                           .playEvent = hooks_.playEvent,
                           .messageBox = hooks_.messageBox,
                           .askText = hooks_.askText,
                           .today = hooks_.today},
                          this);
  dialog.exec();
  if (dialog.prefFolder().isEmpty()) return;
  context_.folders.layouts = dialog.prefFolder();
  context_.settings.writeSetting(QStringLiteral("DataPath"), context_.folders.layouts);
  if (Status stored = context_.settings.sync(); !stored)
    Tell(QStringLiteral("Error saving settings: ") + stored.error());
}

void PreferencesDialog::cmdCleanClick() {
  LayoutCleanerSetup setup;
  setup.owner = this;
  setup.appTitle = context_.appTitle;
  setup.pick = [this] {
    LayoutPickerDialog picker(hooks_.drives, context_.folders.layouts,
                              [this](bool wait) {
                                if (!context_.options.genSound || !hooks_.playSound) return;
                                hooks_.playSound(wait ? Sound::Close : Sound::Open,
                                                 wait ? Wait::Yes : Wait::No);
                              },
                              this);
    picker.exec();
    return picker.choice();
  };
  setup.messageBox = hooks_.messageBox;
  setup.recycle = hooks_.recycle;
  setup.readPictures = hooks_.layoutPictures;
  setup.betweenFiles = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
  CleanSavedLayout(setup);
}

void PreferencesDialog::cmdMidiClick() {
  if (hooks_.pickMidiFolder) hooks_.pickMidiFolder();
  model_.MidiFolderChosen(context_.folders.midi);
  ShowControls();
}

void PreferencesDialog::cmdVolClick() {
  const double twipsPerPixel = TwipsPerPixel(screen() ? screen()->logicalDotsPerInch() : 96.0);
  const QRect frame = frameGeometry();
  const auto centred = [&](int start, int extent, int mixerExtent) {
    return static_cast<int>(std::lround(start * twipsPerPixel +
                                        (extent * twipsPerPixel - mixerExtent) / 2.0));
  };
  const QPoint topLeft(centred(frame.left(), frame.width(), kMixerWidthTwips),
                       centred(frame.top(), frame.height(), kMixerHeightTwips));
  if (hooks_.openMixer) hooks_.openMixer(this, topLeft);
}

void PreferencesDialog::TabChanged() {
  if (context_.options.genSound && hooks_.playSound) hooks_.playSound(Sound::Select, Wait::No);
}

void PreferencesDialog::Tell(const QString& text) {
  hooks_.messageBox(this, QMessageBox::Warning, context_.appTitle, text, QMessageBox::Ok);
}

void PreferencesDialog::done(int result) {
  if (!unloaded_) {
    unloaded_ = true;
    if (context_.options.genSound && hooks_.playSound) hooks_.playSound(Sound::Close, Wait::Yes);
  }
  QDialog::done(result);
}

// ---------------------------------------------------------------- the main window's way in

PreferencesResult ShowPreferences(QWidget* owner, AppState& app, PreferencesLinks links,
                                  PreferencesTab openTab) {
  PreferencesHooks hooks;
  hooks.drives = SystemDrives();
  hooks.environment = {app.sounds().DeviceExists(), FluidMidiPlayer().DevicePresent(),
                       DownloadDrives(hooks.drives), app.scanAvailable};
  hooks.playSound = [&app](Sound sound, Wait wait) { app.sounds().Play(sound, wait); };
  if (app.sounds().DeviceExists()) {
    hooks.playEvent = [&app](QStringView name, EventSoundPlay how) {
      app.sounds().PlayEvent(name, how == EventSoundPlay::Wait ? Wait::Yes : Wait::No,
                             how == EventSoundPlay::Interrupt ? Cut::Yes : Cut::No);
    };
  }
  hooks.pickMidiFolder = std::move(links.pickMidiFolder);
  hooks.showHelp = std::move(links.showHelp);
  hooks.openMixer = std::move(links.openMixer);
  hooks.layoutPictures = std::move(links.layoutPictures);
  hooks.setScreenSaverActive = [&app](bool active) { app.screenSaver().SetActive(active); };

  const bool memDisplay = app.options.memDisplay;
  const bool genTree = app.options.genTree;
  PreferencesDialog dialog({app.options, app.folders, app.settings(), app.identity.fullTitle,
                            app.programFolders.userData},
                           std::move(hooks), static_cast<int>(openTab), owner);
  dialog.exec();
  const PreferencesRequests& requests = dialog.model().requests();
  return {.pageRedrawNeeded = requests.pageRedraw,
          .thumbResizeNeeded = requests.thumbResize,
          .relayoutMayBeNeeded =
              memDisplay != app.options.memDisplay || genTree != app.options.genTree};
}

}  // namespace lumaset
