#pragma once

// The mixer window `frmMixer`: the volume and the mute switch of one line
// of the sound mixer, for the slide show's V key and the preferences'
// Volume button. The caller names the wanted line by a text it contains
// (the setting "MixerSource"); the window keeps the full name of the line
// it settled on for the caller to store. It closes itself once the user
// has left it alone for six ticks of its one-second timer.
//
// Every value goes to the mixer the moment the user sets it: the slider
// when it is let go or moved with the keyboard or the wheel, the mute
// switch when it is clicked.

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTimer>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QPushButton;
class QSlider;

namespace lumaset {

class MixerDevice;
class MixerLineBox;
class SettingsStore;

// Plays a named event sound ("RestoreUp", "RestoreDown"); the sounds decide
// whether there is a device to play it on. May be empty.
using NamedSoundPlayer = std::function<void(QStringView name)>;

// The line that `source` names: the first of exactly that name, else the
// last of `lines` whose name contains it (letter case counts), or `current`
// when none does.
int MatchMixerLine(const QStringList& lines, const QString& source, int current);

// `IdleTicks`: timer ticks since the user last did something; the sixth
// closes the window.
class IdleTicks {
 public:
  static constexpr int kTicksToClose = 6;
  // One more tick; true when it is the one that closes the window.
  bool Tick() { return ++ticks_ >= kTicksToClose; }
  void Reset() { ticks_ = 0; }
  int count() const { return ticks_; }

 private:
  int ticks_ = 0;
};

class MixerWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTickMs = 1000;

  // `mixerLeft`, `mixerTop`: where the window goes, in twips (MixerLeft,
  // MixerTop); `source`: OptMixerSource. The window owns `mixer` until it
  // closes.
  MixerWindow(std::unique_ptr<MixerDevice> mixer, QPoint topLeftTwips, QString source,
              NamedSoundPlayer sounds, QWidget* parent = nullptr);
  ~MixerWindow() override;

  // OptMixerSource: after the window has closed, the line to store.
  QString OptMixerSource() const { return source_; }

  // `MixerGet`: reads the mixer afresh into the controls.
  void MixerGet();
  // `tmrMix_Timer`.
  void tmrMix_Timer();

  // Every way of closing ends here, so the window unloads once.
  void done(int result) override;

  // The controls and state, for tests.
  QComboBox* lineBox() const;
  QSlider* volumeSlider() const { return sldrVol_; }
  QCheckBox* muteBox() const { return chkMute_; }
  QPushButton* closeButton() const { return cmdClose_; }
  int idleTicks() const { return idle_.count(); }
  bool timerActive() const { return tmrMix_.isActive(); }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void Place(QPoint topLeftTwips);
  void FillLines(const QString& mixerName);
  void ShowLine();
  void LineChosen(int index);
  void MuteClicked(bool checked);
  void VolumeMoved(int value);
  void TimerOn();
  void SetControlsEnabled(bool enabled);

  std::unique_ptr<MixerDevice> mixer_;
  QString source_;
  NamedSoundPlayer sounds_;
  QString lastMixerName_;
  IdleTicks idle_;
  QTimer tmrMix_;
  bool updating_ = false;   // the program, not the user, is setting a control
  bool sliderHeld_ = false;
  bool unloaded_ = false;

  MixerLineBox* cmbMixer_ = nullptr;
  QSlider* sldrVol_ = nullptr;
  QCheckBox* chkMute_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
};

// The callers' protocol in one call: OptMixerSource read from the setting
// "MixerSource" (with `defaultSource`), the window shown modally at
// `topLeftTwips` over `owner`, and the line it settled on written back.
void ShowMixerWindow(QWidget* owner, SettingsStore& settings, const QString& defaultSource,
                     QPoint topLeftTwips, std::unique_ptr<MixerDevice> mixer,
                     const NamedSoundPlayer& sounds);

}  // namespace lumaset
