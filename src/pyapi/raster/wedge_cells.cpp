#include "pyapi/raster/wedge_cells.hpp"

#include <algorithm>
#include <span>

#include "fault.hpp"
#include "geometry/clip_walk.hpp"

namespace quorvantel::pyapi::raster {
namespace {

using geometry::Point;

constexpr double RADIUS_SLACK = 1e-15;
constexpr double CONE_SLACK = 1e-15;
// A sweep, or what is left of it, of at most this many radians adds nothing.
constexpr double NEGLIGIBLE_SWEEP = 1e-14;
constexpr double SAME_SECTOR = 1e-14;
// Rows this near a side's extent may hold centres on that side.
constexpr double SIDE_SLACK = 1e-9;

WedgeExactCell::Cones cut_into_cones(double start, double sweep) {
    WedgeExactCell::Cones out{};
    if (sweep <= NEGLIGIBLE_SWEEP) return out;
    double phi = start;
    double remaining = sweep;
    for (;;) {
        const double step = std::min(remaining, geometry::WEDGE_HALF_PI);
        const double phi1 = phi + step;
        if (out.count == WedgeExactCell::Cones::CAPACITY) throw Fault("wedge sweep cut too often");
        out.cones[out.count++] = {std::cos(phi), std::sin(phi), std::cos(phi1), std::sin(phi1)};
        remaining = remaining - step;
        if (remaining <= NEGLIGIBLE_SWEEP) break;
        phi = phi1;
    }
    return out;
}

// One clipping pass against the line through the origin at angle (c, s):
// keeps the points with P.y c - P.x s >= -slack (Left) or <= slack.
template <bool Left>
std::size_t clip_by_ray(const Point* in, std::size_t n, Point* out, double c, double s) {
    const auto side = [&](const Point& p) { return p.y * c - p.x * s; };
    const auto inside = [&](const Point& p) {
        if constexpr (Left) return side(p) >= -CONE_SLACK; else return side(p) <= CONE_SLACK;
    };
    const auto crossing = [&](const Point& prev, const Point& cur) -> Point {
        const double dx = cur.x - prev.x;
        const double dy = cur.y - prev.y;
        const double d = dy * c - dx * s;
        if (std::fabs(d) <= CONE_SLACK) return prev;
        const double t = -side(prev) / d;
        return {prev.x + t * dx, prev.y + t * dy};
    };
    std::size_t m = 0;
    geometry::clip_walk(in, n, inside, crossing, [&](const Point& p) { out[m++] = p; });
    return m;
}

// Sum over the cones of value(piece), the piece being the part of the pixel
// square inside the cone (taken when it keeps at least three vertices).
template <class Value>
double over_cones(const WedgeExactCell::Cones& cones, const Point (&square)[4], Value value) {
    double sum = 0.0;
    for (std::size_t k = 0; k < cones.count; ++k) {
        const WedgeExactCell::Cone& cone = cones.cones[k];
        // A pass emits at most two points per input vertex, so the buffers
        // cannot overflow; a piece of more than eight vertices (never seen
        // from a convex cone and a square) is refused by the disc overlap.
        Point first[2 * 4];
        Point second[2 * 2 * 4];
        const std::size_t n1 = clip_by_ray<true>(square, 4, first, cone.c0, cone.s0);
        const std::size_t n2 = clip_by_ray<false>(first, n1, second, cone.c1, cone.s1);
        if (n2 >= 3) sum = sum + value(std::span<const Point>(second, n2));
    }
    return sum;
}

bool crosses(const WedgeCenterCell::Row& r, WedgeCenterCell::Edge e, double dx) {
    return r.straddles[e] && dx < r.crossing[e];
}

// The arc of radius r from the angle `start` (end point from) over the
// counter-clockwise turn to the angle `end` (end point to), cut into pieces.
geometry::ArcPieces arc_pieces(double r, double start, double end, Point from, Point to) {
    return geometry::monotone_arc_pieces(r, geometry::arc_sweep(start, end), from.y, to.y,
                                         geometry::wrap_angle(geometry::WEDGE_HALF_PI - start),
                                         geometry::wrap_angle(-geometry::WEDGE_HALF_PI - start));
}

}  // namespace

WedgeCenterCell::WedgeCenterCell(double cx, double cy, const geometry::WedgeFrame& frame)
    : x(cx),
      y(cy),
      f(&frame),
      r_out2(frame.r_out * frame.r_out - RADIUS_SLACK),
      r_in2(frame.r_in * frame.r_in - RADIUS_SLACK),
      sides{geometry::PathSeg::line(frame.A1.x, frame.A1.y, frame.B1.x, frame.B1.y),
            geometry::PathSeg::line(frame.B0.x, frame.B0.y, frame.A0.x, frame.A0.y)},
      inner_arc(arc_pieces(frame.r_in, frame.a0, frame.a1, frame.A0, frame.A1)),
      outer_arc(arc_pieces(frame.r_out, frame.b0, frame.b1, frame.B0, frame.B1)) {}

WedgeCenterCell::Row WedgeCenterCell::row(double fy) const {
    const Point O{0.0, 0.0};
    const Point ends[EDGES][2] = {{f->A0, f->A1}, {f->A1, f->B1}, {f->B1, f->B0},
                                  {f->B0, f->A0}, {O, f->B1},     {f->B0, O},
                                  {O, f->A1},     {f->A1, f->A0}, {f->A0, O}};
    Row r{};
    r.dy = fy - y;
    r.dy2 = r.dy * r.dy;
    for (int e = 0; e < EDGES; ++e) {
        const Point& from = ends[e][0];
        const Point& to = ends[e][1];
        r.straddles[e] = geometry::spans_height(from.y, to.y, r.dy);
        r.rises[e] = to.y > r.dy;
        if (r.straddles[e]) {
            r.crossing[e] = from.x + (to.x - from.x) * (r.dy - from.y) / (to.y - from.y);
        }
    }
    for (int k = 0; k < 2; ++k) {
        r.near_side[k] = r.dy >= sides[k].lo_y - SIDE_SLACK && r.dy <= sides[k].hi_y + SIDE_SLACK;
    }
    for (std::size_t k = 0; k < inner_arc.count; ++k) {
        const geometry::ArcPiece& p = inner_arc.pieces[k];
        if (!geometry::spans_height(p.y_start, p.y_end, r.dy)) continue;
        (p.right ? r.inner_right : r.inner_left) += p.y_end > r.dy ? -1 : 1;
    }
    for (std::size_t k = 0; k < outer_arc.count; ++k) {
        // Run from its counter-clockwise end back to its start.
        const geometry::ArcPiece& p = outer_arc.pieces[k];
        if (!geometry::spans_height(p.y_start, p.y_end, r.dy)) continue;
        (p.right ? r.outer_right : r.outer_left) += p.y_start > r.dy ? -1 : 1;
    }
    return r;
}

double WedgeCenterCell::operator()(const Row& r, double fx) const {
    const double dx = fx - x;
    const double d2 = r.dy2 + dx * dx;
    if (!on_a_side(r, dx)) return clockwise_turns(r, dx, d2) >= 1 ? 1.0 : 0.0;
    return decomposed(r, dx, d2);
}

bool WedgeCenterCell::on_a_side(const Row& r, double dx) const {
    for (int k = 0; k < 2; ++k) {
        if (r.near_side[k] && sides[k].contains_on_boundary(dx, r.dy)) return true;
    }
    return false;
}

int WedgeCenterCell::clockwise_turns(const Row& r, double dx, double d2) const {
    // Crossings of the ray towards +x, one going down adding 1.  An arc piece
    // is crossed as the arc pieces' header tells, a point on an arc counting
    // as outside its disc: on the inner arc it belongs to the wedge, on the
    // outer one it does not.
    int turns = 0;
    for (const Edge e : {A1B1, B0A0}) {
        if (crosses(r, e, dx)) turns += r.rises[e] ? -1 : 1;
    }
    const bool in_inner = d2 < r_in2;
    const bool in_outer = d2 < r_out2;
    if (dx < 0.0) {
        turns += r.inner_right + r.outer_right;
        if (!in_inner) turns += r.inner_left;
        if (!in_outer) turns += r.outer_left;
    } else {
        if (in_inner) turns += r.inner_right;
        if (in_outer) turns += r.outer_right;
    }
    return turns;
}

double WedgeCenterCell::decomposed(const Row& r, double dx, double d2) const {
    // Winding number of A0, B0, B1, A1 about the point: the edges are held
    // the other way round (A0 A1 B1 B0), so one crossed going down adds 1.
    int w = 0;
    for (const Edge e : {A0A1, A1B1, B1B0, B0A0}) {
        if (crosses(r, e, dx)) w += r.rises[e] ? -1 : 1;
    }
    // Inside when w + [in the outer segment] - [in the inner segment] >= 1;
    // a segment is looked at only when it can decide.
    if (w >= 2) return 1.0;
    if (w <= -1) return 0.0;
    double theta = 0.0;
    bool have_theta = false;
    const auto angle = [&] {
        if (!have_theta) theta = std::atan2(r.dy, dx);
        have_theta = true;
        return theta;
    };
    const auto in_segment = [&](double radius2, double start, double sweep, bool reflex,
                                bool in_triangle) {
        if (d2 >= radius2) return false;
        const bool in_sweep = geometry::wrap_angle(angle() - start) <= sweep;
        return reflex ? (in_sweep || in_triangle) : (in_sweep && !in_triangle);
    };
    const auto outer = [&] {
        return in_segment(r_out2, f->b0, f->sweep_out, f->reflex_out,
                          crosses(r, OB1, dx) ^ crosses(r, B1B0, dx) ^ crosses(r, B0O, dx));
    };
    const auto inner = [&] {
        return in_segment(r_in2, f->a0, f->sweep_in, f->reflex_in,
                          crosses(r, OA1, dx) ^ crosses(r, A1A0, dx) ^ crosses(r, A0O, dx));
    };
    if (w == 1) return (!inner() || outer()) ? 1.0 : 0.0;
    return (outer() && !inner()) ? 1.0 : 0.0;
}

WedgeExactCell::WedgeExactCell(double cx, double cy, const geometry::WedgeFrame& frame)
    : x(cx),
      y(cy),
      f(&frame),
      same_sector(std::fabs(frame.dtheta_out - frame.dtheta_in) <= SAME_SECTOR &&
                  std::fabs(frame.theta_out - frame.theta_in) <= SAME_SECTOR),
      outer_cones(cut_into_cones(frame.b0, frame.dtheta_out)),
      inner_cones(cut_into_cones(frame.a0, frame.dtheta_in)) {}

double WedgeExactCell::operator()(const Row& r, double fx) const {
    const double xlo = (fx - 0.5) - x;
    const double xhi = (fx + 0.5) - x;
    const Point square[4] = {{xlo, r.ylo}, {xhi, r.ylo}, {xhi, r.yhi}, {xlo, r.yhi}};
    const double r_in = f->r_in;
    const double r_out = f->r_out;
    if (same_sector) {
        return over_cones(inner_cones, square, [&](std::span<const Point> piece) {
            return std::fmax(geometry::circle_polygon_overlap_area_scaled(piece, r_out) -
                                 geometry::circle_polygon_overlap_area_scaled(piece, r_in),
                             0.0);
        });
    }
    const auto disc_part = [](double radius) {
        return [radius](std::span<const Point> piece) {
            return std::fmax(geometry::circle_polygon_overlap_area_scaled(piece, radius), 0.0);
        };
    };
    const Point O{0.0, 0.0};
    const Point quad[4] = {f->A0, f->B0, f->B1, f->A1};
    const Point outer_triangle[3] = {O, f->B0, f->B1};
    const Point inner_triangle[3] = {O, f->A0, f->A1};
    // Signed: positive where A0, B0, B1, A1 runs counter-clockwise.
    const double a_q = geometry::wedge_polygon_rect_signed_area(quad, xlo, xhi, r.ylo, r.yhi);
    const double s_out = over_cones(outer_cones, square, disc_part(r_out));
    const double s_in = over_cones(inner_cones, square, disc_part(r_in));
    const double t_out =
        geometry::wedge_polygon_rect_overlap_area(outer_triangle, xlo, xhi, r.ylo, r.yhi);
    const double t_in =
        geometry::wedge_polygon_rect_overlap_area(inner_triangle, xlo, xhi, r.ylo, r.yhi);
    const double sigma_out = f->reflex_out ? -1.0 : 1.0;
    const double sigma_in = f->reflex_in ? -1.0 : 1.0;
    double v = (((a_q + s_out) - sigma_out * t_out) - s_in) + sigma_in * t_in;
    if (v < 0.0) v = 0.0;
    if (v > 1.0) v = 1.0;
    return v;
}

}  // namespace quorvantel::pyapi::raster
