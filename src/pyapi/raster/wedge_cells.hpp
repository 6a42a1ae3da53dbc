// Cell rules of the wedge rasters.  The wedge is taken apart into the
// quadrilateral Q (A0, A1, B1, B0) between the arc ends, the outer segment cut
// off by the chord B0 B1 and the inner segment cut off by A0 A1: Q plus the
// outer segment minus the inner one.  When both arcs span more than half a
// turn, Q is the gap between the two chords rather than part of the wedge, so
// there it is taken away instead (exact) or counts as outside (centre).
#pragma once

#include <cmath>
#include <cstddef>

#include "geometry/geometry.hpp"
#include "geometry/wedge.hpp"

namespace quorvantel::pyapi::raster {

struct WedgeCenterCell {
    double x, y;
    const geometry::WedgeFrame* f;
    double r_out2;  // squared radii less the slack
    double r_in2;

    WedgeCenterCell(double cx, double cy, const geometry::WedgeFrame& frame);

    // The directed edges whose crossings decide Q and the two triangles.
    enum Edge { A0A1, A1B1, B1B0, B0A0, OB1, B0O, OA1, A1A0, A0O, EDGES };
    struct Row {
        double dy;
        double dy2;
        bool straddles[EDGES];
        double crossing[EDGES];  // abscissa where the edge meets the row (when it straddles)
    };
    Row row(double fy) const;
    double operator()(const Row& r, double fx) const;
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
