#include "frame/settings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "components/settings_store.h"
#include "frame/number_from_setting.h"

namespace lumaset {

namespace {

constexpr SettingKey Flag(QStringView key, bool on, bool Options::*field) {
  return {key, on ? QStringView(u"True") : QStringView(u"False"), SettingKind::Flag,
          std::nullopt, field};
}

constexpr SettingKey Integer(QStringView key, QStringView defaultText, SettingRange range,
                             std::int16_t Options::*field) {
  return {key, defaultText, SettingKind::Integer, range, field};
}

constexpr SettingKey Text(QStringView key, QStringView defaultText, QString Options::*field) {
  return {key, defaultText, SettingKind::Text, std::nullopt, field};
}

constexpr SettingKey CheckState(QStringView key, QStringView defaultText) {
  return {key, defaultText, SettingKind::CheckState, SettingRange{0, 1}, std::monostate{}};
}

constexpr std::array kSettingsKeys{
    Flag(u"GenSound", true, &Options::genSound),
    Flag(u"GenOpen", false, &Options::reopenFolder),
    Flag(u"GenLarge", false, &Options::genLarge),
    Flag(u"GenGrid", true, &Options::genGrid),
    Integer(u"GridType", u"1", {1, 2}, &Options::gridType),
    Flag(u"PrintMargin", false, &Options::printMargin),
    SettingKey{u"ThumbSize", u"1", SettingKind::Size, std::nullopt, &Options::thumbSize},
    SettingKey{u"LayOutWidth", u"3.5", SettingKind::Size, std::nullopt, &Options::layOutWidth},
    Flag(u"GenSave", true, &Options::genSave),
    Flag(u"GenTree", true, &Options::genTree),
    Flag(u"GenClick", false, &Options::genClick),
    Flag(u"GenReduce", false, &Options::genReduce),
    SettingKey{u"Reduce", u"1280", SettingKind::Reduce, SettingRange{640, 1280}, &Options::reduce},
    Flag(u"SSFadeIn", false, &Options::ssFadeIn),
    Flag(u"SSFadeOut", false, &Options::ssFadeOut),
    Flag(u"SSSound", true, &Options::ssSound),
    Flag(u"SSMidi", false, &Options::ssMidi),
    Flag(u"SSKey", false, &Options::ssKey),
    Flag(u"SSMouse", false, &Options::ssMouse),
    Flag(u"SSAuto", true, &Options::ssAuto),
    Integer(u"SSTime", u"5", {0, 60}, &Options::ssTime),
    Text(u"Camera", u"", &Options::camera),
    Text(u"Camera Connection", u"", &Options::cameraConnection),
    Text(u"Download Drive", u"", &Options::downloadDrive),
    Text(u"ScaleType", u"Inches", &Options::scaleType),
    SettingKey{u"ImageRes", u"350", SettingKind::Size, SettingRange{100, 800}, &Options::imageRes},
    Integer(u"JpegQuality", u"90", {1, 100}, &Options::jpegQuality),
    Integer(u"JpegDPI", u"150", {50, 600}, &Options::jpegDpi),
    Flag(u"MemDisplay", false, &Options::memDisplay),
    Flag(u"ShowProgress", true, &Options::showProgress),
    Flag(u"DisableScreenSaver", false, &Options::disableScreenSaver),
    CheckState(u"FastPrint", u"1"),
    CheckState(u"ShowScan", u"0"),
};

// The keys Apply stores when "Save option settings" is on, in the order it
// stores them, after "GenSave".
constexpr std::array<QStringView, 31> kStoredOnApply{
    u"GenLarge", u"GenGrid", u"GridType", u"PrintMargin", u"ThumbSize", u"LayOutWidth",
    u"GenSound", u"GenTree", u"GenClick", u"GenReduce", u"Reduce", u"SSFadeIn", u"SSFadeOut",
    u"SSSound", u"SSMidi", u"SSMidiFolder", u"SSKey", u"SSMouse", u"SSAuto", u"SSTime",
    u"Camera", u"Camera Connection", u"Download Drive", u"ScaleType", u"ImageRes",
    u"JpegQuality", u"JpegDPI", u"MemDisplay", u"ShowScan", u"ShowProgress",
    u"DisableScreenSaver"};

template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};

// A stored number too large for 16 bits takes the nearest end of the range
// rather than wrapping round.
std::int16_t RoundToInt16(float value) {
  const double below = std::floor(double{value});
  const double fraction = double{value} - below;
  double rounded = below;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0)) rounded = below + 1.0;
  return static_cast<std::int16_t>(std::clamp(rounded,
                                              double{std::numeric_limits<std::int16_t>::min()},
                                              double{std::numeric_limits<std::int16_t>::max()}));
}

void ApplyText(Options& options, const SettingKey& entry, QStringView text) {
  std::visit(Overloaded{
                 [](std::monostate) {},
                 [&](bool Options::*flag) {
                   if (const std::optional<bool> on = FlagFromSetting(text)) options.*flag = *on;
                 },
                 [&](std::int16_t Options::*integer) {
                   options.*integer = RoundToInt16(NumberFromSetting(text));
                 },
                 [&](float Options::*size) {
                   options.*size = entry.kind == SettingKind::Reduce ? LeadingNumber(text)
                                                                     : NumberFromSetting(text);
                 },
                 [&](QString Options::*field) { options.*field = text.toString(); },
             },
             entry.field);
}

