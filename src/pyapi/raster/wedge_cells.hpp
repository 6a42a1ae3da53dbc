// Cell rules of the wedge rasters.  The outline runs along the inner arc from
// A0 to A1, the side A1 B1, the outer arc back from B1 to B0 and the side B0
// A0.  By Green's theorem it is taken apart into the quadrilateral Q (A0, B0,
// B1, A1), the outer segment cut off by the chord B0 B1 and the inner segment
// cut off by A0 A1: minus the winding number of the outline is the winding
// number of Q plus [in the outer segment] less [in the inner segment].  A
// simple outline always runs clockwise (the outside of the outer arc reaches
// infinity without meeting it), so for every wedge whose outline does not
// cross itself that sum is 1 inside and 0 outside, whatever the spans.
//
// A centre cell is 1 when that sum is at least 1 at the pixel centre.  Off
// the outline the sum is the outline's own clockwise turns about the point,
// which the cell counts directly; the parts' tests would meet ties on their
// own edges (the chords, the rays from the centre through the arc ends, the
// centre itself), where an angle test and a triangle test may break the tie
// in opposite ways, though the outline is far.  On a side itself the count
// has no answer; there the cell adds the parts up.
#pragma once

#include <cmath>
#include <cstddef>

#include "geometry/arc_pieces.hpp"
#include "geometry/geometry.hpp"
#include "geometry/path.hpp"
#include "geometry/wedge.hpp"

namespace quorvantel::pyapi::raster {

struct WedgeCenterCell {
    double x, y;
    const geometry::WedgeFrame* f;
    double r_out2;  // squared radii less the slack
    double r_in2;
    geometry::PathSeg sides[2];  // A1 B1 and B0 A0
    // The arcs' pieces monotone in y, both counter-clockwise (the outline
    // runs the outer one backwards).
    geometry::ArcPieces inner_arc;
    geometry::ArcPieces outer_arc;

    WedgeCenterCell(double cx, double cy, const geometry::WedgeFrame& frame);

    // The directed edges whose crossings decide Q and the two triangles (the
    // outline's turns look at its sides A1B1 and B0A0 only).
    enum Edge { A0A1, A1B1, B1B0, B0A0, OB1, B0O, OA1, A1A0, A0O, EDGES };
    struct Row {
        double dy;
        double dy2;
        bool straddles[EDGES];
        bool rises[EDGES];       // the edge runs upwards through the row (when it straddles)
        double crossing[EDGES];  // abscissa where the edge meets the row (when it straddles)
        // Clockwise turns (down +1, up -1) of the outline's arc pieces that
        // span the row, by circle and half.
        int inner_right, inner_left, outer_right, outer_left;
        bool near_side[2];  // the row meets the extent of sides[k]
    };
    Row row(double fy) const;
    double operator()(const Row& r, double fx) const;

    bool on_a_side(const Row& r, double dx) const;
    int clockwise_turns(const Row& r, double dx, double d2) const;
    // 1 when Q's winding number plus [in the outer segment] less [in the
    // inner one] is at least 1, else 0.
    double decomposed(const Row& r, double dx, double d2) const;
};

struct WedgeExactCell {
    double x, y;
    const geometry::WedgeFrame* f;
    bool same_sector;  // both arcs share centre angle and width

    // The cones of at most a quarter turn into which an arc's sweep is cut.
    struct Cone {
        double c0, s0;  // cos and sin of the first ray
        double c1, s1;  // ... and of the second
    };
    struct Cones {
        static constexpr std::size_t CAPACITY = 8;
        Cone cones[CAPACITY];
        std::size_t count;
    };
    Cones outer_cones;  // from b0 over dtheta_out
    Cones inner_cones;  // from a0 over dtheta_in

    WedgeExactCell(double cx, double cy, const geometry::WedgeFrame& frame);

    struct Row {
        double ylo, yhi;
    };
    Row row(double fy) const { return {(fy - 0.5) - y, (fy + 0.5) - y}; }
    double operator()(const Row& r, double fx) const;
};

}  // namespace quorvantel::pyapi::raster
