// The main window's picture viewing: the full-size preview, the properties
// window and the slide show, each opened on the thumbnail panel's pictures.

#include <QTimer>

#include "app/commands.h"
#include "app/main_window.h"
#include "browser/preview_window.h"
#include "browser/properties_window.h"
#include "browser/slide_show.h"
#include "browser/thumbnail_area.h"
#include "components/midi_player.h"
#include "components/mixer_device.h"
#include "frame/app_state.h"
#include "frame/sounds.h"
#include "layout/adjust_panel.h"
#include "layout/layout_page.h"

namespace lumaset {

namespace {

Sound PreviewSound(PreviewWindow::Sound sound) {
  switch (sound) {
    case PreviewWindow::Sound::In: return Sound::In;
    case PreviewWindow::Sound::Out: return Sound::Out;
    case PreviewWindow::Sound::Show: break;
  }
  return Sound::Show;
}

}  // namespace

void MainWindow::ConnectViewing() {
  picPan_->setPreviewAvailable(true);
  picPan_->setPropertiesAvailable(true);
  const auto view = [this] { picPan_->mnuFileOptionsView_Click(); };
  const auto properties = [this] { picPan_->mnuFileOptionsProperties_Click(); };
  commands_->Wire(u"mnuFileOptionsView", view);
  commands_->Wire(u"mnuViewImage", view);
  commands_->Wire(u"mnuFileOptionsProperties", properties);
  commands_->Wire(u"mnuViewProperties", properties);
  commands_->Wire(u"mnuFileOptionsUnselect", [this] { picPan_->mnuFileOptionsUnselect_Click(); });
  commands_->Wire(u"mnuViewSlide", [this] { mnuViewSlide_Click(); });
  // Thumbnail commands are offered only while a thumbnail is selected.
  SetThumbTools(false);
  commands_->SetEnabled(u"mnuViewSlide", false);
  commands_->SetEnabled(u"SlideShow", false);

  connect(picPan_, &ThumbnailPanel::previewRequested, this,
          [this](const QString& file, float aspect, int index) { ShowPreview(file, aspect, index); });
  connect(picPan_, &ThumbnailPanel::propertiesRequested, this, &MainWindow::ShowProperties);
}

void MainWindow::ShowPreview(const QString& file, float aspect, int index) {
  if (timer1_) timer1_->stop();
  PreviewWindow preview(picPan_->table(), app_.identity.fullTitle, this);
  connect(&preview, &PreviewWindow::thumbNailSelectRequested, this,
          [this](int selected) { picPan_->ThumbNailSelect(selected, true); });
  connect(&preview, &PreviewWindow::soundRequested, this, [this](PreviewWindow::Sound sound, bool wait) {
    app_.sounds().Play(PreviewSound(sound), wait ? Wait::Yes : Wait::No);
  });
  previewOpen_ = true;
  preview.View(file, aspect, index);
  preview.exec();
  previewOpen_ = false;
  if (timer1_) timer1_->start();
}

void MainWindow::ShowProperties(int index) {
  PropertiesSubject subject = SubjectFromTable(picPan_->table(), index);
  subject.printerName = layout_->adjustPanel()->printerCaption();
  subject.printerRes = layout_->model().geometry().printerRes;
  subject.inches = layout_->model().geometry().inches;
  PropertiesWindow window(this);
  connect(&window, &PropertiesWindow::soundRequested, this,
          [this](PropertiesWindow::Sound sound, bool wait) {
            app_.sounds().Play(sound == PropertiesWindow::Sound::Open ? Sound::Open : Sound::Close,
                               wait ? Wait::Yes : Wait::No);
          });
  // The count made for the window serves the table too: one file, one number.
  connect(&window, &PropertiesWindow::colorsCounted, this, [this, index](int colors) {
    if (colors > 0) picPan_->table().setColors(index, colors);
  });
  window.Load(subject);
  window.exec();
}

void MainWindow::mnuViewSlide_Click() {
  if (slideShow_) return;  // one show at a time
  if (timer1_) timer1_->stop();
  SlideShowContext context{
      picPan_->table(),
      app_.options,
      app_.folders.midi,
      app_.settings(),
      slideMemory_,
      app_.identity.name,
      [this] { app_.sounds().PlaySlideShow(); },
      [this](QStringView name) { app_.sounds().PlayEvent(name); },
      [this](bool active) { app_.screenSaver().SetActive(active); },
      [] { return std::make_unique<FluidMidiPlayer>(); },
      [] { return std::make_unique<AlsaMixerDevice>(); },
      {},
      {},
      {}};
  slideShow_ = new SlideShowWindow(std::move(context), this);
  connect(slideShow_, &SlideShowWindow::ended, this, [this] {
    if (timer1_) timer1_->start();
    slideShow_->deleteLater();
    slideShow_ = nullptr;
  });
  slideShow_->Start();
}

}  // namespace lumaset