QString StoredText(const Options& options, const SettingKey& entry) {
  return std::visit(Overloaded{
                        [](std::monostate) { return QString(); },
                        [&](bool Options::*flag) { return FlagText(options.*flag); },
                        [&](std::int16_t Options::*integer) {
                          return SettingText(int{options.*integer});
                        },
                        [&](float Options::*size) {
                          return entry.kind == SettingKind::Reduce
                                     ? ReduceText(options.*size)
                                     : SettingText(double{options.*size});
                        },
                        [&](QString Options::*field) { return options.*field; },
                    },
                    entry.field);
}

QString CheckText(bool checked) { return SettingText(checked ? 1 : 0); }

// The value with one decimal, halves away from zero.
QString OneDecimalText(float value) {
  return QString::number(std::round(double{value} * 10.0) / 10.0, 'f', 1);
}

}  // namespace

Options::Options() {
  for (const SettingKey& entry : kSettingsKeys) ApplyText(*this, entry, entry.defaultText);
}

std::span<const SettingKey> SettingsKeys() { return kSettingsKeys; }

const SettingKey* FindSettingKey(QStringView key) {
  const auto* found = std::find_if(kSettingsKeys.begin(), kSettingsKeys.end(),
                                   [&](const SettingKey& entry) { return entry.key == key; });
  return found == kSettingsKeys.end() ? nullptr : found;
}

std::optional<bool> FlagFromSetting(QStringView text) {
  const QStringView word = text.trimmed();
  if (word.compare(u"True", Qt::CaseInsensitive) == 0) return true;
  if (word.compare(u"False", Qt::CaseInsensitive) == 0) return false;
  if (const std::optional<float> number = WholeNumber(text)) return *number != 0.0F;
  return std::nullopt;
}

Options LoadOptions(const SettingsStore& store) {
  Options options;
  for (const SettingKey& entry : kSettingsKeys) {
    if (std::holds_alternative<std::monostate>(entry.field)) continue;
    const QString text = store.readSetting(entry.key.toString(), entry.defaultText.toString());
    ApplyText(options, entry, text);
  }
  return options;
}

QString FlagText(bool value) { return SettingText(value); }

QString ReduceText(float value) { return QLatin1Char(' ') + SettingText(double{value}); }

QList<SettingWrite> OptionsWritesOnApply(const Options& options, bool fastPrintChecked,
                                         bool genOpenChecked, bool showScanChecked,
                                         const QString& midiFolder) {
  QList<SettingWrite> writes{{QStringLiteral("FastPrint"), CheckText(fastPrintChecked)},
                             {QStringLiteral("GenOpen"), FlagText(genOpenChecked)},
                             {QStringLiteral("GenSave"), FlagText(options.genSave)}};
  if (!options.genSave) return writes;

  // Music cannot play from no folder, so it is stored off without one.
  Options stored = options;
  stored.ssMidi = options.ssMidi && !midiFolder.isEmpty();
  for (QStringView key : kStoredOnApply) {
    if (key == u"SSMidiFolder") {
      if (!midiFolder.isEmpty()) writes.append({key.toString(), midiFolder});
    } else if (key == u"ShowScan") {
      writes.append({key.toString(), CheckText(showScanChecked)});
    } else {
      writes.append({key.toString(), StoredText(stored, *FindSettingKey(key))});
    }
  }
  return writes;
}

void WriteOptionsOnApply(SettingsStore& store, const Options& options, bool fastPrintChecked,
                         bool genOpenChecked, bool showScanChecked, const QString& midiFolder) {
  const QList<SettingWrite> writes =
      OptionsWritesOnApply(options, fastPrintChecked, genOpenChecked, showScanChecked, midiFolder);
  for (const SettingWrite& write : writes) store.writeSetting(write.key, write.text);
}

bool IsInches(const QString& scaleType) { return scaleType == u"Inches"; }

SettingRange SizeRange(SizeKind kind, bool centimeters) {
  if (kind == SizeKind::Thumbnail) return centimeters ? SettingRange{2, 5} : SettingRange{1, 2};
  return centimeters ? SettingRange{4, 20} : SettingRange{2, 10};
}

float ConvertSizeUnit(float value, bool toCentimeters, SizeKind kind) {
  const float converted = toCentimeters ? value * 2.0F : value / 2.0F;
  const SettingRange range = SizeRange(kind, toCentimeters);
  return std::clamp(converted, range.low, range.high);
}

QString SizeLabelText(SizeKind kind, float value, bool inches) {
  const QString unit = inches ? QStringLiteral(" inch") : QStringLiteral(" cm");
  const QString words = kind == SizeKind::Thumbnail ? QStringLiteral(" size for thumbnail layout")
                                                    : QStringLiteral(" default width for layouts");
  return OneDecimalText(value) + unit + words;
}

void ClampForPreferences(Options& options) {
  const bool centimeters = !IsInches(options.scaleType);
  const SettingRange thumb = SizeRange(SizeKind::Thumbnail, centimeters);
  const SettingRange width = SizeRange(SizeKind::LayoutWidth, centimeters);
  options.thumbSize = std::clamp(options.thumbSize, thumb.low, thumb.high);
  options.layOutWidth = std::clamp(options.layOutWidth, width.low, width.high);
  const SettingRange quality = *FindSettingKey(u"JpegQuality")->range;
  options.jpegQuality = static_cast<std::int16_t>(std::clamp<int>(
      options.jpegQuality, static_cast<int>(quality.low), static_cast<int>(quality.high)));
}

}  // namespace lumaset
