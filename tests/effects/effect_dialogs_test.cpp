// Each effect dialog driven as a user would, from the menu command to Apply,
// with the picture the command commits checked afterwards.

#include "effects/effect_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

#include "effects/effect_commands.h"
#include "fake_effect_host.h"
#include "frame/progress_window.h"
#include "support/test_support.h"
#include "support/accessibility.h"

namespace lumaset {
namespace {

constexpr QRgb kLeft = qRgb(245, 100, 100);
constexpr QRgb kRight = qRgb(250, 60, 60);

// Close enough for a JPEG of flat colour.
bool Near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= 3 && std::abs(qGreen(a) - qGreen(b)) <= 3 && std::abs(qBlue(a) - qBlue(b)) <= 3;
}

// Runs `act` on the open dialog of type Dialog once the modal loop runs; a
// dialog that `act` leaves open is cancelled, so a test never hangs.
template <typename Dialog>
void WhenOpen(std::function<void(Dialog&)> act) {
  QTimer::singleShot(0, [act] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = dynamic_cast<Dialog*>(widget);
      if (!dialog || !dialog->isVisible()) continue;
      act(*dialog);
      if (dialog->isVisible()) {
        ADD_FAILURE() << "the dialog stayed open";
        dialog->reject();
      }
      return;
    }
    ADD_FAILURE() << "no dialog opened";
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* other = qobject_cast<QDialog*>(widget)) other->reject();
    }
  });
}

void Key(QWidget& dialog, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(&dialog, &press);
}

QImage Shown(const EffectDialog& dialog) { return dialog.picPreview()->pixmap().toImage(); }

class EffectDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = PlacePhoto(host_, {60, 40}, QColor(kLeft), QColor(kRight), PicBox{1440, 1440, 2880, 1920, true});
  }

  // The committed full-size picture, or a null one when nothing was committed.
  QImage Committed() const {
    if (host_.page.pic(4).file == original_) return {};
    return QImage(host_.page.pic(4).file);
  }
  // The caller's picture while a dialog is open: the picture as loaded.
  bool CallerUntouched() const { return host_.imgx.GetPicture().pixel(10, 10) == kLeft; }

  FakeEffectHost host_;
  EffectCommands commands_{host_, QStringLiteral("/palettes")};
  QString original_;
};

TEST_F(EffectDialogsTest, BrightnessContrastPreviewsByModeAndEnterCancels) {
  WhenOpen<BrightContrastDialog>([this](BrightContrastDialog& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Adjust Brightness and Contrast"));
    EXPECT_EQ(test::AccessibilityProblems(&d), QStringList());
    EXPECT_EQ(d.lblBrightness->text(), QStringLiteral("Brightness: 0"));
    EXPECT_EQ(Shown(d).pixel(5, 5), kLeft);  // no preview yet: the unchanged copy
    EXPECT_EQ(d.previews(), 0);
    EXPECT_EQ(host_.timer, (std::vector<bool>{false}));
    d.chkDelayedPreview->setChecked(true);  // unchecks real time; previews twice
    EXPECT_FALSE(d.chkRealTimePreview->isChecked());
    EXPECT_EQ(d.previews(), 2);
    d.scrBrightness->setSliderDown(true);
    d.scrBrightness->setValue(-12);  // dragged: only the label follows
    EXPECT_EQ(d.lblBrightness->text(), QStringLiteral("Brightness: -12"));
    EXPECT_EQ(d.previews(), 2);
    d.scrBrightness->setSliderDown(false);  // released: one preview
    EXPECT_EQ(d.previews(), 3);
    EXPECT_LT(qRed(Shown(d).pixel(5, 5)), qRed(kLeft));
    EXPECT_TRUE(CallerUntouched());
    Key(d, Qt::Key_Return);  // Cancel is the default button here
  });
  commands_.mnuToolEffectsBC_Click();
  EXPECT_TRUE(Committed().isNull());
  EXPECT_EQ(host_.undoDepth, 0);
  EXPECT_EQ(host_.timer, (std::vector<bool>{false, true}));
  EXPECT_TRUE(host_.errors.isEmpty());

  WhenOpen<BrightContrastDialog>([](BrightContrastDialog& d) {
    d.scrBrightness->setValue(20);
    d.btnApply()->click();
  });
  commands_.mnuToolEffectsBC_Click();
  const QImage done = Committed();
  ASSERT_EQ(done.size(), QSize(60, 40));
  EXPECT_GT(qGreen(done.pixel(10, 10)), qGreen(kLeft) + 20);
  EXPECT_EQ(host_.calls.filter(QStringLiteral("UndoAdd")).last(),
            QStringLiteral("UndoAdd(Effect,Undo picture brightness/contrast effect)"));
}

