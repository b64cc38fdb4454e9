#pragma once

// The software notice `frmAboutSoft`: the terms under which Lumaset is made
// available, a note on modified copies and the program's name with its
// release number. The about box opens it modally; it centres itself over the
// main window, stays on top and plays the desktop's window sounds as it
// opens and closes.

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringView>

#include <functional>

#include "frame/app_state.h"

class QLabel;
class QPushButton;

namespace lumaset {

// How a window's event sound is asked for.
enum class EventSoundPlay {
  NoWait,     // starts it and goes on; skipped while another sound plays
  Wait,       // plays it to its end before going on; skipped while another sound plays
  Interrupt,  // starts it and goes on, cutting off a sound that still plays
};

// Plays a named event sound of the desktop ("RestoreUp", "Maximize"...). The
// windows call it only when they have one: an empty player stands for a
// computer without a sound output, where the windows open and close silently.
using EventSoundPlayer = std::function<void(QStringView name, EventSoundPlay how)>;

// The release number that the notice shows: the identity's, or the version
// this program was built as when the identity names none.
QString ReleaseNumber(const AppIdentity& identity);

// The twips of one pixel on the screen of `widget` (or the primary screen).
double TwipsPerPixelOf(const QWidget* widget);

// Where the frame of a window of `size` goes when it is centred over `owner`
// (the owner's frame) and then kept on `screen`: pushed back inside its
// right and bottom edges, and then inside its left and top edges, so that a
// window larger than the screen still shows its title bar.
QPoint CentredOver(const QRect& owner, const QSize& size, const QRect& screen);

// The outer size of a window whose inside is `client`, when its title bar
// and frame are as thick as those of `model` (none when it has none yet).
QSize WithFrameOf(const QWidget* model, const QSize& client);

// The screen area of `widget`'s screen that windows may use, or of the
// primary screen; empty when there is no screen at all.
QRect ScreenAreaOf(const QWidget* widget);

class NoticeWindow : public QDialog {
  Q_OBJECT

 public:
  // Loads the notice for `mainWindow` (which may be nullptr: the notice is
  // then placed on the screen's left top) and places it; `sounds` may be
  // empty.
  NoticeWindow(QWidget* mainWindow, const AppIdentity& identity, EventSoundPlayer sounds,
               QWidget* parent = nullptr);
  ~NoticeWindow() override;

  // Every way of closing ends here, so the closing sound plays once.
  void done(int result) override;

 private:
  void BuildControls();
  void SetTexts(const AppIdentity& identity);
  void LayOutNameLine();
  void MakeRoomForTitle();
  void Place(QWidget* mainWindow);
  void OkClicked();
  void Play(QStringView name, EventSoundPlay how) const;
  int Px(int twips) const;

  EventSoundPlayer sounds_;
  double twipsPerPixel_;
  bool unloaded_ = false;

  QLabel* labName_ = nullptr;
  QLabel* label3_ = nullptr;
  QLabel* labRelNo_ = nullptr;
  QPushButton* command1_ = nullptr;
};

// Shows the notice modally over `owner` (the about box) and returns when it
// has closed.
void ShowNotice(QWidget* mainWindow, const AppIdentity& identity, const EventSoundPlayer& sounds,
                QWidget* owner);

}  // namespace lumaset
