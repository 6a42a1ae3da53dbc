// Overlap areas between discs, rectangles and small polygons.
#include "geometry.hpp"

#include <cmath>
#include <cstring>
#include <string>

#include "../fault.hpp"
#include "clip_walk.hpp"
#include "geometry_inline.hpp"

namespace quorvantel::geometry {

namespace {

// ---------------------------------------------------------------------------
// Disc / rectangle

// Twice-signed-area triangle, halved and made positive.  The vertex order
// fixes the rounding.
inline double tri_area(Point p, Point q, Point r) {
    return 0.5 * std::fabs((p.x * (q.y - r.y) + q.x * (r.y - p.y)) + r.x * (p.y - q.y));
}

// Circular segment cut off by the chord P-Q of the circle of radius r.
inline double segment_area(Point p, Point q, double r) {
    const double dx = p.x - q.x;
    const double dy = p.y - q.y;
    const double c = std::sqrt(dx * dx + dy * dy);
    const double t = 2.0 * std::asin((c * 0.5) / r);
    return (r * (r * 0.5)) * (t - std::sin(t));
}

// Rectangle entirely in the first quadrant (all bounds >= 0), r > 0.
double first_quadrant_overlap(double x0, double y0, double x1, double y1, double r) {
    const double rr = r * r;
    if (x0 * x0 + y0 * y0 > rr) return 0.0;
    if (x1 * x1 + y1 * y1 < rr) return (x1 - x0) * (y1 - y0);

    const bool b_inside = x1 * x1 + y0 * y0 < rr;
    const bool d_inside = x0 * x0 + y1 * y1 < rr;
    const Point a{x0, y0};
    const Point b{x1, y0};
    const Point c{x1, y1};
    const Point d{x0, y1};

    if (b_inside && d_inside) {
        const Point qr{x1, std::sqrt(rr - x1 * x1)};
        const Point pt{std::sqrt(rr - y1 * y1), y1};
        return ((x1 - x0) * (y1 - y0) - tri_area(c, qr, pt)) + segment_area(qr, pt, r);
    }
    if (b_inside) {
        const Point ql{x0, std::sqrt(rr - x0 * x0)};
        const Point qr{x1, std::sqrt(rr - x1 * x1)};
        return tri_area(ql, b, qr) + (tri_area(ql, a, b) + segment_area(ql, qr, r));
    }
    if (d_inside) {
        const Point pb{std::sqrt(rr - y0 * y0), y0};
        const Point pt{std::sqrt(rr - y1 * y1), y1};
        return tri_area(pb, pt, d) + (tri_area(a, pb, d) + segment_area(pb, pt, r));
    }
    const Point pb{std::sqrt(rr - y0 * y0), y0};
    const Point ql{x0, std::sqrt(rr - x0 * x0)};
    return tri_area(a, pb, ql) + segment_area(pb, ql, r);
}

// Rectangle that straddles neither axis (touching is allowed), r > 0.
double single_quadrant_overlap(double x0, double y0, double x1, double y1, double r) {
    if (x0 >= 0.0) {
        if (y0 >= 0.0) return first_quadrant_overlap(x0, y0, x1, y1, r);
        // Below the x axis: quarter turn (x, y) -> (-y, x).
        return first_quadrant_overlap(-y1, x0, -y0, x1, r);
    }
    if (y0 >= 0.0) {
        // Left of the y axis: reflect x -> -x.
        return first_quadrant_overlap(-x1, y0, -x0, y1, r);
    }
    // Third quadrant: half turn.
    return first_quadrant_overlap(-x1, -y1, -x0, -y0, r);
}

// ---------------------------------------------------------------------------
// Polygon clipping

constexpr double kClipTol = 1e-15;

inline double coord(Point p, Axis axis) { return axis == Axis::X ? p.x : p.y; }

inline Point crossing(Point prev, Point cur, Axis axis, double bound) {
    const double cp = coord(prev, axis);
    const double cc = coord(cur, axis);
    const double dc = cc - cp;
    if (std::fabs(dc) <= kClipTol) return prev;
    const double t = (bound - cp) / dc;
    return Point{prev.x + (cur.x - prev.x) * t, prev.y + (cur.y - prev.y) * t};
}

// One Sutherland-Hodgman style pass; `emit` receives output vertices in order.
template <class Emit>
inline void clip_pass(const Point* pts, std::size_t n, Axis axis, Keep side, double bound,
                      Emit&& emit) {
    if (n == 0) return;
    const bool greater = side == Keep::Greater;
    const double shifted = greater ? bound - kClipTol : bound + kClipTol;
    auto inside = [&](Point p) {
        const double c = coord(p, axis);
        return greater ? c >= shifted : c <= shifted;
    };
    clip_walk(
        pts, n, inside, [&](Point prev, Point cur) { return crossing(prev, cur, axis, bound); },
        emit);
}

// Signed area, positive for a counter-clockwise polygon; fewer than three
// vertices give 0.
inline double shoelace_signed_area(const Point* v, std::size_t n) {
    if (n < 3) return 0.0;
    double s = 0.0;
    for (std::size_t k = 1; k < n; ++k) {
        s += v[k - 1].x * v[k].y - v[k - 1].y * v[k].x;
    }
    s += v[n - 1].x * v[0].y - v[n - 1].y * v[0].x;
    return 0.5 * s;
}

inline double shoelace_area(const Point* v, std::size_t n) {
    return std::fabs(shoelace_signed_area(v, n));
}

inline void wedge_push(WedgePolygon& poly, Point p) {
    if (poly.count >= WedgePolygon::CAPACITY) {
        throw Fault("wedge polygon capacity exceeded");
    }
    poly.pts[poly.count++] = p;
}

}  // namespace

double circ_rect_overlap(double x0, double y0, double x1, double y1, double r) {
    if (r <= 0.0) return 0.0;

    // A bound equal to zero (either sign) sits on the non-straddling side, so a
    // rectangle that only touches an axis is not split.
    const bool straddles_x = y0 < 0.0 && y1 > 0.0;
    if (!(x0 >= 0.0) && !(x1 <= 0.0)) {
        if (straddles_x) {
            const double q1 = single_quadrant_overlap(x0, y0, 0.0, 0.0, r);
            const double q2 = single_quadrant_overlap(0.0, y0, x1, 0.0, r);
            const double q3 = single_quadrant_overlap(x0, 0.0, 0.0, y1, r);
            const double q4 = single_quadrant_overlap(0.0, 0.0, x1, y1, r);
            return ((q1 + q2) + q3) + q4;
        }
        const double left = single_quadrant_overlap(x0, y0, 0.0, y1, r);
        const double right = single_quadrant_overlap(0.0, y0, x1, y1, r);
        return left + right;
    }
    if (straddles_x) {
        const double lower = single_quadrant_overlap(x0, y0, x1, 0.0, r);
        const double upper = single_quadrant_overlap(x0, 0.0, x1, y1, r);
        return lower + upper;
    }
    return single_quadrant_overlap(x0, y0, x1, y1, r);
}

std::vector<Point> clip_polygon_by_axis(std::span<const Point> pts, Axis axis, Keep side,
                                        double bound) {
    std::vector<Point> out;
    if (pts.empty()) return out;
    out.reserve(pts.size() + 2);
    clip_pass(pts.data(), pts.size(), axis, side, bound, [&](Point p) { out.push_back(p); });
    return out;
}

double polygon_rect_overlap_area(std::span<const Point> pts, double x_lo, double x_hi,
                                 double y_lo, double y_hi) {
    std::vector<Point> poly = clip_polygon_by_axis(pts, Axis::X, Keep::Greater, x_lo);
    poly = clip_polygon_by_axis(poly, Axis::X, Keep::Less, x_hi);
    poly = clip_polygon_by_axis(poly, Axis::Y, Keep::Greater, y_lo);
    poly = clip_polygon_by_axis(poly, Axis::Y, Keep::Less, y_hi);
    return shoelace_area(poly.data(), poly.size());
}

WedgePolygon clip_wedge_polygon_by_axis(const WedgePolygon& poly, Axis axis, Keep side,
                                        double bound) {
    if (poly.count == 0) return poly;
    if (poly.count > WedgePolygon::CAPACITY) {
        throw Fault("wedge polygon capacity exceeded");
    }
    WedgePolygon out;
    std::memset(&out, 0, sizeof out);
    out.count = 0;
    clip_pass(poly.pts, poly.count, axis, side, bound, [&](Point p) { wedge_push(out, p); });
    return out;
}

namespace {

// The polygon pts (3 points, or 4) clipped to [x_lo, x_hi] x [y_lo, y_hi].
WedgePolygon clip_wedge_polygon_to_rect(std::span<const Point> pts, double x_lo, double x_hi,
                                        double y_lo, double y_hi) {
    if (pts.size() < 3) {
        throw Fault("wedge polygon needs 3 or 4 points, got " + std::to_string(pts.size()));
    }
    WedgePolygon poly;
    std::memset(&poly, 0, sizeof poly);
    poly.count = pts.size() == 3 ? 3 : 4;
    for (std::size_t i = 0; i < poly.count; ++i) poly.pts[i] = pts[i];

    poly = clip_wedge_polygon_by_axis(poly, Axis::X, Keep::Greater, x_lo);
    poly = clip_wedge_polygon_by_axis(poly, Axis::X, Keep::Less, x_hi);
    poly = clip_wedge_polygon_by_axis(poly, Axis::Y, Keep::Greater, y_lo);
    return clip_wedge_polygon_by_axis(poly, Axis::Y, Keep::Less, y_hi);
}

}  // namespace

double wedge_polygon_rect_overlap_area(std::span<const Point> pts, double x_lo, double x_hi,
                                       double y_lo, double y_hi) {
    const WedgePolygon poly = clip_wedge_polygon_to_rect(pts, x_lo, x_hi, y_lo, y_hi);
    return shoelace_area(poly.pts, poly.count);
}

double wedge_polygon_rect_signed_area(std::span<const Point> pts, double x_lo, double x_hi,
                                      double y_lo, double y_hi) {
    const WedgePolygon poly = clip_wedge_polygon_to_rect(pts, x_lo, x_hi, y_lo, y_hi);
    return shoelace_signed_area(poly.pts, poly.count);
}

double circle_polygon_overlap_area_scaled(std::span<const Point> pts, double r) {
    if (!(pts.size() >= 3 && pts.size() <= 8)) {
        throw Fault("disc/polygon overlap needs 3 to 8 vertices, got " +
                    std::to_string(pts.size()));
    }
    if (r <= 0.0) return 0.0;
    Point v[8];
    const std::size_t n = pts.size();
    for (std::size_t i = 0; i < n; ++i) v[i] = Point{pts[i].x / r, pts[i].y / r};
    const double m = detail::unit_disc_polygon_overlap(v, n);
    return r * (r * m);
}

double unit_disc_quad_overlap(const Point (&quad)[4]) {
    return detail::unit_disc_polygon_overlap(quad, 4);
}

}  // namespace quorvantel::geometry
