// The quarter turn of photo-like JPEG files of every EXIF orientation,
// sampling, colour model and coding, against what it is not built from:
// jpegtran's perfect transforms where the edges that move are whole MCUs,
// and elsewhere the original's decoded samples turned by hand.

#include "components/imaging/jpeg/jpeg_quarter_turn.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>

#include <cmath>
#include <tuple>

#include "../../../../bench/photo_like.h"
#include "components/imaging/jpeg/jpeg_test_files.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using test::decoded;
using test::differences;
using test::jpegtran;
using test::kKinds;
using test::readCoefficients;

// What jpegtran does to the stored picture of a photo of each orientation,
// so that the photo as it is shown turns a quarter clockwise: worked out by
// hand from the EXIF table (orientation 8 stands turned a quarter back).
const QStringList kReference[9] = {{},
                                   {"-rotate", "90"},
                                   {"-transverse"},
                                   {"-rotate", "270"},
                                   {"-transpose"},
                                   {"-flip", "horizontal"},
                                   {"-rotate", "180"},
                                   {"-flip", "vertical"},
                                   {}};

// A photo with colour in its detail, so that colour planes put in the wrong
// place show: a soft background with grain, and small coloured discs.
QImage colourfulPhoto(int width, int height, quint32 seed) {
  QImage photo = bench::PhotoLike(width, height, seed, 0);
  QRandomGenerator random(seed);
  QPainter painter(&photo);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  for (int disc = 0; disc < width * height / 120; ++disc) {
    painter.setBrush(bench::RandomColor(random));
    const double radius = 3 + random.bounded(5.0);
    painter.drawEllipse(QPointF(random.bounded(width), random.bounded(height)), radius, radius);
  }
  return photo.convertToFormat(QImage::Format_RGB32);
}

QByteArray photo(const test::Kind& kind, QSize size, int orientation) {
  const QByteArray plain = test::madeJpeg(kind, colourfulPhoto(size.width(), size.height(), 7));
  return test::WithSegment(plain, test::ExifOrientationSegment(orientation));
}

// Where the edges that move are whole MCUs the turn gives jpegtran's
// coefficients, and where they are coded in one sequential scan, jpegtran's
// very tables and data: standard tables kept, tables made for the picture
// made for the turned one. Elsewhere jpegtran's perfect turn is refused, and the turn
// shows the original's samples turned by hand, each component within what
// compressing it once more costs: some 4 to 7 levels here, where a colour
// plane put a block out of its place costs 30 and more. At sides of whole
// blocks but not whole MCUs (40, 56), and at odd sides (45, 31), where a
// cell of colour is cut at the edge: a turned cell straddles two of the
// original's and takes their mean, which costs up to 16 levels more on
// these discs of strong colours.
TEST(JpegTurnReferenceTest, EveryOrientationTurnsAsJpegtranOrAsTheDecodeTurnedByHand) {
  const std::pair<QSize, double> sizes[] = {{QSize(64, 48), 0}, {QSize(40, 56), 10}, {QSize(45, 31), 20}};
  for (const auto& [size, bound] : sizes) {
    for (const test::Kind& kind : kKinds) {
      for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string what = std::string(kind.name) + " " + std::to_string(size.width()) + " orientation " +
                                 std::to_string(orientation);
        const QByteArray original = photo(kind, size, orientation);
        const Result<QByteArray> turned = TurnJpegClockwise(original);
        ASSERT_TRUE(turned) << what << ": " << turned.error().toStdString();
        const std::optional<QByteArray> reference =
            jpegtran(original, kReference[orientation] + QStringList{"-perfect", "-copy", "none"});
        if (size == QSize(64, 48)) {
          ASSERT_TRUE(reference) << what;
        }
        if (reference) {
          EXPECT_EQ(readCoefficients(*turned).picture(), readCoefficients(*reference).picture()) << what;
          if (!kind.progressive && !kind.arithmetic) {
            // Standard tables stay, and tables made for the picture are made afresh as jpegtran makes them: so
            // is all it codes with them, restart markers where the original had them.
            QStringList coding = {"-perfect", "-copy", "none", "-restart",
                                  QStringLiteral("%1B").arg(readCoefficients(original).restart)};
            if (kind.optimised) coding << "-optimize";
            const std::optional<QByteArray> alike = jpegtran(original, kReference[orientation] + coding);
            ASSERT_TRUE(alike) << what;
            EXPECT_EQ(turned->sliced(turned->indexOf("\xFF\xC4")), alike->sliced(alike->indexOf("\xFF\xC4"))) << what;
          }
          continue;
        }
        const std::vector<test::Apart> apart = differences(decoded(*turned), decoded(original), orientation);
        ASSERT_FALSE(apart.empty()) << what;
        for (const test::Apart& component : apart) EXPECT_LT(component.rootMeanSquare, bound) << what;
      }
    }
  }
}

