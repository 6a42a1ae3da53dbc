// An arc cut where its circle is highest and lowest into pieces along which
// y only rises or only falls.  The ray from a point towards +x meets such a
// piece at most once, and only when the piece's end heights lie on either
// side of the point's, compared half-open (an end at the point's height
// counts as below it), so that a ray through the joint of two pieces, or of
// a piece and the next segment of an outline, is counted once.  Where the
// ray's line meets a piece follows from the half of the circle it lies on:
// at +sqrt(r^2 - y^2) from the centre on the right half, at minus that on the
// left, so that a point is left of a right-half piece when it lies left of
// the centre or inside the disc, and left of a left-half piece when it lies
// left of the centre and outside the disc.
#pragma once

#include <cstddef>

#include "geometry/geometry.hpp"

namespace quorvantel::geometry {

struct ArcPiece {
    // Heights relative to the circle's centre of the piece's ends, taken
    // counter-clockwise.
    double y_start, y_end;
    bool right;  // on the circle's right half (rising counter-clockwise)
};

struct ArcPieces {
    ArcPiece pieces[3];
    std::size_t count;
};

// The pieces, counter-clockwise, of the arc of radius r that sweeps `sweep`
// radians counter-clockwise from the end at height y_start to the end at
// height y_end; to_top and to_bottom are the counter-clockwise turns, in
// [0, 2 pi), from the start to the circle's top and to its bottom.  The arc's
// own end heights are used as they are, the top and bottom are at +r and -r.
inline ArcPieces monotone_arc_pieces(double r, double sweep, double y_start, double y_end,
                                     double to_top, double to_bottom) {
    struct Cut {
        double at, height;
    };
    Cut cuts[2];
    std::size_t n = 0;
    if (to_top > 0.0 && to_top < sweep) cuts[n++] = {to_top, r};
    if (to_bottom > 0.0 && to_bottom < sweep) cuts[n++] = {to_bottom, -r};
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

// Whether the segment from height `from` to height `to` spans the height y,
// half-open: an end at y counts as below it.
inline bool spans_height(double from, double to, double y) { return (from > y) != (to > y); }

}  // namespace quorvantel::geometry