TEST_F(EffectDialogsTest, ColorizePreviewsAtOnceFollowsThePickedColourAndEnterApplies) {
  WhenOpen<ColorizeDialog>([this](ColorizeDialog& d) {
    EXPECT_EQ(test::AccessibilityProblems(&d), QStringList());
    EXPECT_EQ(d.chkHue->text(), QStringLiteral("Hue 40"));
    EXPECT_NE(Shown(d).pixel(5, 5), kLeft);  // tinted at once
    EXPECT_TRUE(CallerUntouched());
    host_.colors.push_back(std::nullopt);  // cancelled: nothing changes
    d.btnColor->click();
    EXPECT_EQ(d.state().color, qRgb(67, 66, 43));
    host_.colors.push_back(QColor(0, 0, 255));
    d.btnColor->click();
    EXPECT_EQ(d.chkHue->text(), QStringLiteral("Hue: 171"));
    EXPECT_EQ(d.scrHue->value(), 171);
    EXPECT_EQ(d.chkHue->accessibleName(), d.chkHue->text());
    Key(d, Qt::Key_Return);
  });
  commands_.mnuToolEffectsColorColorize_Click();
  const QImage done = Committed();
  ASSERT_FALSE(done.isNull());
  const QRgb pixel = done.pixel(10, 10);
  EXPECT_GT(qBlue(pixel), qRed(pixel));  // hue and saturation of blue taken over
  EXPECT_EQ(host_.colorOffered.first(), QColor(67, 66, 43));
}

TEST_F(EffectDialogsTest, EmbossTitleBarCloseCancelsAndUncheckedOtherChannelsStay) {
  WhenOpen<EmbossDialog>([](EmbossDialog& d) {
    EXPECT_FALSE(d.chkOtherChannels->isEnabled());
    d.close();  // the title bar's close button
  });
  commands_.mnuToolEffectsEmboss_Click();
  EXPECT_TRUE(Committed().isNull());
  EXPECT_EQ(host_.undoDepth, 0);
  EXPECT_EQ(host_.sounds, (QList<int>{static_cast<int>(Sound::Open), static_cast<int>(Sound::Close)}));

  WhenOpen<EmbossDialog>([this](EmbossDialog& d) {
    EXPECT_EQ(test::AccessibilityProblems(&d), QStringList());
    EXPECT_TRUE(CallerUntouched());
    d.chkChannels[1]->setChecked(false);
    d.chkChannels[2]->setChecked(false);
    EXPECT_TRUE(d.chkOtherChannels->isEnabled());
    d.chkOtherChannels->setChecked(true);
    EXPECT_TRUE(d.scrOtherChannels->isEnabled());
    d.scrOtherChannels->setValue(200);
    d.chkOtherChannels->setChecked(false);  // green and blue keep their bytes
    d.optDirection[4]->toggle();  // as a screen reader switches it: no click
    EXPECT_EQ(d.state().dx(), 1);
    d.cmdHelp()->click();
    d.btnApply()->click();
  });
  commands_.mnuToolEffectsEmboss_Click();
  const QImage done = Committed();
  ASSERT_FALSE(done.isNull());
  EXPECT_TRUE(Near(done.pixel(10, 10), qRgb(255, qGreen(kLeft), qBlue(kLeft)))) << std::hex << done.pixel(10, 10);
  EXPECT_EQ(host_.helpTopics, (QList<int>{19}));
}

