#include "effects/effect_commands.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include <QFileInfo>

#include "components/imaging/imaging.h"
#include "components/imaging/pixels/imaging_effects.h"
#include "effects/effect_dialogs.h"
#include "frame/number_from_setting.h"

namespace lumaset {

namespace {

const QString kEffect = QStringLiteral("Effect");
const QString kQuestionSound = QStringLiteral("SystemQuestion");
const QString kApplying = QStringLiteral("Applying effect....");

constexpr int kDitherFloor = 2;
constexpr int kDitherCap = 256;
constexpr int kBlockFloor = 1;
constexpr float kIntensityFloor = 0.2f;
constexpr int kNoCap = std::numeric_limits<int>::max();

EffectSpec Effect(const char* tip, const char* errorPrefix) {
  return {kEffect, QString::fromUtf8(tip), QString::fromUtf8(errorPrefix), kApplying, false};
}

Error Overflow() { return Error{QStringLiteral("Overflow")}; }

// Edge Enhance: eight neighbours of 1 around a centre of -8, so the weights
// sum to 0; the filter then adds a quarter of the edge to each pixel.
FilterKernel EdgeKernel() {
  return {{{1.0, 1.0, 1.0}, {1.0, -8.0, 1.0}, {1.0, 1.0, 1.0}}};
}

// Soften: a centre of c = -1 and neighbours of (1 - c) / 8, which sum to 1.
FilterKernel SoftenKernel() {
  constexpr double centre = -1.0;
  constexpr double side = 0.125 - centre / 8;
  return {{{side, side, side}, {side, centre, side}, {side, side, side}}};
}

// Intensify: the picture itself, which the filter scales by its factor.
FilterKernel IdentityKernel() { return {{{0.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 0.0}}}; }

// A number as a person types it: plain decimals, never an exponent, and no
// more digits than the float holds ("12345678", "0.35").
QString PlainNumber(float value) {
  std::array<char, 64> buffer{};
  const auto [end, error] =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
  if (error != std::errc()) return QStringLiteral("0");
  return QString::fromLatin1(buffer.data(), end - buffer.data());
}

}  // namespace

Result<PromptedNumber> ReadWholeAnswer(const QString& text, int floor, int cap) {
  // Rounds half to even, as the default rounding mode does.
  const double rounded = std::nearbyint(static_cast<double>(NumberFromSetting(text)));
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max())) {
    return Overflow();
  }
  const double kept = std::min(rounded, static_cast<double>(cap));
  return PromptedNumber{kept, kept >= floor};
}

Result<PromptedNumber> ReadIntensity(const QString& text) {
  const float level = NumberFromSetting(text);
  if (!std::isfinite(level)) return Overflow();
  return PromptedNumber{level, level >= kIntensityFloor};
}

EffectCommands::EffectCommands(EffectHost& host, QString paletteFolder)
    : host_(host), paletteFolder_(std::move(paletteFolder)) {}

Status EffectCommands::AskWhole(int& value, int floor, int cap, const QString& prompt,
                                const QString& title) {
  if (value < floor) value = floor;
  host_.PlayEvent(kQuestionSound);
  const std::optional<QString> answer = host_.AskText(title, prompt, QString::number(value));
  // A cancelled prompt reads as no number, so the next one offers the floor.
  const Result<PromptedNumber> read = ReadWholeAnswer(answer.value_or(QString()), floor, cap);
  if (!read) {
    value = 0;
    return Error{read.error()};
  }
  value = static_cast<int>(read->remembered);
  return read->accepted ? Status::success() : Declined();
}

void EffectCommands::mnuToolEffectsBlur_Click() {
  RunEffect(host_, Effect("Undo picture blur effect", "Blurring error: "),
            [](Imaging& imaging) { return ImgBlur(imaging, 100); });
}