// A colour sample covers two pixels across (or down): at an odd side the
// turned cells straddle two of the original's, and take their mean, so
// that colour stays in place instead of moving a pixel: on a photo whose
// colours run evenly across and down, no component comes out shifted (a
// pixel's move would shift them by up to 3 levels).
TEST(JpegTurnReferenceTest, ColourStaysInPlaceAtOddSides) {
  QImage ramp(45, 31, QImage::Format_RGB32);
  for (int y = 0; y < ramp.height(); ++y)
    for (int x = 0; x < ramp.width(); ++x) ramp.setPixel(x, y, qRgb(20 + 4 * x, 128, 30 + 6 * y));
  for (const int kind : {1, 2, 5}) {  // 4:2:2, 4:2:0, YCCK
    for (int orientation = 1; orientation <= 8; ++orientation) {
      const QByteArray original =
          test::WithSegment(test::madeJpeg(kKinds[kind], ramp), test::ExifOrientationSegment(orientation));
      const Result<QByteArray> turned = TurnJpegClockwise(original);
      ASSERT_TRUE(turned) << turned.error().toStdString();
      const std::vector<test::Apart> apart = differences(decoded(*turned), decoded(original), orientation);
      ASSERT_FALSE(apart.empty());
      for (const test::Apart& component : apart)
        EXPECT_LT(std::abs(component.mean), 1.0) << kKinds[kind].name << " orientation " << orientation;
    }
  }
}

// What was written is given only when it reads back as the original turned:
// a file of the same size, sampling and tables that holds the photo turned
// the other way is refused, whether the blocks were turned or the samples
// compressed again, and so is one of the right picture sampled otherwise.
TEST(JpegTurnReferenceTest, WhatReadsBackAsAnotherTurnIsRefused) {
  const test::Kind& kind = kKinds[2];  // 4:2:0
  const QByteArray whole = photo(kind, QSize(64, 48), 1);
  const std::optional<QByteArray> right = jpegtran(whole, {"-rotate", "90", "-perfect"});
  const std::optional<QByteArray> wrong = jpegtran(whole, {"-rotate", "270", "-perfect"});
  ASSERT_TRUE(right && wrong);
  const QImage shown = QImage::fromData(*right);
  const QByteArray sampledOtherwise = test::madeJpeg(kKinds[0], shown);  // 4:4:4
  // Shown upside down, the same photo turns the other way.
  const QByteArray cut = photo(kind, QSize(45, 31), 1), upsideDown = photo(kind, QSize(45, 31), 3);
  const Result<QByteArray> turned = TurnJpegClockwise(cut), turnedBack = TurnJpegClockwise(upsideDown);
  ASSERT_TRUE(turned && turnedBack);
  const QByteArray cutSampledOtherwise = test::madeJpeg(kKinds[0], QImage::fromData(*turned));
  const std::tuple<QByteArray, QByteArray, QList<QByteArray>> cases[] = {
      {whole, *right, {*wrong, sampledOtherwise}}, {cut, *turned, {*turnedBack, cutSampledOtherwise}}};
  for (const auto& [original, good, bad] : cases) {
    EXPECT_TRUE(imaging_detail::turnJpegWritingInstead(original, good));
    for (const QByteArray& other : bad) {
      const Result<QByteArray> refused = imaging_detail::turnJpegWritingInstead(original, other);
      EXPECT_EQ(refused ? QString() : refused.error(),
                QStringLiteral("the turned picture does not read back as it was written."));
    }
  }
}

}  // namespace
}  // namespace lumaset