TEST_F(EffectDialogsTest, ColorReplaceAppliesItsPreviewRuleInsideTheZoomedArea) {
  WhenOpen<ColorReplaceDialog>([this](ColorReplaceDialog& d) {
    EXPECT_EQ(test::AccessibilityProblems(&d), QStringList());
    EXPECT_FALSE(d.btnApply()->isEnabled());
    EXPECT_EQ(d.labTol->text(), QStringLiteral("Tolerance = 5%"));
    const QSize box = d.picPreview()->pixmap().size();
    // Pick the old colour from the left half by a release in select mode,
    // switched on as a screen reader does, without a click.
    d.cmdSel->toggle();
    EXPECT_EQ(d.view().mode(), MouseMode::Select);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QCoreApplication::sendEvent(d.picPreview(), &up);
    EXPECT_EQ(d.oldColor(), kLeft);
    host_.colors.push_back(QColor(0, 0, 200));
    d.btnNew->click();
    // Zoom in, released beyond the box's top left: the left part of the picture.
    d.cmdZoom->toggle();
    EXPECT_FALSE(d.cmdSel->isChecked());
    d.PreviewMouseUp(Qt::LeftButton, QPointF(-50, -50));
    EXPECT_EQ(d.view().area(), QRect(0, 0, 40, 27));
    d.cmdReplace->click();
    EXPECT_TRUE(d.btnApply()->isEnabled());
    EXPECT_EQ(d.view().mode(), MouseMode::None);
    EXPECT_EQ(Shown(d).pixel(box.width() / 2, 5), qRgb(0, 0, 200));  // the preview's rule is Apply's
    EXPECT_TRUE(CallerUntouched());
    Key(d, Qt::Key_Return);  // Cancel is the default button here
  });
  commands_.mnuToolEffectsColorReplace_Click();
  EXPECT_TRUE(Committed().isNull());

  WhenOpen<ColorReplaceDialog>([this](ColorReplaceDialog& d) {
    host_.colors = {QColor(kLeft), QColor(0, 0, 200)};
    d.btnOld->click();
    d.btnNew->click();
    d.cmdZoom->click();
    d.PreviewMouseUp(Qt::LeftButton, QPointF(0, 0));
    d.cmdReplace->click();
    d.btnApply()->click();
  });
  commands_.mnuToolEffectsColorReplace_Click();
  const QImage done = Committed();
  ASSERT_FALSE(done.isNull());
  EXPECT_TRUE(Near(done.pixel(5, 5), qRgb(0, 0, 200)));
  EXPECT_TRUE(Near(done.pixel(5, 35), kLeft));  // below the zoomed area
  EXPECT_TRUE(Near(done.pixel(50, 5), kRight));
}

TEST_F(EffectDialogsTest, ColorAdjustIgnoresAnOldCancelButDropsOnACancelOfItsOwnRun) {
  ProgressWindow progress(nullptr);
  host_.progress = &progress;
  progress.SetCancelled(true);  // left over from an earlier operation
  WhenOpen<ColorAdjustDialog>([this](ColorAdjustDialog& d) {
    EXPECT_EQ(test::AccessibilityProblems(&d), QStringList());
    d.scrRed->setValue(10);
    EXPECT_EQ(d.labRed->text(), QStringLiteral("Red 10"));
    EXPECT_EQ(d.labGreen->text(), QStringLiteral("Green: 0"));
    EXPECT_EQ(Shown(d).pixel(5, 5), qRgb(255, 100, 100));
    EXPECT_TRUE(CallerUntouched());
    Key(d, Qt::Key_Return);  // Apply is the default button
  });
  commands_.mnuToolEffectsColorAdjust_Click();
  const QImage done = Committed();
  ASSERT_FALSE(done.isNull());
  EXPECT_TRUE(Near(done.pixel(10, 10), qRgb(255, 100, 100)));
  EXPECT_TRUE(Near(done.pixel(50, 10), kRight));  // 250 + 10 leaves the range: kept
  const QString first = host_.page.pic(4).file;

  // Cancel pressed while this Apply runs: nothing is committed.
  host_.imgx.setProgressHandler([&progress](int percent, bool& cancel) {
    if (percent > 0 && percent < 100) {
      progress.SetCancelled(true);
      cancel = true;
    }
  });
  WhenOpen<ColorAdjustDialog>([](ColorAdjustDialog& d) {
    d.scrBlue->setValue(-20);
    d.btnApply()->click();
  });
  commands_.mnuToolEffectsColorAdjust_Click();
  EXPECT_EQ(host_.page.pic(4).file, first);
  EXPECT_EQ(host_.undoDepth, 1);
  EXPECT_TRUE(host_.errors.isEmpty());

  // Cancel pressed while this Apply runs, too late for the effect to see it:
  // the effect ends, and still nothing is committed.
  host_.imgx.setProgressHandler([&progress](int percent, bool&) {
    if (percent > 0 && percent < 100) progress.SetCancelled(true);
  });
  WhenOpen<BrightContrastDialog>([](BrightContrastDialog& d) { d.btnApply()->click(); });
  commands_.mnuToolEffectsBC_Click();
  EXPECT_EQ(host_.page.pic(4).file, first);
  EXPECT_EQ(host_.undoDepth, 1);
  EXPECT_TRUE(host_.errors.isEmpty());
}

