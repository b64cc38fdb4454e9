#include "components/imaging/jpeg/jpeg_turn_geometry.h"

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

Turn uprightTurn(int orientation) {
  switch (orientation) {
    case 2: return {false, true, false};
    case 3: return {false, true, true};
    case 4: return {false, false, true};
    case 5: return {true, false, false};
    case 6: return {true, true, false};
    case 7: return {true, true, true};
    case 8: return {true, false, true};
    default: return {};
  }
}

Turn followedBy(Turn first, Turn then) {
  const Matrix p = matrixOf(first), q = matrixOf(then);
  const Matrix m{p.a * q.a + p.b * q.c, p.a * q.b + p.b * q.d, p.c * q.a + p.d * q.c, p.c * q.b + p.d * q.d};
  return m.a != 0 ? Turn{false, m.a < 0, m.d < 0} : Turn{true, m.c < 0, m.b < 0};
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
