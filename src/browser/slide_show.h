#pragma once

// The slide show `frmSlideShow`: the pictures of the thumbnail table one
// after another on a black full-screen window, the file name above each,
// with optional fades, a sound per slide, random MIDI music from the MIDI
// folder, keys to step, open the mixer or end the show.
//
// The rules (the slide's place, the index steps, the fade levels, the MIDI
// pick) are plain functions and classes below; the window wires its timers,
// keys and clicks to them. Fades run on a timer, one level per tick, so a
// show closed in the middle of a fade simply stops its timer.

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "browser/mixer_window.h"
#include "components/imaging/imaging.h"
#include "frame/units.h"

class QLabel;

namespace lumaset {

template <typename T>
class BackgroundWork;
class MidiPlayer;
class MixerDevice;
class SettingsStore;
class ThumbTable;
struct Options;

// ---- the rules -------------------------------------------------------------------

// Where the slide goes on a screen of `screenWidth` x `screenHeight` twips
// for a picture of `pictureWidth` x `pictureHeight` pixels: a tall picture
// 450 twips shorter than the screen from 400 twips down; a wide one 100
// twips narrower than the screen, centred, unless that would start it less
// than 400 twips from the top, when it is fitted as a tall one. A picture
// without a size counts as square.
TwipsRect SlideRect(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight);

// SlideIndex after a slide: the next one, the first after the last. An
// index outside the table counts as the first.
int NextSlideIndex(int slideIndex, int count);
// SlideIndex for stepping back, given SlideIndex after the slide on show:
// the slide before that one, the last before the first.
int BackSlideIndex(int slideIndex, int count);

// One step of a fade: the brightness level, and whether the slide's border
// shows raised (3-D) or flat.
struct FadeStep {
  int level;
  bool raised;
  friend bool operator==(const FadeStep&, const FadeStep&) = default;
};
// -80 to 0 in steps of 10; raised from -20 on.
std::vector<FadeStep> FadeInSteps();
// -10 to -100 in steps of 10; flat from -40 on.
std::vector<FadeStep> FadeOutSteps();

// The interval of the automatic advance: SSTime seconds, at least 100 ms.
int SlideIntervalMs(int seconds);

// The music pool `MList`: the MIDI files not yet played in this round.
class MidiPool {
 public:
  // The ".mid" files of `folder` (ending with "/") in name order, then its
  // ".rmi" files, letter case of the extension aside.
  static QStringList Listing(const QString& folder);

  // `MidiRandom`: refills the pool from `folder` when it is empty, then
  // takes out the entry at `draw` (0 up to but not including 1) times the
  // pool's size less one, so the entry listed last is always the round's
  // last. Gives nothing when the folder holds no MIDI file.
  std::optional<QString> Pick(const QString& folder, double draw);

  int size() const { return static_cast<int>(entries_.size()); }
  void clear() { entries_.clear(); }

 private:
  QStringList entries_;
};

// ---- the window ----------------------------------------------------------------

// What the show keeps between shows of one run.
struct SlideShowMemory {
  int slideIndex = 0;  // SlideIndex: the next slide to show
  QString midiFile;    // MidiFile: the music file picked last
};

// What a show reads and whom it calls.
struct SlideShowContext {
  const ThumbTable& table;
  const Options& options;  // SSFadeIn, SSFadeOut, SSMidi, SSKey, SSMouse, SSAuto, SSTime, DisableScreenSaver
  QString midiFolder;      // MidiFolder, ending with "/"
  SettingsStore& settings; // "MixerSource"
  SlideShowMemory& memory;
  QString appTitle;
  // SHOW, which the sounds play only when the slide-show sound is on.
  std::function<void()> playShowSound;
  // Event sounds by name, for the mixer window.
  NamedSoundPlayer playEventSound;
  // false keeps the desktop's screen saver away, true lets it come again.
  std::function<void(bool active)> setScreenSaverActive;
  std::function<std::unique_ptr<MidiPlayer>()> makeMidiPlayer;
  std::function<std::unique_ptr<MixerDevice>()> makeMixer;
  // The random generator's next value, 0 up to but not including 1.
  std::function<double()> random;
  // Shows a warning in a message box; by default a real one.
  std::function<void(const QString& text)> showMessage;
  // Reads a slide's file, decoded no larger than `longSide` pixels; by
  // default Imaging::readScaled. It runs on a worker thread.
  std::function<Result<QImage>(const QString& path, int longSide)> readSlide;
};

class SlideShowWindow : public QDialog {
  Q_OBJECT

