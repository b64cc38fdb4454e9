// Whole-command benchmark of the picture effects: a picture is placed on a
// layout page, selected, and one effect command runs on it as the Tools menu
// runs it -- the effect frame loads the picture's file at full size, the
// effect changes it, the result is saved as the page's next temporary JPEG
// (quality 90, the program's default), shrunk to the page's size and shown,
// and the picture is selected again. Dialog effects open their dialog
// (offscreen), set their values as a user would and press Apply.
//
//   bench_effects --generate PATH          makes a 6000 x 4000 photo-like JPEG
//   bench_effects --palette PATH           writes a 768-byte palette file
//   bench_effects --palette-image PAL PNG  that palette as a 256 x 1 PNG (for other tools)
//   bench_effects EFFECT IN OUT [--phases] [--threads N] [--palette-file P]
//
// EFFECT is one of: blur sharpen grayscale dither mosaic patchwork edge
// intensify soften palette brightcontrast colorize emboss replace mirror
// rotate. The command's result is moved to OUT. --phases prints the time of
// placing the picture and of the command to stderr.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <functional>
#include <map>

#include "components/imaging/imaging.h"
#include "components/imaging/pixels/imaging_effects.h"
#include "browser/thumb_table.h"
#include "components/sound_output.h"
#include "effects/effect_commands.h"
#include "effects/effect_dialogs.h"
#include "frame/app_state.h"
#include "layout/layout_page.h"
#include "layout/page_area.h"

#include "photo_like.h"

namespace {

using namespace lumaset;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// The benchmark's photo, written once.
bool generate(const QString& path) {
  const QImage image = bench::PhotoLike(kWidth, kHeight, 20261207U, 60);
  QImageWriter writer(path, "jpeg");
  writer.setQuality(90);
  return writer.write(image);
}

// A palette of 256 colours: a 6 x 7 x 6 cube of 6-bit levels and four greys.
bool writePalette(const QString& path) {
  QByteArray bytes;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 7; ++g)
      for (int b = 0; b < 6; ++b) bytes.append(char(r * 63 / 5)).append(char(g * 63 / 6)).append(char(b * 63 / 5));
  for (int i = 0; bytes.size() < 768; ++i) bytes.append(3, char(i * 16 % 64));
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == 768;
}

class Silence final : public SoundOutput {
 public:
  bool DevicePresent() override { return false; }
  bool IsPlaying() const override { return false; }
  Status Play(const WaveClip&, PlayMode) override { return Status::success(); }
  void Stop() override {}
};

// The main window as far as the page reaches it: no menus, no thumbnails.
class BenchWindow : public LayoutPageWindow {
 public:
  void ToolEnable(const std::optional<PicturePlace>&) override {}
  void SetCommandEnabled(QStringView, bool) override {}
  void SetCropChecked(bool) override {}
  void SetUndoTip(const QString&) override {}
  void SetStatusText(const QString&) override {}
  void PopupToolsMenu() override {}
  void PopupMenu(QMenu&) override {}
  void ShowPreview(const QString&, float) override {}
  ThumbTable& Thumbs() override { return thumbs; }
  void DropSelection() override {}
  void ShowError(const QString& text) override { errors << text; }
  void ShowInformation(const QString& text) override { errors << text; }
  void PlaySound(Sound, Wait) override {}
  void FileNew() override {}
  bool ThumbSheet() override { return false; }
  Imaging::ProgressHandler ImagingProgress() override { return {}; }

  ThumbTable thumbs;
  QStringList errors;
};

// What the effect commands ask of the main window, carried out on the page as
// the main window does; prompts, the palette dialog and the colour picker
// answer with the benchmark's values.
class BenchEffectHost : public EffectHost {
 public:
  BenchEffectHost(AppState& app, LayoutPage& page, BenchWindow& window) : app_(app), page_(page), window_(window) {}

