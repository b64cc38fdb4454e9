#include "components/imaging/jpeg/jpeg_turn_geometry.h"

#include "components/imaging/oriented_samples.h"

namespace lumaset::imaging_detail {

namespace {

// A turn as the matrix taking a point of the turned picture (from its
// centre) to the point of the original it comes from: [[a, b], [c, d]].
struct Matrix {
  int a, b, c, d;
};

Matrix matrixOf(Turn turn) {
  const int across = turn.mirrorAcross ? -1 : 1, down = turn.mirrorDown ? -1 : 1;
  return turn.transpose ? Matrix{0, down, across, 0} : Matrix{across, 0, 0, down};
}

}  // namespace

Turn followedBy(Turn first, Turn then) {
  const Matrix p = matrixOf(first), q = matrixOf(then);
  const Matrix m{p.a * q.a + p.b * q.c, p.a * q.b + p.b * q.d, p.c * q.a + p.d * q.c, p.c * q.b + p.d * q.d};
  return m.a != 0 ? Turn{false, m.a < 0, m.d < 0} : Turn{true, m.c < 0, m.b < 0};
}

Turn shownClockwise(int orientation) {
  const ShownTurn shown = shownTurn(orientation);
  return followedBy(shown.quarterTurn ? kClockwise : Turn{}, Turn{false, shown.mirrorAcross, shown.mirrorDown});
}

BlockTurn::BlockTurn(Turn turn) {
  for (int v = 0; v < DCTSIZE; ++v) {
    for (int u = 0; u < DCTSIZE; ++u) {
      const int k = v * DCTSIZE + u;
      from_[k] = static_cast<unsigned char>(turn.transpose ? u * DCTSIZE + v : k);
      const bool negate = (turn.mirrorAcross && (u & 1) != 0) != (turn.mirrorDown && (v & 1) != 0);
      sign_[k] = negate ? -1 : 1;
    }
  }
}

}  // namespace lumaset::imaging_detail
