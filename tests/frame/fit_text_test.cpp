#include "frame/fit_text.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "frame/general.h"

namespace lumaset {
namespace {

// A window placed by hand for a small font: everything 20 pixels high.
class FitToTextTest : public ::testing::Test {
 protected:
  FitToTextTest() { window_.setFixedSize(300, 200); }

  template <typename Widget>
  Widget* Place(Widget* widget, const QRect& place) {
    widget->setGeometry(place);
    return widget;
  }

  QDialog window_;
};

TEST_F(FitToTextTest, AGrownFrameAndWhatStandsUnderItStayInsideTheWindow) {
  auto* frame = Place(new QGroupBox(&window_), {10, 10, 280, 100});
  Place(new QLabel(QStringLiteral("A caption far too long for the frame it was placed in"), frame),
        {10, 20, 100, 20});
  auto* ok = Place(new QPushButton(QStringLiteral("OK"), &window_), {120, 170, 80, 20});
  FitToText(&window_);

  EXPECT_GT(frame->width(), 280);
  EXPECT_TRUE(window_.rect().contains(frame->geometry()));
  EXPECT_TRUE(window_.rect().contains(ok->geometry()));
  EXPECT_EQ(window_.minimumSize(), window_.maximumSize());  // still of fixed size
}

// A tall caption pushes the label beside it onto the button placed under
// that label: the button goes down below the label, never to its right.
TEST_F(FitToTextTest, WhatWasPlacedUnderAControlGoesDownNotAside) {
  auto* tall = Place(new QLabel(QStringLiteral("word ").repeated(12), &window_), {10, 10, 30, 20});
  tall->setWordWrap(true);
  auto* label = Place(new QLabel(QStringLiteral("Caption"), &window_), {10, 40, 80, 30});
  auto* button = Place(new QPushButton(QStringLiteral("Below"), &window_), {40, 75, 100, 20});
  auto* beside = Place(new QPushButton(QStringLiteral("Next"), &window_), {220, 10, 70, 20});
  FitToText(&window_);

  EXPECT_GT(label->y(), 40);  // pushed down by the caption above it
  EXPECT_EQ(button->x(), 40);
  EXPECT_GT(button->y(), label->geometry().bottom());
  EXPECT_EQ(beside->pos(), QPoint(220, 10));  // nothing grew sideways
}

// Text in a larger font makes a button and a caption as high as the text
// needs, and no higher; what stood under them moves down by as much.
TEST_F(FitToTextTest, ControlsGrowToTheHeightOfTheirText) {
  QFont large = window_.font();
  large.setPixelSize(30);
  auto* button = Place(new QPushButton(QStringLiteral("Go"), &window_), {10, 10, 80, 20});
  auto* caption = Place(new QLabel(QStringLiteral("Caption"), &window_), {150, 10, 100, 20});
  auto* under = Place(new QPushButton(QStringLiteral("Under"), &window_), {10, 40, 80, 20});
  auto* roomy = Place(new QPushButton(QStringLiteral("Roomy"), &window_), {150, 100, 100, 60});
  for (QWidget* grows : {static_cast<QWidget*>(button), static_cast<QWidget*>(caption)}) grows->setFont(large);
  FitToText(&window_);

  const int textHeight = QFontMetrics(large).height();
  EXPECT_EQ(button->height(), textHeight + 2);
  EXPECT_EQ(caption->height(), QFontMetrics(large).size(0, caption->text()).height());
  EXPECT_EQ(under->y(), 40 + (button->height() - 20));
  EXPECT_EQ(roomy->height(), 60);  // already high enough
}

// A list and a hidden frame are left as they are and push nothing: the
// button under them keeps its place.
TEST_F(FitToTextTest, ListsAndHiddenControlsPushNothing) {
  auto* frame = Place(new QGroupBox(&window_), {10, 10, 280, 100});
  auto* list = Place(new QListWidget(frame), {10, 20, 60, 20});  // smaller than its parts start
  auto* hidden = Place(new QGroupBox(&window_), {10, 10, 280, 100});
  Place(new QLabel(QStringLiteral("A caption far too long for the frame it was placed in"), hidden),
        {10, 20, 100, 100});
  hidden->hide();
  auto* ok = Place(new QPushButton(QStringLiteral("OK"), &window_), {120, 120, 80, 25});
  FitToText(&window_);

  EXPECT_EQ(list->geometry(), QRect(10, 20, 60, 20));
  EXPECT_EQ(frame->geometry(), QRect(10, 10, 280, 100));
  EXPECT_EQ(ok->pos(), QPoint(120, 120));
  EXPECT_EQ(window_.size(), QSize(300, 200));
  // What fitting moved keeps the place it had been given.
  EXPECT_EQ(ok->property(kDesignedGeometry).toRect(), QRect(120, 120, 80, 25));
}


// A path far longer than any screen is wide, with blanks or without.
QString LongPath(QChar blank = u' ') {
  QString path;
  while (path.size() < 2000) path += QStringLiteral("/folder %1 of a deep tree").arg(path.size()).replace(u' ', blank);
  return path + QStringLiteral("/The_Last_Folder");
}

QString Heard(QWidget* widget, QAccessible::Text what) {
  return QAccessible::queryAccessibleInterface(widget)->text(what);
}

// A window that shows a long path asks for no more room than a short one
// would need; the label leaves out the middle of the path, again whenever
// the window is resized, and a screen reader still gets all of it. A text
// that fits shows whole.
TEST(ShortenedLabelTest, ALongPathNeverWidensItsWindowAndStaysWhole) {
  QDialog window;
  auto* column = new QVBoxLayout(&window);
  auto* label = new ShortenedLabel(&window);
  column->addWidget(label);
  column->addWidget(new QLineEdit(LongPath(), &window));
  label->setFullText(LongPath());
  EXPECT_LE(window.sizeHint().width(), 40 * label->fontMetrics().averageCharWidth() + 40);
  window.show();
  const QString shown = label->text();
  EXPECT_TRUE(shown.startsWith(u"/folder 0") && shown.endsWith(u"Last_Folder") && shown.contains(QChar(0x2026)));
  EXPECT_EQ(label->toolTip(), LongPath());
  EXPECT_EQ(Heard(label, QAccessible::Description), LongPath());
  EXPECT_EQ(Heard(label, QAccessible::Name), shown);

  const auto resized = [&](int width) {
    window.resize(width, window.height());
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    return label->text();
  };
  EXPECT_GT(resized(window.width() + 300).size(), shown.size());
  EXPECT_LT(resized(window.minimumSizeHint().width()).size(), shown.size());
  label->setFullText(QStringLiteral("/home/Holiday photos 2024"));
  EXPECT_EQ(resized(window.sizeHint().width()), u"/home/Holiday photos 2024");

  // At every width, in the fonts a desktop gives, what it shows fits as
  // drawn: a text may be drawn a pixel wider than its advance.
  label->setFullText(LongPath());
  for (const qreal points : {9.0, 10.5, 11.0, 13.0, 16.0}) {
    QFont font = label->font();
    font.setPointSizeF(points);
    label->setFont(font);
    for (int width = 100; width < 600; ++width) {
      const QString text = resized(width);
      const int room = label->contentsRect().width() - 2 * label->margin();
      ASSERT_LE(label->fontMetrics().size(0, text).width(), room) << points << " pt, " << width << " px: " << text.toStdString();
    }
  }
}

// A drive list asks for the same room whatever its entries; a message's
// long words lose their middles, its short ones and its blanks stay, and
// its label keeps the whole message for a screen reader.
TEST(ShortenedLabelTest, ListsAndMessagesShortenOnlyTheirPaths) {
  ShortenedComboBox list;
  list.addItem(QStringLiteral("/"));
  const QSize alone = list.sizeHint();
  list.addItem(LongPath());
  list.setCurrentIndex(1);
  EXPECT_EQ(list.sizeHint(), alone);
  EXPECT_EQ(Heard(&list, QAccessible::Value), LongPath());

  QLabel label;
  const QString message = QStringLiteral("Delete  '%1'?\nIt goes to the trash.").arg(LongPath(u'_'));
  const QString shortened = ShortenLongWords(message, label.fontMetrics(), 200);
  EXPECT_TRUE(shortened.startsWith(u"Delete  '/folder_0") && shortened.endsWith(u"Folder'?\nIt goes to the trash."));
  EXPECT_LE(label.fontMetrics().horizontalAdvance(shortened.section(u' ', 2, 2)), 200);
  SetTextShortened(&label, message);
  EXPECT_EQ(label.text(), ShortenLongWords(message, label.fontMetrics(), WidestWord(&label)));
  EXPECT_EQ(label.accessibleDescription(), message);
  SetTextShortened(&label, QStringLiteral("Saved."));
  EXPECT_EQ(label.text(), u"Saved.");
  EXPECT_EQ(label.accessibleDescription(), QString());
}

// A prompt naming a path nearly as wide as the screen opens within the
// screen, the path shortened; one a third as wide is shown whole.
TEST(ShortenedLabelTest, APromptsPathIsShortenedToKeepItsWindowOnTheScreen) {
  const QFontMetrics metrics(QApplication::font());
  const int screen = QApplication::primaryScreen()->availableGeometry().width();
  const auto pathAsWideAs = [&](int pixels) {
    QString path = QStringLiteral("/photos");
    while (metrics.horizontalAdvance(path + QStringLiteral("/x")) < pixels) path += QStringLiteral("/x");
    return path;
  };
  for (const int share : {97, 33}) {
    const QString path = pathAsWideAs(screen * share / 100);
    QString shown;
    QRect frame;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      shown = box->findChild<QLabel*>()->text();
      frame = box->frameGeometry();
      box->reject();
    });
    (void)InputBox(nullptr, QStringLiteral("Lumaset"), QStringLiteral("Copy to\n") + path, QString());
    EXPECT_LE(frame.width(), screen) << share << "% of the screen";
    EXPECT_EQ(shown.contains(path), share == 33) << share << "% of the screen";
  }
}

}  // namespace
}  // namespace lumaset
