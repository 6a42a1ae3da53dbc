// Cell rules and raster builders of the pill (a turned rectangle of
// half-length hw and half-width b with elliptical caps of semi-axes a along
// and b across, centred on its two ends) and of the pill annulus.
//
// The exact weight of a pixel is the area of its union with the pill: the
// rectangle's share plus, for each cap, the share of the cap's outer half
// (the half beyond the rectangle's end line; the inner half lies inside the
// rectangle).  Pills with circular caps take their outline as a path.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/geometry_inline.hpp"
#include "geometry/path.hpp"
#include "geometry/shape_frames.hpp"
#include "pyapi/raster/builders.hpp"
#include "pyapi/raster/cells.hpp"
#include "pyapi/raster/path.hpp"

namespace quorvantel::pyapi::raster {

// Area of the pixel beyond the line u = end (outward: the side away from the
// rectangle) inside the cap ellipse centred there, from the pixel's corners
// in the pill frame.
template <bool Right>
double cap_half_share(const geometry::Point (&corners)[4], double end, double a, double b) {
    geometry::Point half[geometry::RECT_CLIP_CAPACITY];
    const std::size_t n = geometry::clip_pass<true, Right>(corners, 4, half, end);
    if (n < 3) return 0.0;
    for (std::size_t k = 0; k < n; ++k) half[k] = {(half[k].x - end) / a, half[k].y / b};
    return b * (a * geometry::detail::unit_disc_polygon_overlap(half, n));
}

// Exact coverage of a pixel by one pill, in [0, 1].
struct PillUnionCell : Turned {
    double hw, a, b;
    double operator()(const summation::TurnedRow& r, double fx) const {
        geometry::Point quad[4];
        corners(r, fx, quad);
        geometry::Point buf[geometry::RECT_CLIP_CAPACITY] = {quad[0], quad[1], quad[2], quad[3]};
        const double mid = geometry::clipped_pixel_weight(buf, hw, b);
        const double left = cap_half_share<false>(quad, -hw, a, b);
        const double right = cap_half_share<true>(quad, hw, a, b);
        double w = (mid + left) + right;
        if (w < 0.0) w = 0.0;
        if (w > 1.0) w = 1.0;
        return w;
    }
};

inline PillUnionCell pill_union_cell(double x, double y, double w, double a, double b, double c,
                                     double s) {
    return PillUnionCell{{x, y, c, s}, w * 0.5, a, b};
}

// Strictly inside the rectangle, or else strictly inside either cap.
struct PillCenterCell : CentreCell<PillCenterCell> {
    RectCenterCell mid;
    EllipCenterCell left;
    EllipCenterCell right;
    PillCenterCell(double x, double y, double w, double a, double b, double c, double s)
        : mid{{x, y, c, s}, {}, w * 0.5, b},
          left(PlacedEllipse{x - (w * 0.5) * c, y - (w * 0.5) * s, a, b, c, s}),
          right(PlacedEllipse{x + (w * 0.5) * c, y + (w * 0.5) * s, a, b, c, s}) {}
    struct Row {
        summation::TurnedRow mid, left, right;
    };
    Row row(double fy) const { return {mid.row(fy), left.row(fy), right.row(fy)}; }
    bool inside(const Row& r, double fx) const {
        return mid.inside(r.mid, fx) || left.inside(r.left, fx) || right.inside(r.right, fx);
    }
};

// Caps closer to circles than this take the outline route.
inline bool circular_caps(double a, double b) {
    return std::fabs(a - b) <= 1e-14 * std::fmax(std::fmax(a, b), 1.0);
}

// The outline of a pill with circular caps of radius a about its centre:
// two sides and two half circles, counter-clockwise.
inline geometry::ValidatedPath circular_pill_outline(double w, double a, double c, double s) {
    constexpr double HALF_PI = 1.5707963267948966;
    const double turn = std::atan2(s, c);
    double s1;
    double c1;
    ::sincos(turn, &s1, &c1);
    const double hw = w * 0.5;
    const geometry::Point p0{-hw * c1 + a * s1, -hw * s1 - a * c1};
    const geometry::Point p1{hw * c1 + a * s1, hw * s1 - a * c1};
    const geometry::Point p2{hw * c1 - a * s1, hw * s1 + a * c1};
    const geometry::Point p3{-hw * c1 - a * s1, -hw * s1 + a * c1};
    using geometry::PathSeg;
    std::vector<PathSeg> segs{
        PathSeg::line(p0.x, p0.y, p1.x, p1.y),
        PathSeg::arc_between(hw * c1, hw * s1, a, turn - HALF_PI, geometry::PATH_PI, p1, p2),
        PathSeg::line(p2.x, p2.y, p3.x, p3.y),
        PathSeg::arc_between(-hw * c1, -hw * s1, a, turn + HALF_PI, geometry::PATH_PI, p3, p0)};
    geometry::ValidatedPath outline;
    outline.push_back(geometry::make_contour(std::move(segs)));
    return outline;
}

inline Raster weights_pill_exact_values(std::int64_t x_min, std::int64_t y_min, std::uint64_t ny,
                                        std::uint64_t nx, double x, double y, double w, double a,
                                        double b, double c, double s) {
    if (circular_caps(a, b)) {
        const geometry::ValidatedPath outline = circular_pill_outline(w, a, c, s);
        return weights_values(PathExactCell{outline, x, y}, x_min, y_min, ny, nx);
    }
    return weights_values(pill_union_cell(x, y, w, a, b, c, s), x_min, y_min, ny, nx);
}

inline Raster weights_pill_center_values(std::int64_t x_min, std::int64_t y_min, std::uint64_t ny,
                                         std::uint64_t nx, double x, double y, double w, double a,
                                         double b, double c, double s) {
    return weights_values(PillCenterCell(x, y, w, a, b, c, s), x_min, y_min, ny, nx);
}

inline Raster weights_pill_ann_exact_values(std::int64_t x_min, std::int64_t y_min,
                                            std::uint64_t ny, std::uint64_t nx, double x, double y,
                                            double w_in, double a_in, double b_in, double w_out,
                                            double a_out, double b_out, double c_in, double s_in,
                                            double c_out, double s_out) {
    const ExactDifference<PillUnionCell, PillUnionCell> cell{
        pill_union_cell(x, y, w_out, a_out, b_out, c_out, s_out),
        pill_union_cell(x, y, w_in, a_in, b_in, c_in, s_in)};
    return weights_values(cell, x_min, y_min, ny, nx);
}

inline Raster weights_pill_ann_center_values(std::int64_t x_min, std::int64_t y_min,
                                             std::uint64_t ny, std::uint64_t nx, double x,
                                             double y, double w_in, double a_in, double b_in,
                                             double w_out, double a_out, double b_out,
                                             double c_in, double s_in, double c_out,
                                             double s_out) {
    const CenterDifference cell(PillCenterCell(x, y, w_out, a_out, b_out, c_out, s_out),
                                PillCenterCell(x, y, w_in, a_in, b_in, c_in, s_in));
    return weights_values(cell, x_min, y_min, ny, nx);
}

}  // namespace quorvantel::pyapi::raster
