#pragma once

// The settings held in memory: what start-up reads from the store, what every
// window reads while the program runs, and how the preferences write them
// back. Values are stored as text; the table SettingsKeys() names each key
// with its default text, so a default lives in one place only.

#include <QList>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <span>
#include <variant>

namespace lumaset {

class SettingsStore;

// The settings that live in memory for the whole run. Each member starts at
// the default of its key in SettingsKeys(). Sizes are in the unit named by
// scaleType; their defaults are inch values.
struct Options {
  Options();

  bool genSound{};
  bool reopenFolder{};  // "GenOpen": open the last folder at start; also the reopen request
  bool genLarge{};
  bool genGrid{};
  std::int16_t gridType{};  // 1 coarse, 2 fine
  bool printMargin{};
  float thumbSize{};
  float layOutWidth{};
  bool genSave{};
  bool genTree{};
  bool genClick{};
  bool genReduce{};
  float reduce{};  // largest side of an e-mailed copy: 1280 or 640 pixels
  bool ssFadeIn{};
  bool ssFadeOut{};
  bool ssSound{};
  bool ssMidi{};
  bool ssKey{};
  bool ssMouse{};
  bool ssAuto{};
  std::int16_t ssTime{};  // seconds
  QString camera;
  QString cameraConnection;
  QString downloadDrive;
  QString scaleType;  // "Inches" or "Centimeters"
  float imageRes{};     // pixels
  std::int16_t jpegQuality{};
  std::int16_t jpegDpi{};
  bool memDisplay{};
  bool showProgress{};
  bool disableScreenSaver{};

  friend bool operator==(const Options&, const Options&) = default;
};

// How a key's text is read back.
enum class SettingKind {
  Flag,        // "True"/"False" (any letter case) or a whole number, 0 off, else on
  Integer,     // NumberFromSetting, rounded half to even into 16 bits
  Size,        // NumberFromSetting
  Reduce,      // the number after the leading blank it is stored with
  Text,        // as stored
  CheckState,  // "0" or "1", read through NumberFromSetting; no global
};

struct SettingRange {
  float low;
  float high;
};

using OptionField = std::variant<std::monostate, bool Options::*, std::int16_t Options::*,
                                 float Options::*, QString Options::*>;

struct SettingKey {
  QStringView key;
  QStringView defaultText;
  SettingKind kind;
  std::optional<SettingRange> range;  // sizes have theirs by unit: SizeRange
  OptionField field;                  // empty for the check states
};

// Every key of the settings held in Options, in the order start-up reads
// them, followed by the check states "FastPrint" and "ShowScan".
std::span<const SettingKey> SettingsKeys();
// The entry of `key`, or nullptr when the table has none.
const SettingKey* FindSettingKey(QStringView key);

// A flag's stored text read back: "True" or "False" in any letter case, or a
// whole number (0 off, anything else on). Any other text is no flag at all;
// the loader then keeps the default, as if the key had never been written.
std::optional<bool> FlagFromSetting(QStringView text);

// Reads every key of Options from the store, each with its default.
Options LoadOptions(const SettingsStore& store);

// The text forms in which the settings are stored.
QString FlagText(bool value);    // "True", "False"
QString ReduceText(float value); // " 1280": the number after one blank

// The write rule of the preferences' Apply: "FastPrint" (0 or 1) and
// "GenOpen" always; then "GenSave" as "False" and nothing else when
// options.genSave is off, otherwise "GenSave" as "True" followed by all the
// others. "SSMidi" is stored on only with a MIDI folder, "SSMidiFolder" only
// when there is one.
struct SettingWrite {
  QString key;
  QString text;
  friend bool operator==(const SettingWrite&, const SettingWrite&) = default;
};
QList<SettingWrite> OptionsWritesOnApply(const Options& options, bool fastPrintChecked,
                                         bool genOpenChecked, bool showScanChecked,
                                         const QString& midiFolder);
void WriteOptionsOnApply(SettingsStore& store, const Options& options, bool fastPrintChecked,
                         bool genOpenChecked, bool showScanChecked, const QString& midiFolder);

// "Inches" exactly means inches; any other scale is centimetres.
bool IsInches(const QString& scaleType);

enum class SizeKind { Thumbnail, LayoutWidth };

// Thumbnail size 1..2 in or 2..5 cm; layout width 2..10 in or 4..20 cm.
SettingRange SizeRange(SizeKind kind, bool centimeters);

// A size in the other unit: doubled to centimetres, halved to inches (a factor
// of 2, not 2.54, so that a round trip gives the value back), clamped to the
// new unit's range.
float ConvertSizeUnit(float value, bool toCentimeters, SizeKind kind);

// The preferences' size label: the value with one decimal and its words,
// "1.0 inch size for thumbnail layout", "7.0 cm default width for layouts".
// NumberFromSetting reads the value back from it.
QString SizeLabelText(SizeKind kind, float value, bool inches);

// What the preferences clamp when they open: both sizes to their unit's range
// and the JPEG quality to 1..100.
void ClampForPreferences(Options& options);

}  // namespace lumaset
