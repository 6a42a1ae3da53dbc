// Cell rules of the wedge rasters.  The outline runs along the inner arc from
// A0 to A1, the side A1 B1 (the end side), the outer arc back from B1 to B0
// and the side B0 A0 (the start side).  A simple outline always runs
// clockwise (the outside of the outer arc reaches infinity without meeting
// it), so a centre cell is 1 where the outline turns clockwise about the
// pixel centre at least once: inside a simple wedge, and where the parts of
// one that crosses itself add up to at least 1.
//
// A centre on the outline is judged as though moved off it by an
// infinitesimal step counter-clockwise about the wedge's centre O, and then
// by a yet smaller step away from O: a centre on the inner arc belongs to the
// wedge and one on the outer arc does not (as with the circular annulus), a
// centre on the start side belongs to it and one on the end side does not
// (where a skewed side runs towards O the step crosses it the other way, and
// there the two swap), A0 belongs and A1, B0 and B1 do not.  The step depends on the point alone,
// so wedges that share a side (the sectors of one annulus, say) share no
// centre on it and leave none out.  At O itself the step is towards +x, then
// towards -y.
//
// Off the sides the turns are counted along the ray towards +x, whose level
// is taken a hair away from O's height, where an arc through the centre also
// has its outside; on a side (within 1e-10 px and 1e-13 of the outer radius)
// they are counted along the ray in the direction of the step, which leaves
// the side at once.
#pragma once

#include <cmath>
#include <cstddef>

#include "geometry/arc_pieces.hpp"
#include "geometry/geometry.hpp"
#include "geometry/wedge.hpp"

namespace quorvantel::pyapi::raster {

struct WedgeCenterCell {
    double x, y;
    const geometry::WedgeFrame* f;
    // Squared radii; a centre is inside a disc when dy^2 + dx^2 is below
    // them, as in the circular annulus, so that sectors add up to it.
    double r_out2;
    double r_in2;
    double sweep_in, sweep_out;  // of the computed arc ends, without the slack
    double tolerance;            // of the side test
    // A side as the outline runs it, with what its distance test needs.
    struct Side {
        geometry::Point from, to;
        double lo_x, hi_x, lo_y, hi_y;  // its extent widened by the tolerance
        double len2;
        double slack;  // the tolerance times the side's length
    };
    Side sides[2];  // A1 B1, B0 A0
    // The arcs' pieces monotone in y, both counter-clockwise (the outline
    // runs the outer one backwards).
    geometry::ArcPieces inner_arc;
    geometry::ArcPieces outer_arc;

    WedgeCenterCell(double cx, double cy, const geometry::WedgeFrame& frame);

    struct Row {
        double dy;
        double dy2;
        bool ties_above;  // the ray's level is taken just below dy (below O's height)
        bool straddles[2];
        bool falls[2];       // sides[k] runs downwards through the row (when it straddles)
        double crossing[2];  // abscissa where sides[k] meets the row (when it straddles)
        // Clockwise turns (down +1, up -1) of the outline's arc pieces that
        // span the row, by circle and half.
        int inner_right, inner_left, outer_right, outer_left;
        bool near_side[2];  // the row meets the widened extent of sides[k]
    };
    Row row(double fy) const;
    double operator()(const Row& r, double fx) const;

    bool on_side(int k, double dx, double dy) const;
    int clockwise_turns(const Row& r, double dx, double d2) const;
    // The turns about the point moved off the sides it lies on, as above.
    int turns_after_step(double dx, double dy, double d2, const bool (&on)[2]) const;
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
