// An arc cut where its circle is highest and lowest into pieces along which
// the height only rises or only falls.  A ray across the heights meets such a
// piece at most once, and only when the piece's end heights lie on either
// side of the ray's level, compared half-open (an end at the level counts on
// one chosen side of it, the same for every piece and segment), so that a
// ray through the joint of two pieces, or of a piece and the next segment of
// an outline, is counted once.  For the ray from a point towards +x, where
// its line meets a piece follows from the half of the circle it lies on: at
// +sqrt(r^2 - y^2) from the centre on the right half, at minus that on the
// left, so that a point is left of a right-half piece when it lies left of
// the centre or inside the disc, and left of a left-half piece when it lies
// left of the centre and outside the disc.
#pragma once

#include <cstddef>

#include "geometry/geometry.hpp"

namespace quorvantel::geometry {

struct ArcPiece {
    // Heights of the piece's ends, taken counter-clockwise.
    double y_start, y_end;
    bool right;  // rising counter-clockwise (for heights in y, the circle's right half)
};

struct ArcPieces {
    ArcPiece pieces[3];
    std::size_t count;
};

// The pieces, counter-clockwise, of the arc that sweeps `sweep` radians
// counter-clockwise from the end at height y_start to the end at height
// y_end; to_top and to_bottom are the counter-clockwise turns, in [0, 2 pi),
// from the start to the circle's highest and lowest points, which lie at
// top_height and bottom_height.  The arc's own end heights are used as they
// are.
inline ArcPieces monotone_arc_pieces(double sweep, double y_start, double y_end, double to_top,
                                     double top_height, double to_bottom, double bottom_height) {
    struct Cut {
        double at, height;
    };
    Cut cuts[2];
    std::size_t n = 0;
    if (to_top > 0.0 && to_top < sweep) cuts[n++] = {to_top, top_height};
    if (to_bottom > 0.0 && to_bottom < sweep) cuts[n++] = {to_bottom, bottom_height};
    if (n == 2 && cuts[1].at < cuts[0].at) {
        const Cut first = cuts[1];
        cuts[1] = cuts[0];
        cuts[0] = first;
    }
    ArcPieces out{};
    double from = y_start;
    for (std::size_t k = 0; k <= n; ++k) {
        const double to = k < n ? cuts[k].height : y_end;
        out.pieces[out.count++] = {from, to, to > from};
        from = to;
    }
    return out;
}

// Whether a height counts as above the level y, half-open: a height equal to
// y counts as below it, or as above it when `ties_above`.
inline bool above_level(double height, double y, bool ties_above) {
    return ties_above ? height >= y : height > y;
}

}  // namespace quorvantel::geometry