 public:
  static inline const QString kNothingShown =
      QStringLiteral("None of the pictures in this folder can be shown.");
  static constexpr int kFadeStepMs = 40;
  static constexpr int kMusicUpdateMs = 500;

  explicit SlideShowWindow(SlideShowContext context, QWidget* parent = nullptr);
  ~SlideShowWindow() override;

  // `Form_Load`: shows the window full screen, the first slide and starts
  // the music.
  void Start();
  // Shows the slide at SlideIndex (skipping, at most once round the table,
  // slides that cannot be loaded) and moves SlideIndex on. The files are
  // read on a worker thread, so the window goes on while a slow picture is
  // read; ending the show stops the reading.
  void SlideDisplay();
  // Whether a slide is being read, and waiting until it is shown (for tests).
  bool Loading() const;
  void FinishLoading();

  // `Timer1_Timer`, the automatic advance, and one step of a running fade.
  void Timer1_Timer();
  void FadeTimer_Timer();
  // `MMControl1_StatusUpdate`: the next file when the music has ended.
  void MMControl1_StatusUpdate();

  // What shows, for the main window and for tests.
  bool Fading() const { return fading_; }
  bool Stopping() const { return stopShow_; }
  bool Unloaded() const { return unloaded_; }
  bool Timer1Active() const { return timer1_.isActive(); }
  int Timer1Interval() const { return timer1_.interval(); }
  QImage SlidePicture() const { return shown_; }
  QRect SlideGeometry() const;
  bool SlideRaised() const;
  QString Caption() const;
  bool CaptionVisible() const;
  MidiPlayer* Music() const { return player_.get(); }

 signals:
  // `Form_Unload` has run: the main window switches its timer on again.
  void ended();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  struct SlideRead;
  void ShowRead(const SlideRead& read, bool keyStep);
  void ShowSlide(const QImage& picture, const TwipsRect& place, const QString& file, bool keyStep);
  void FinishSlide();
  void RunFade(std::vector<FadeStep> steps, void (SlideShowWindow::*then)());
  void ShowFaded(const FadeStep& step);
  void SetPicture(const QImage& picture, bool raised);
  void KeyStep(bool back);
  void OpenMixer();
  bool MidiDevice();
  void StartMusic();
  bool PlayNextMidi();
  void StopMusic();
  void EndShow(const QString& message = {});
  void Unload(bool announce);
  double TwipsPerPixelHere() const;

  SlideShowContext context_;
  std::unique_ptr<BackgroundWork<SlideRead>> reading_;
  bool musicWaits_ = false;  // the music starts with the first slide shown
  Imaging showImgX_;
  QImage unfaded_;  // Image2: every fade step starts from it
  QImage shown_;    // Image1's picture
  MidiPool pool_;
  std::unique_ptr<MidiPlayer> player_;
  std::optional<bool> midiDevice_;
  QTimer timer1_;
  QTimer fadeTimer_;
  std::vector<FadeStep> fadeSteps_;
  std::size_t fadeNext_ = 0;
  void (SlideShowWindow::*afterFade_)() = nullptr;
  bool stopShow_ = false;
  bool fading_ = false;
  bool midiOpen_ = false;
  bool unloaded_ = false;
  bool keyStep_ = false;  // KeyStep: a key shows this slide, without fading in
  bool closeAfterMixer_ = false;
  MixerWindow* mixer_ = nullptr;

  QLabel* image1_ = nullptr;
  QLabel* labSlide_ = nullptr;
};

}  // namespace lumaset