void EffectCommands::mnuToolEffectsColorGray_Click() {
  RunEffect(host_, Effect("Undo picture grayscale effect", "Grayscale error: "),
            [](Imaging& imaging) { return ImgGrayscale(imaging); });
}

void EffectCommands::mnuToolEffectsSharpen_Click() {
  RunEffect(host_, Effect("Undo sharpen effect", "Sharpening error: "),
            [](Imaging& imaging) { return ImgSharpen(imaging, 20); });
}

void EffectCommands::mnuToolMirror_Click() {
  const EffectSpec spec{QStringLiteral("Mirror"), QStringLiteral("Undo mirror"),
                        QStringLiteral("Mirroring error: "), QString(), false};
  RunEffect(host_, spec, [](Imaging& imaging) { return imaging.ImgMirror(); });
}

void EffectCommands::mnuToolRotate_Click() {
  const EffectSpec spec{QStringLiteral("Rotate"), QStringLiteral("Undo last picture rotation"),
                        QStringLiteral("Error rotating image: "), QStringLiteral("Rotating ...."),
                        true};
  RunEffect(host_, spec, [](Imaging& imaging) { return imaging.ImgRotate(-90.0); });
}

void EffectCommands::mnuToolEffectsDither_Click() {
  RunEffect(
      host_, Effect("Undo dither effect", "Dithering error: "),
      [this](Imaging& imaging) { return ImgDither(imaging, ditherColors_); },
      [this] {
        return AskWhole(ditherColors_, kDitherFloor, kDitherCap,
                        QStringLiteral("Enter number of colors (>2)"),
                        QStringLiteral("Lumaset Dither Effect"));
      });
}

void EffectCommands::mnuToolEffectsMosaic_Click() {
  RunEffect(
      host_, Effect("Undo mosaic effect", "Mosaic error: "),
      [this](Imaging& imaging) { return ImgMosaic(imaging, mosaicBlock_, mosaicBlock_, 7); },
      [this] {
        return AskWhole(mosaicBlock_, kBlockFloor, kNoCap, QStringLiteral("Enter the block size."),
                        QStringLiteral("Lumaset Mosaic Effect"));
      });
}

// Three mosaics over one another: large blue tiles, tall green ones and
// wide red ones. A Cancel in any pass stops the whole command.
void EffectCommands::mnuToolEffectsPatchwork_Click() {
  RunEffect(
      host_, Effect("Undo patchwork effect", "Patchwork error: "),
      [this](Imaging& imaging) {
        const int b = patchworkBlock_;
        const int b3 = 3 * b;
        if (Status pass = ImgMosaic(imaging, b3, b3, 4, QStringLiteral("Patchwork Mosaic")); !pass)
          return pass;
        if (Status pass = ImgMosaic(imaging, b, b3, 2, Imaging::kNoUndo); !pass) return pass;
        return ImgMosaic(imaging, b3, b, 1, Imaging::kNoUndo);
      },
      [this]() -> Status {
        const Status asked =
            AskWhole(patchworkBlock_, kBlockFloor, kNoCap, QStringLiteral("Enter the block size."),
                     QStringLiteral("Lumaset Patchwork Effect"));
        if (asked && patchworkBlock_ > std::numeric_limits<std::int32_t>::max() / 3) return Overflow();
        return asked;
      });
}

void EffectCommands::mnuToolEffectsIntensify_Click() {
  RunEffect(
      host_, Effect("Undo intensify effect", "Intensify error: "),
      [this](Imaging& imaging) {
        return ImgFilter(imaging, IdentityKernel(), -static_cast<double>(intensifyLevel_));
      },
      [this]() -> Status {
        if (intensifyLevel_ < kIntensityFloor) intensifyLevel_ = kIntensityFloor;
        host_.PlayEvent(kQuestionSound);
        const std::optional<QString> answer =
            host_.AskText(QStringLiteral("Lumaset Intensify Effect"),
                          QStringLiteral("Enter intensity (0.2 to 2)"),
                          PlainNumber(intensifyLevel_));
        const Result<PromptedNumber> read = ReadIntensity(answer.value_or(QString()));
        if (!read) {
          intensifyLevel_ = 0;
          return Error{read.error()};
        }
        intensifyLevel_ = static_cast<float>(read->remembered);
        return read->accepted ? Status::success() : Declined();
      });
}