// An effect that fails at full size: one message, titled by the operation,
// and the effect counts as not applied.
class FailingDialog : public EffectDialog {
 public:
  FailingDialog(Imaging& original, DialogServices services)
      : EffectDialog(original, std::move(services), FrameSpec{QStringLiteral("Failing"), 2000, {5970, 4125},
                                                              {1860, 60, 4000, 4000}, 420, 1140, 1980, 1920, true}) {}

 protected:
  Status Effect(Imaging& imaging) override {
    if (&imaging == &original()) return Error{QStringLiteral("The disk is full.")};
    return imaging.ImgMirror();
  }
};

TEST_F(EffectDialogsTest, AFailingApplyIsReportedOnceAndNotApplied) {
  ASSERT_TRUE(host_.imgx.LoadFile(original_).ok());
  FailingDialog dialog(host_.imgx, host_.EffectDialogServices());
  WhenOpen<FailingDialog>([](FailingDialog& d) {
    d.btnApply()->click();
  });
  EXPECT_TRUE(ShowEffectDialog(dialog).cancelled());
  EXPECT_FALSE(dialog.EffectApplied());
  EXPECT_EQ(host_.errors, QStringList{QStringLiteral("Failing|Error: \n\nThe disk is full.")});
}

// The controls a Tab walks through from the dialog's first, in order.
QList<QWidget*> TabStops(QWidget& dialog) {
  QList<QWidget*> stops;
  for (QWidget* widget = dialog.nextInFocusChain(); widget != &dialog; widget = widget->nextInFocusChain()) {
    if (widget->isVisibleTo(&dialog) && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) != 0) {
      stops << widget;
    }
  }
  return stops;
}

template <typename Dialog>
std::unique_ptr<EffectDialog> Make(Imaging& imaging, DialogServices services) {
  return std::make_unique<Dialog>(imaging, std::move(services));
}

// Each dialog with the name of the control it opens on.
struct DialogCase {
  const char* name;
  std::unique_ptr<EffectDialog> (*make)(Imaging&, DialogServices);
  const char* first;
};
const DialogCase kDialogs[] = {
    {"brightness", &Make<BrightContrastDialog>, "Real-Time Preview"},
    {"colorize", &Make<ColorizeDialog>, "Real-Time Preview"},
    {"emboss", &Make<EmbossDialog>, "Cancel"},
    {"replace", &Make<ColorReplaceDialog>, "Zoom in on area to replace color"},
    {"adjust", &Make<ColorAdjustDialog>, "Red"},
};

TEST_F(EffectDialogsTest, EveryDialogOpensOnItsFirstControlAndEveryBarMovesByKey) {
  ASSERT_TRUE(host_.imgx.LoadFile(original_).ok());
  for (const DialogCase& c : kDialogs) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<EffectDialog> d = c.make(host_.imgx, host_.EffectDialogServices());
    ASSERT_TRUE(d->Setup().ok());
    d->show();
    ASSERT_NE(d->focusWidget(), nullptr);
    EXPECT_EQ(d->focusWidget()->accessibleName(), QString::fromLatin1(c.first));
    const QList<QWidget*> stops = TabStops(*d);
    for (QScrollBar* bar : d->findChildren<QScrollBar*>()) {
      SCOPED_TRACE(bar->accessibleName().toStdString());
      EXPECT_TRUE(bar->focusPolicy() & Qt::TabFocus);
      if (!bar->isEnabled()) continue;
      EXPECT_TRUE(stops.contains(bar));
      const int before = bar->value();
      Key(*bar, Qt::Key_Right);
      EXPECT_EQ(bar->value(), before + bar->singleStep());
    }
    d->reject();
  }
}

// What a reader would find cut or covered in `dialog`: a text wider or
// taller than its control, two controls over one another, a control outside
// the dialog.
QStringList LayoutProblems(const QWidget& dialog) {
  QStringList problems;
  QList<QWidget*> shown;
  for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isVisibleTo(&dialog)) shown << child;
  }
  const auto name = [](const QWidget* widget) { return widget->accessibleName(); };
  for (QWidget* widget : shown) {
    const QFontMetrics metrics = widget->fontMetrics();
    QString text;
    int room = widget->width();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      text = label->text();
      room = label->contentsRect().width();
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      text = button->text().remove(QLatin1Char('&'));
      if (qobject_cast<QCheckBox*>(widget)) {
        room -= widget->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                widget->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
      }
    }
    if (!text.isEmpty() && (metrics.horizontalAdvance(text) > room || metrics.height() > widget->height())) {
      problems << QStringLiteral("cut: ") + text;
    }
    if (!dialog.rect().contains(widget->geometry())) problems << QStringLiteral("outside: ") + name(widget);
    for (QWidget* other : shown) {
      if (other < widget && other->geometry().intersects(widget->geometry())) {
        problems << QStringLiteral("overlap: %1 / %2").arg(name(widget), name(other));
      }
    }
  }
  return problems;
}

