// The wedge: the aperture between an inner arc of radius r_in and an outer arc
// of radius r_out about one centre, joined by two straight sides.  Its frame
// (arc end angles, corner points and sweep limits) is made once per call from
// the six shape parameters; the pixel box of one aperture is a function of
// that frame and the centre, shared by every family that reports or walks it.
#pragma once

#include <cmath>
#include <cstddef>

#include "geometry/geometry.hpp"
#include "geometry/pixel_box.hpp"

namespace quorvantel::geometry {

inline constexpr double WEDGE_PI = 3.141592653589793;
inline constexpr double WEDGE_TWO_PI = 6.283185307179586;
inline constexpr double WEDGE_HALF_PI = 1.5707963267948966;
inline constexpr double WEDGE_PIXEL_HALF_DIAGONAL = 0.7071067811865476;
// Slack of the sweep tests (an angle just past an arc end still belongs to it).
inline constexpr double WEDGE_SWEEP_SLACK = 1e-15;

// t reduced into [0, 2 pi).
inline double wrap_angle(double t) {
    double r = std::fmod(t, WEDGE_TWO_PI);
    if (r < 0.0) r = r + WEDGE_TWO_PI;
    return r;
}

// The sweep of an arc from `start` to `end` = span + start: the wrapped
// difference, except that an arc whose difference comes out at a whole turn
// or more by rounding (a span just below 2 pi) sweeps the whole turn rather
// than its wrap, 0.
inline double arc_sweep(double start, double end) {
    const double d = end - start;
    return d < WEDGE_TWO_PI ? wrap_angle(d) : WEDGE_TWO_PI;
}

struct WedgeFrame {
    double r_in;
    double r_out;
    double theta_in;
    double dtheta_in;
    double theta_out;
    double dtheta_out;
    // Inner arc from a0 to a1, outer arc from b0 to b1, both counter-clockwise;
    // b0 lies within half a turn of a0.
    double a0, a1, b0, b1;
    // Arc ends relative to the centre: A0, A1 on the inner circle, B0, B1 on the outer.
    Point A0, A1, B0, B1;
    // The sweeps of the computed ends (arc_sweep), with the slack.
    double sweep_in;
    double sweep_out;
    // sin(dtheta) < 0: the arc spans more than half a turn.
    bool reflex_in;
    bool reflex_out;
    // Offsets from the centre of the points whose extent fixes the box: the
    // four arc ends, then the quarter-turn points inside either sweep.
    Point extent_points[4 + 2 * 9];
    std::size_t extent_count;
};

inline WedgeFrame wedge_frame(double r_in, double r_out, double theta_in, double dtheta_in,
                              double theta_out, double dtheta_out) {
    WedgeFrame f{};
    f.r_in = r_in;
    f.r_out = r_out;
    f.theta_in = theta_in;
    f.dtheta_in = dtheta_in;
    f.theta_out = theta_out;
    f.dtheta_out = dtheta_out;
    f.a0 = theta_in - dtheta_in * 0.5;
    f.a1 = dtheta_in + f.a0;
    f.b0 = f.a0 + (wrap_angle(((theta_out - dtheta_out * 0.5) - f.a0) + WEDGE_PI) - WEDGE_PI);
    f.b1 = dtheta_out + f.b0;
    const auto on_circle = [](double r, double phi) {
        return Point{r * std::cos(phi), r * std::sin(phi)};
    };
    f.A0 = on_circle(r_in, f.a0);
    f.A1 = on_circle(r_in, f.a1);
    f.B0 = on_circle(r_out, f.b0);
    f.B1 = on_circle(r_out, f.b1);
    f.sweep_in = arc_sweep(f.a0, f.a1) + WEDGE_SWEEP_SLACK;
    f.sweep_out = arc_sweep(f.b0, f.b1) + WEDGE_SWEEP_SLACK;
    f.reflex_in = std::sin(dtheta_in) < 0.0;
    f.reflex_out = std::sin(dtheta_out) < 0.0;

    std::size_t n = 0;
    f.extent_points[n++] = f.A0;
    f.extent_points[n++] = f.A1;
    f.extent_points[n++] = f.B0;
    f.extent_points[n++] = f.B1;
    for (int k = -4; k <= 4; ++k) {
        const double phi = (static_cast<double>(k) / 2.0) * WEDGE_PI;
        if (wrap_angle(phi - f.b0) <= f.sweep_out) f.extent_points[n++] = on_circle(r_out, phi);
        if (wrap_angle(phi - f.a0) <= f.sweep_in) f.extent_points[n++] = on_circle(r_in, phi);
    }
    f.extent_count = n;
    return f;
}

// The pixel box of the wedge about (x, y): the extent of its extent points,
// widened by half a pixel diagonal on every side, then rounded as every box.
inline PixelBox wedge_box(const WedgeFrame& f, double x, double y) {
    double min_x = INFINITY;
    double max_x = -INFINITY;
    double min_y = INFINITY;
    double max_y = -INFINITY;
    for (std::size_t k = 0; k < f.extent_count; ++k) {
        const double px = x + f.extent_points[k].x;
        const double py = y + f.extent_points[k].y;
        min_x = std::fmin(min_x, px);
        max_x = std::fmax(max_x, px);
        min_y = std::fmin(min_y, py);
        max_y = std::fmax(max_y, py);
    }
    constexpr double WIDEN = WEDGE_PIXEL_HALF_DIAGONAL;
    const PixelBox low = pixel_box(min_x, min_y, WIDEN, WIDEN);
    const PixelBox high = pixel_box(max_x, max_y, WIDEN, WIDEN);
    return {low.x_min, high.x_max, low.y_min, high.y_max};
}

}  // namespace quorvantel::geometry