void EffectCommands::mnuToolEffectsEdge_Click() {
  RunEffect(host_, Effect("Undo picture edge effect", "Edge enhance error: "),
            [](Imaging& imaging) { return ImgFilter(imaging, EdgeKernel(), 0.25); });
}

void EffectCommands::mnuToolEffectsSoften_Click() {
  RunEffect(host_, Effect("Undo soften effect", "Softening error: "),
            [](Imaging& imaging) { return ImgFilterMasked(imaging, SoftenKernel(), 1.0, 7); });
}

// The palette is chosen and read before the picture is loaded; a cancelled
// dialog or a refused file leaves everything as it was.
void EffectCommands::mnuToolEffectsPalette_Click() {
  Palette256 palette{};
  RunEffect(
      host_, Effect("Undo palette effect", "Palette error: "),
      [&palette](Imaging& imaging) { return ImgPalette(imaging, palette); },
      [&]() -> Status {
        host_.PlaySound(Sound::Open);
        // Without its palette folder the dialog starts in the folder that
        // should hold it, rather than offering the missing name as a file.
        const QFileInfo folder(paletteFolder_);
        const std::optional<QString> path = host_.ChoosePaletteFile(folder.isDir() ? paletteFolder_ : folder.path());
        if (!path) {
          host_.PlaySound(Sound::Close);
          return Declined();
        }
        Result<Palette256> read = ReadPaletteFile(*path);
        if (!read) {
          host_.ShowInformation(read.error());
          return Declined();
        }
        palette = std::move(read).value();
        return Status::success();
      });
}

// The main timer rests while the dialog is open and runs again however it ends.
template <typename Dialog>
Status EffectCommands::RunDialog(Imaging& imaging) {
  struct TimerPause {
    explicit TimerPause(EffectHost& owner) : host(owner) { host.SetTimerRunning(false); }
    ~TimerPause() { host.SetTimerRunning(true); }
    TimerPause(const TimerPause&) = delete;
    TimerPause& operator=(const TimerPause&) = delete;
    EffectHost& host;
  } pause(host_);
  Dialog dialog(imaging, host_.EffectDialogServices());
  return ShowEffectDialog(dialog);
}

void EffectCommands::mnuToolEffectsBC_Click() {
  RunEffect(host_, Effect("Undo picture brightness/contrast effect", "Brightness/Contrast error: "),
            [this](Imaging& imaging) { return RunDialog<BrightContrastDialog>(imaging); });
}

void EffectCommands::mnuToolEffectsColorAdjust_Click() {
  RunEffect(host_, Effect("Undo picture color adjust effect", "Color adjust error: "),
            [this](Imaging& imaging) { return RunDialog<ColorAdjustDialog>(imaging); });
}

void EffectCommands::mnuToolEffectsColorColorize_Click() {
  RunEffect(host_, Effect("Undo picture colorize effect", "Colorize error: "),
            [this](Imaging& imaging) { return RunDialog<ColorizeDialog>(imaging); });
}

void EffectCommands::mnuToolEffectsColorReplace_Click() {
  RunEffect(host_, Effect("Undo picture color replace effect", "Color replace error: "),
            [this](Imaging& imaging) { return RunDialog<ColorReplaceDialog>(imaging); });
}

void EffectCommands::mnuToolEffectsEmboss_Click() {
  RunEffect(host_, Effect("Undo emboss effect", "Embossing error: "),
            [this](Imaging& imaging) { return RunDialog<EmbossDialog>(imaging); });
}

}  // namespace lumaset