TEST_F(EffectDialogsTest, EveryTextFitsAtAnElevenPointFontAndTheDialogsResize) {
  ASSERT_TRUE(host_.imgx.LoadFile(original_).ok());
  const QFont before = QApplication::font();
  QApplication::setFont(QFont(before.family(), 11));
  for (const DialogCase& c : kDialogs) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<EffectDialog> d = c.make(host_.imgx, host_.EffectDialogServices());
    ASSERT_TRUE(d->Setup().ok());
    EXPECT_EQ(LayoutProblems(*d), QStringList());
    // Every bar at both ends: the labels it writes still fit.
    for (QScrollBar* bar : d->findChildren<QScrollBar*>()) {
      for (const int value : {bar->minimum(), bar->maximum()}) {
        bar->setValue(value);
        EXPECT_EQ(LayoutProblems(*d), QStringList()) << bar->accessibleName().toStdString() << " " << value;
      }
    }
    EXPECT_GT(d->maximumWidth(), d->minimumWidth());
    EXPECT_GT(d->maximumHeight(), d->minimumHeight());
  }
  QApplication::setFont(before);
}

// Run also at QT_SCALE_FACTOR 1.5 and 2 (see CMakeLists.txt).
TEST_F(EffectDialogsTest, PreviewsAreMadeForTheScreensRealPixels) {
  ASSERT_TRUE(host_.imgx.LoadFile(original_).ok());
  BrightContrastDialog d(host_.imgx, host_.EffectDialogServices());
  ASSERT_TRUE(d.Setup().ok());
  // The copy's width in screen pixels (never more than 350), the box's
  // inner size in layout pixels, and the picture's pixel under the mouse at
  // (100, 100) of the colour replace box, for each screen pixel ratio.
  const struct {
    double ratio;
    int copy;
    QSize box;
    const char* under;
  } expected[] = {{1.0, 265, {265, 177}, "X = 22, Y = 22"},
                  {1.5, 350, {234, 156}, "X = 26, Y = 26"},
                  {2.0, 350, {175, 117}, "X = 34, Y = 34"}};
  const double ratio = d.devicePixelRatioF();
  const auto row = std::find_if(std::begin(expected), std::end(expected),
                                [ratio](const auto& each) { return each.ratio == ratio; });
  ASSERT_NE(row, std::end(expected)) << ratio;
  const QPixmap shown = d.picPreview()->pixmap();
  EXPECT_EQ(shown.devicePixelRatio(), ratio);
  EXPECT_EQ(shown.width(), row->copy);
  EXPECT_EQ(d.picPreview()->contentsRect().size(), row->box);

  ColorReplaceDialog replace(host_.imgx, host_.EffectDialogServices());
  ASSERT_TRUE(replace.Setup().ok());
  const QPointF at = QPointF(100, 100) + replace.picPreview()->contentsRect().topLeft();
  QMouseEvent move(QEvent::MouseMove, at, replace.picPreview()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(replace.picPreview(), &move);
  EXPECT_EQ(replace.picPreview()->toolTip(), QString::fromLatin1(row->under));
}

TEST_F(EffectDialogsTest, EmbossDirectionsAreOneTabStopMovedByTheArrowKeys) {
  ASSERT_TRUE(host_.imgx.LoadFile(original_).ok());
  EmbossDialog d(host_.imgx, host_.EffectDialogServices());
  ASSERT_TRUE(d.Setup().ok());
  d.show();
  const auto directionStops = [&d] {
    QList<int> found;
    for (QWidget* stop : TabStops(d)) {
      const auto at = std::find(d.optDirection.begin(), d.optDirection.end(), stop);
      if (at != d.optDirection.end()) found << static_cast<int>(at - d.optDirection.begin());
    }
    return found;
  };
  EXPECT_EQ(directionStops(), QList<int>{0});
  // Right from top left, then down over the empty centre, then against the edge.
  const struct {
    int from, key, to, dx, dy;
  } steps[] = {{0, Qt::Key_Right, 1, 0, -1}, {1, Qt::Key_Down, 6, 0, 1}, {6, Qt::Key_Down, 6, 0, 1},
               {6, Qt::Key_Left, 5, -1, 1},    {5, Qt::Key_Up, 3, -1, 0},   {3, Qt::Key_Up, 0, -1, -1}};
  for (const auto& step : steps) {
    Key(*d.optDirection[static_cast<std::size_t>(step.from)], step.key);
    EXPECT_TRUE(d.optDirection[static_cast<std::size_t>(step.to)]->isChecked()) << step.to;
    EXPECT_EQ(d.focusWidget(), d.optDirection[static_cast<std::size_t>(step.to)]);
    EXPECT_EQ(std::pair(d.state().dx(), d.state().dy()), std::pair(step.dx, step.dy));
  }
  EXPECT_EQ(directionStops(), QList<int>{0});

  // Each button stands on the side of the grid's centre that its offset names.
  QRect grid;
  for (const QToolButton* button : d.optDirection) grid |= button->geometry();
  for (int index = 0; index < 8; ++index) {
    const QPoint from = d.optDirection[static_cast<std::size_t>(index)]->geometry().center() - grid.center();
    int dx = 0, dy = 0;
    EmbossState::Offset(index, dx, dy);
    EXPECT_EQ(std::pair((from.x() > 2) - (from.x() < -2), (from.y() > 2) - (from.y() < -2)), std::pair(dx, dy))
        << index;
  }
  host_.colors = {std::nullopt, QColor(0, 0, 255)};  // cancelled, then picked
  d.btnColor->click();
  EXPECT_EQ(d.baseColor(), qRgb(255, 128, 0));
  d.btnColor->click();
  EXPECT_EQ(d.baseColor(), qRgb(0, 0, 255));

  // A corner button's arrow points along its diagonal: the ink's centre of
  // weight lies towards that corner in both directions.
  for (const int corner : {0, 2, 5, 7}) {
    const QImage icon = d.optDirection[static_cast<std::size_t>(corner)]->icon().pixmap(32).toImage();
    ASSERT_FALSE(icon.isNull()) << corner;
    double sumX = 0, sumY = 0, weight = 0;
    for (int y = 0; y < icon.height(); ++y) {
      for (int x = 0; x < icon.width(); ++x) {
        const double alpha = qAlpha(icon.pixel(x, y));
        sumX += alpha * (x + 0.5 - icon.width() / 2.0);
        sumY += alpha * (y + 0.5 - icon.height() / 2.0);
        weight += alpha;
      }
    }
    int dx = 0, dy = 0;
    EmbossState::Offset(corner, dx, dy);
    EXPECT_GT(dx * sumX / weight, 1.0) << corner;
    EXPECT_GT(dy * sumY / weight, 1.0) << corner;
  }
  d.reject();
}

TEST_F(EffectDialogsTest, SwatchesShowTheirExactColourAndAReadableCaption) {
  ASSERT_TRUE(host_.imgx.LoadFile(original_).ok());
  ColorReplaceDialog replace(host_.imgx, host_.EffectDialogServices());
  ColorizeDialog colorize(host_.imgx, host_.EffectDialogServices());
  EmbossDialog emboss(host_.imgx, host_.EffectDialogServices());
  ColorAdjustDialog adjust(host_.imgx, host_.EffectDialogServices());
  QWidget* const swatches[] = {replace.btnOld, replace.btnNew, replace.labCol, colorize.btnColor, emboss.btnColor,
                               adjust.btnColor};
  for (const QRgb color : {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(3, 1, 255), qRgb(255, 128, 0)}) {
    for (QWidget* swatch : swatches) {
      SCOPED_TRACE(swatch->accessibleName().toStdString() + " " + QColor(color).name().toStdString());
      SetSwatchColor(swatch, color);
      const QImage shot = swatch->grab().toImage();
      EXPECT_EQ(shot.pixel(3, 3), color);
      EXPECT_EQ(shot.pixel(shot.width() - 4, shot.height() - 4), color);
      auto* button = qobject_cast<QPushButton*>(swatch);
      if (!button || button->text().isEmpty()) continue;
      // The caption's strokes stand out from the colour.
      int strokes = 0;
      for (int y = 3; y < shot.height() - 3; ++y) {
        for (int x = 3; x < shot.width() - 3; ++x) {
          const QRgb pixel = shot.pixel(x, y);
          strokes += std::abs(qGray(pixel) - qGray(color)) > 100 ? 1 : 0;
        }
      }
      EXPECT_GT(strokes, 20);
    }
  }
}

}  // namespace
}  // namespace lumaset