  PageModel& Page() override { return page_.model(); }
  Imaging& imaging() override { return app_.imaging(); }
  QString TempImagesFolder() const override { return app_.programFolders.tempImages; }
  float ImageRes() const override { return app_.options.imageRes; }
  bool ShowProgress() const override { return false; }
  void SetBusy(bool) override {}
  QString StatusText() const override { return {}; }
  void SetStatusText(const QString&) override {}
  void ToolEnable(bool enable, int slot) override { page_.ToolEnable(enable, slot); }
  Status UndoAdd(const QString& kind, const QString& tip) override { return page_.UndoAdd(kind, tip); }
  void UndoAbandon() override { page_.UndoAbandon(); }
  void SetPicture(int slot, const QImage& picture) override {
    page_.SetPicture(slot, picture);
    page_.PageChanged();
  }
  void ClickPicture(int slot) override { page_.ClickPicture(slot); }
  void EnableSave() override {}
  void ShowError(const QString& text) override { window_.errors << text; }
  void ShowInformation(const QString& text) override { window_.errors << text; }
  std::optional<QString> AskText(const QString&, const QString&, const QString&) override { return answer; }
  std::optional<QString> ChoosePaletteFile(const QString&) override { return palette; }
  void PlaySound(Sound) override {}
  void PlayEvent(const QString&) override {}
  DialogServices EffectDialogServices() override {
    DialogServices services;
    services.pickColor = [this](QWidget*, QColor) -> std::optional<QColor> {
      if (colors.empty()) return std::nullopt;
      const QColor picked = colors.front();
      colors.pop_front();
      return picked;
    };
    services.showError = [this](QWidget*, const QString&, const QString& text) { window_.errors << text; };
    return services;
  }
  void SetTimerRunning(bool) override {}

  std::optional<QString> answer;
  std::optional<QString> palette;
  std::deque<QColor> colors;

 private:
  AppState& app_;
  LayoutPage& page_;
  BenchWindow& window_;
};

