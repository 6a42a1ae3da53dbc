// Edge-by-edge integration of the unit disc over a polygon.  Kept in a header
// so that the per-pixel quadrilateral overlap can be inlined by hot callers;
// both circle_polygon_overlap_area_scaled and unit_disc_quad_overlap use it.
#pragma once

#include <cmath>
#include <cstddef>

#include "geometry.hpp"

namespace quorvantel::geometry::detail {

inline constexpr double kPi = 3.141592653589793;

// Signed contribution of the edge P -> Q (unit-disc frame): the edge is cut
// where it crosses the unit circle, chords inside the disc add their signed
// triangle area with the origin, arcs outside add their signed sector area.
inline double unit_disc_edge_term(Point p, Point q) {
    const double dx = q.x - p.x;
    const double dy = q.y - p.y;
    const double a = dx * dx + dy * dy;
    const double b = p.y * dy + p.x * dx;
    const double c = (p.x * p.x + p.y * p.y) - 1.0;

    double ts[4];
    std::size_t nt = 0;
    ts[nt++] = 0.0;
    ts[nt++] = 1.0;
    if (a > 0.0) {
        const double b2 = 2.0 * b;
        const double a4 = 4.0 * a;
        const double disc = b2 * b2 - a4 * c;
        if (disc > 0.0) {
            const double s = std::sqrt(disc);
            const double t1 = (-b2 - s) / (a + a);
            const double t2 = (s - b2) / (a + a);
            if (t1 > 0.0 && t1 < 1.0) ts[nt++] = t1;
            if (t2 > 0.0 && t2 < 1.0) ts[nt++] = t2;
        }
    }
    // Insertion sort, at most four entries.
    for (std::size_t i = 1; i < nt; ++i) {
        const double v = ts[i];
        std::size_t j = i;
        while (j > 0 && ts[j - 1] > v) {
            ts[j] = ts[j - 1];
            --j;
        }
        ts[j] = v;
    }

    double edge = 0.0;
    for (std::size_t i = 0; i + 1 < nt; ++i) {
        const double ta = ts[i];
        const double tb = ts[i + 1];
        if (!(tb > ta)) continue;
        const double ax = p.x + dx * ta;
        const double ay = p.y + dy * ta;
        const double bx = p.x + dx * tb;
        const double by = p.y + dy * tb;
        const double tm = (ta + tb) * 0.5;
        const double mx = p.x + dx * tm;
        const double my = p.y + dy * tm;
        const double cross = ax * by - ay * bx;
        // A piece whose midpoint lies on the circle is an unsplit tangent edge
        // touching it at that midpoint: it runs outside, so it is an arc piece.
        if (mx * mx + my * my < 1.0) {
            edge += 0.5 * cross;
        } else {
            edge += 0.5 * std::atan2(cross, ax * bx + ay * by);
        }
    }
    return edge;
}

// Signed area of the unit disc inside the polygon v[0..n-1], positive for a
// counter-clockwise polygon; NaN or infinite when the vertices are so far out
// that their products overflow.
inline double unit_disc_polygon_signed_overlap(const Point* v, std::size_t n) {
    double total = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const Point p = v[k];
        const Point q = v[(k + 1 == n) ? 0 : k + 1];
        total += unit_disc_edge_term(p, q);
    }
    return total;
}

// |total| capped at pi, a NaN total giving pi.  std::fmin is a library call
// here; against a bound that is never NaN this gives the same value.
inline double capped_disc_area(double total) {
    const double area = std::fabs(total);
    return area < kPi ? area : kPi;
}

// Area of the unit disc inside the polygon v[0..n-1] (either orientation),
// capped at pi; a NaN total also gives pi.
inline double unit_disc_polygon_overlap(const Point* v, std::size_t n) {
    return capped_disc_area(unit_disc_polygon_signed_overlap(v, n));
}

}  // namespace quorvantel::geometry::detail
