// Makes Lumaset's sound effects: short chimes, glides and knocks of sine
// partials under a soft envelope, each one a mono 16-bit WAVE file at
// 22050 Hz. Nothing random goes in, so running the tool again gives the same
// files. Usage: make_sounds <output folder>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

#include "tool_files.h"
#include <vector>

namespace lumaset {
namespace {

constexpr int kRate = 22050;
constexpr double kPeak = 0.5;       // about -6 dB: present, never harsh
constexpr double kAttack = 0.006;   // seconds; a softer start than a click
constexpr double kRelease = 0.015;  // seconds faded at each note's end

struct Partial {
  double ratio;  // of the note's frequency
  double level;
};

// Bells have partials off the harmonic series that die away faster than the
// fundamental; soft tones are nearly pure; a knock is short and inharmonic.
const std::vector<Partial> kSoft{{1.0, 1.0}, {2.0, 0.22}, {3.0, 0.06}};
const std::vector<Partial> kBell{{1.0, 1.0}, {2.0, 0.3}, {2.76, 0.22}, {5.4, 0.08}};
const std::vector<Partial> kWood{{1.0, 1.0}, {2.32, 0.45}, {4.13, 0.2}};

struct Note {
  double start;   // seconds into the clip
  double length;  // seconds
  double from;    // Hz at the start
  double to;      // Hz at the end: a glide when it differs
  double level;
  double decay;  // seconds for the level to fall to 1/e
  const std::vector<Partial>* timbre;
};

struct Recipe {
  const char* file;
  double length;  // seconds
  std::vector<Note> notes;
};

constexpr double C5 = 523.25, E5 = 659.26, G5 = 783.99, A5 = 880.0, B5 = 987.77;
constexpr double C6 = 1046.5, E6 = 1318.51, G6 = 1567.98, C7 = 2093.0, E7 = 2637.02;
constexpr double G4 = 392.0;

Note Chime(double start, double length, double hz, double level, double decay) {
  return {start, length, hz, hz, level, decay, &kBell};
}
Note Tone(double start, double length, double hz, double level, double decay) {
  return {start, length, hz, hz, level, decay, &kSoft};
}
Note Glide(double start, double length, double from, double to, double decay) {
  return {start, length, from, to, 1.0, decay, &kSoft};
}

std::vector<Recipe> Recipes() {
  return {
      {"start.wav",
       0.6,
       {Chime(0, 0.6, C5, 1, 0.25), Chime(0.08, 0.52, E5, 0.9, 0.25),
        Chime(0.16, 0.44, G5, 0.85, 0.25), Chime(0.24, 0.36, C6, 0.8, 0.2)}},
      {"exit.wav",
       0.55,
       {Chime(0, 0.55, C6, 0.8, 0.2), Chime(0.09, 0.46, G5, 0.85, 0.22),
        Chime(0.18, 0.37, E5, 0.9, 0.22), Chime(0.27, 0.28, C5, 1, 0.25)}},
      {"open.wav", 0.22, {Tone(0, 0.1, G5, 1, 0.08), Tone(0.07, 0.15, C6, 1, 0.08)}},
      {"close.wav", 0.22, {Tone(0, 0.1, C6, 1, 0.08), Tone(0.07, 0.15, G5, 1, 0.08)}},
      {"add.wav", 0.14, {Glide(0, 0.13, 600, 1200, 0.05)}},
      {"effect.wav",
       0.45,
       {Chime(0, 0.45, C7, 0.6, 0.12), Chime(0.06, 0.39, G6, 0.6, 0.12),
        Chime(0.12, 0.33, E7, 0.5, 0.12), Chime(0.18, 0.27, C7, 0.6, 0.12)}},
      {"delete.wav", 0.28, {Glide(0, 0.27, 700, 220, 0.15)}},
      {"print.wav",
       0.45,
       {Tone(0, 0.08, A5, 0.8, 0.04), Tone(0.12, 0.08, A5, 0.8, 0.04),
        Tone(0.24, 0.21, E6, 1, 0.08)}},
      {"select.wav", 0.09, {Tone(0, 0.09, E6, 1, 0.025)}},
      {"show.wav", 0.35, {Chime(0, 0.35, A5, 0.6, 0.15), Chime(0, 0.35, E6, 0.8, 0.15)}},
      {"tool.wav", 0.15, {{0, 0.15, G4, G4, 1, 0.04, &kWood}}},
      {"in.wav", 0.16, {Glide(0, 0.15, 500, 1000, 0.08)}},
      {"out.wav", 0.16, {Glide(0, 0.15, 1000, 500, 0.08)}},
      {"restore-up.wav", 0.26, {{0, 0.25, 330, 660, 1, 0.12, &kBell}}},
      {"restore-down.wav", 0.26, {{0, 0.25, 660, 330, 1, 0.12, &kBell}}},
      {"maximize.wav",
       0.3,
       {Tone(0, 0.1, C5, 1, 0.06), Tone(0.07, 0.1, E5, 1, 0.06), Tone(0.14, 0.16, G5, 1, 0.07)}},
      {"minimize.wav",
       0.3,
       {Tone(0, 0.1, G5, 1, 0.06), Tone(0.07, 0.1, E5, 1, 0.06), Tone(0.14, 0.16, C5, 1, 0.07)}},
      {"question.wav", 0.4, {Chime(0, 0.2, E5, 1, 0.12), Chime(0.14, 0.26, B5, 0.9, 0.14)}},
      {"default.wav", 0.3, {Chime(0, 0.3, A5, 1, 0.12)}},
  };
}

// Adds one note into `mix`, which holds the clip's samples as doubles.
void Render(const Note& note, std::vector<double>& mix) {
  const auto first = static_cast<std::size_t>(note.start * kRate);
  const auto count = static_cast<std::size_t>(note.length * kRate);
  std::vector<double> phases(note.timbre->size(), 0.0);
  for (std::size_t i = 0; i < count && first + i < mix.size(); ++i) {
    const double t = double(i) / kRate;
    const double hz = note.from * std::pow(note.to / note.from, t / note.length);
    const double attack = std::min(1.0, t / kAttack);
    const double release = std::min(1.0, (note.length - t) / kRelease);
    const double envelope = note.level * attack * release * std::exp(-t / note.decay);
    double sample = 0;
    for (std::size_t p = 0; p < phases.size(); ++p) {
      const Partial& partial = (*note.timbre)[p];
      // Higher partials fade sooner, as they do on struck things.
      sample +=
          partial.level * std::sin(phases[p]) * std::exp(-t * (partial.ratio - 1) / note.decay);
      phases[p] += 2 * std::numbers::pi * hz * partial.ratio / kRate;
    }
    mix[first + i] += envelope * sample;
  }
}

void PutLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(char((value >> (8 * i)) & 0xff));
}

// The clip's last few milliseconds fade out, so that no note cut by the
// clip's end clicks.
void FadeEnd(std::vector<double>& mix) {
  const std::size_t fade = std::min<std::size_t>(mix.size(), std::size_t(0.005 * kRate));
  for (std::size_t i = 0; i < fade; ++i) mix[mix.size() - 1 - i] *= double(i) / double(fade);
}

std::string WaveFile(const std::vector<double>& mix) {
  double loudest = 0;
  for (double s : mix) loudest = std::max(loudest, std::abs(s));
  const double gain = loudest > 0 ? kPeak / loudest : 0;
  const auto dataBytes = std::uint32_t(mix.size() * 2);
  std::string out = "RIFF";
  PutLe(out, 36 + dataBytes, 4);
  out += "WAVEfmt ";
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, 1, 2);  // mono
  PutLe(out, kRate, 4);
  PutLe(out, kRate * 2, 4);  // bytes a second
  PutLe(out, 2, 2);          // bytes a frame
  PutLe(out, 16, 2);         // bits a sample
  out += "data";
  PutLe(out, dataBytes, 4);
  for (double s : mix) {
    const long value = std::lround(std::clamp(s * gain, -1.0, 1.0) * 32767);
    PutLe(out, std::uint32_t(std::int16_t(value)) & 0xffff, 2);
  }
  return out;
}

}  // namespace
}  // namespace lumaset

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_sounds <output folder>\n", stderr);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  for (const lumaset::Recipe& recipe : lumaset::Recipes()) {
    std::vector<double> mix(static_cast<std::size_t>(recipe.length * lumaset::kRate), 0.0);
    for (const lumaset::Note& note : recipe.notes) lumaset::Render(note, mix);
    lumaset::FadeEnd(mix);
    if (!lumaset::WriteFileWhole(folder / recipe.file, lumaset::WaveFile(mix))) {
      std::fprintf(stderr, "make_sounds: cannot write %s\n", (folder / recipe.file).c_str());
      return 1;
    }
  }
  return 0;
}