// Once the dialog of type D is up, `set` gives it the benchmark's values and
// Apply is pressed.
template <typename D>
void PressApplyOn(const std::function<void(D&)>& set) {
  QTimer::singleShot(0, [set] {
    auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return PressApplyOn<D>(set);
    set(*dialog);
    dialog->btnApply()->click();
  });
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer clock;
  clock.start();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The user's own settings and folders are neither read nor touched.
  QTemporaryDir home;
  if (!home.isValid()) return 1;
  qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 3 && args[1] == QLatin1String("--generate")) return generate(args[2]) ? 0 : 1;
  if (args.size() == 3 && args[1] == QLatin1String("--palette")) return writePalette(args[2]) ? 0 : 1;
  if (args.size() == 4 && args[1] == QLatin1String("--palette-image")) {  // the palette as a 256 x 1 PNG
    const auto palette = ReadPaletteFile(args[2]);
    if (!palette) return 1;
    QImage strip(256, 1, QImage::Format_RGB32);
    for (int i = 0; i < 256; ++i) strip.setPixel(i, 0, palette.value()[std::size_t(i)]);
    return strip.save(args[3], "PNG") ? 0 : 1;
  }
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: bench_effects EFFECT IN OUT [--phases] [--threads N] [--palette-file P]\n");
    return 2;
  }
  const QString effect = args[1];
  const bool phases = args.contains(QLatin1String("--phases"));
  const qsizetype paletteAt = args.indexOf(QLatin1String("--palette-file"));

  ProgramFolders folders;
  folders.tempImages = home.path() + QStringLiteral("/temp/");
  AppState state(folders, std::make_unique<Silence>());
  state.options.imageRes = 350;  // the program's defaults
  state.options.jpegQuality = 90;
  state.imaging().setJpegQuality(90);
  const qsizetype threadsAt = args.indexOf(QLatin1String("--threads"));
  if (threadsAt > 0 && threadsAt + 1 < args.size()) state.imaging().setWorkerThreads(args[threadsAt + 1].toInt());

  QWidget frame;
  auto* panPrev = new PagePanel(&frame);
  auto* panAdjust = new QWidget(&frame);
  panPrev->resize(800, 800);
  frame.show();
  BenchWindow window;
  LayoutPage page(state, window, panPrev, panAdjust);
  page.ClearPreview();
  BenchEffectHost host(state, page, window);
  EffectCommands commands(host, home.path());
  if (paletteAt > 0 && paletteAt + 1 < args.size()) host.palette = args[paletteAt + 1];

  // The picture goes on the page from a small copy of the same shape, so
  // that placing it costs next to nothing; the page then names the photo,
  // as a layout that holds it would.
  const QString stand = home.path() + QStringLiteral("/stand-in.jpg");
  if (!QImage(kWidth / 20, kHeight / 20, QImage::Format_RGB32).save(stand, "JPEG")) return 1;
  PageEditState& edit = page.model().edit();
  edit.downX = 4000;
  edit.downY = 4000;
  edit.addWidth = 3000;
  edit.addHeight = 2000;
  page.PicAdd(stand);
  page.FinishAdding();  // the picture is read off the window's thread
  const int slot = page.model().SelectedOnPage();
  if (slot < 0) {
    std::fprintf(stderr, "the picture could not be placed: %s\n", qPrintable(window.errors.join(u' ')));
    return 1;
  }
  page.model().pic(slot).file = args[2];

  const std::map<QString, std::function<void()>> effects{
      {QStringLiteral("blur"), [&] { commands.mnuToolEffectsBlur_Click(); }},
      {QStringLiteral("sharpen"), [&] { commands.mnuToolEffectsSharpen_Click(); }},
      {QStringLiteral("grayscale"), [&] { commands.mnuToolEffectsColorGray_Click(); }},
      {QStringLiteral("dither"), [&] { host.answer = QStringLiteral("16"), commands.mnuToolEffectsDither_Click(); }},
      {QStringLiteral("mosaic"), [&] { host.answer = QStringLiteral("12"), commands.mnuToolEffectsMosaic_Click(); }},
      // Tiles of 12 x 12, 4 x 12 and 12 x 4.
      {QStringLiteral("patchwork"),
       [&] { host.answer = QStringLiteral("4"), commands.mnuToolEffectsPatchwork_Click(); }},
      {QStringLiteral("edge"), [&] { commands.mnuToolEffectsEdge_Click(); }},
      {QStringLiteral("intensify"),
       [&] { host.answer = QStringLiteral("1.5"), commands.mnuToolEffectsIntensify_Click(); }},
      {QStringLiteral("soften"), [&] { commands.mnuToolEffectsSoften_Click(); }},
      {QStringLiteral("palette"), [&] { commands.mnuToolEffectsPalette_Click(); }},
      {QStringLiteral("brightcontrast"),
       [&] {
         PressApplyOn<BrightContrastDialog>([](BrightContrastDialog& d) {
           d.scrBrightness->setValue(10);
           d.scrContrast->setValue(10);
         });
         commands.mnuToolEffectsBC_Click();
       }},
      {QStringLiteral("colorize"),
       [&] {
         PressApplyOn<ColorizeDialog>([](ColorizeDialog& d) { d.scrHue->setValue(20); });
         commands.mnuToolEffectsColorColorize_Click();
       }},
      {QStringLiteral("emboss"),
       [&] {
         PressApplyOn<EmbossDialog>([](EmbossDialog&) {});
         commands.mnuToolEffectsEmboss_Click();
       }},
      // The picked colour and its neighbours within the tolerance become red.
      {QStringLiteral("replace"),
       [&] {
         host.colors = {QColor(120, 140, 160), QColor(255, 0, 0)};
         PressApplyOn<ColorReplaceDialog>([](ColorReplaceDialog& d) {
           d.btnOld->click();
           d.btnNew->click();
           d.scrTol->setValue(20);
           d.cmdReplace->click();
         });
         commands.mnuToolEffectsColorReplace_Click();
       }},
      {QStringLiteral("mirror"), [&] { commands.mnuToolMirror_Click(); }},
      {QStringLiteral("rotate"), [&] { commands.mnuToolRotate_Click(); }},
  };
  const auto found = effects.find(effect);
  if (found == effects.end()) {
    std::fprintf(stderr, "unknown effect %s\n", qPrintable(effect));
    return 2;
  }
  if (phases) std::fprintf(stderr, "place   %7.1f ms\n", static_cast<double>(clock.nsecsElapsed()) / 1e6);
  clock.restart();
  found->second();
  if (phases) std::fprintf(stderr, "command %7.1f ms\n", static_cast<double>(clock.nsecsElapsed()) / 1e6);
  const QString result = page.model().pic(slot).file;
  if (!window.errors.isEmpty() || result == args[2]) {
    std::fprintf(stderr, "%s failed: %s\n", qPrintable(effect), qPrintable(window.errors.join(u' ')));
    return 1;
  }
  QFile::remove(args[3]);
  return QFile::rename(result, args[3]) || QFile::copy(result, args[3]) ? 0 : 1;
}
