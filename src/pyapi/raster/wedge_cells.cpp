#include "pyapi/raster/wedge_cells.hpp"

#include <algorithm>
#include <span>

#include "fault.hpp"
#include "geometry/clip_walk.hpp"

namespace quorvantel::pyapi::raster {
namespace {

using geometry::Point;

constexpr double CONE_SLACK = 1e-15;
// A sweep, or what is left of it, of at most this many radians adds nothing.
constexpr double NEGLIGIBLE_SWEEP = 1e-14;
constexpr double SAME_SECTOR = 1e-14;

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

// The arc of radius r from the angle `start` (end point from) over the
// counter-clockwise turn to the angle `end` (end point to), cut into pieces
// monotone in y.
geometry::ArcPieces arc_pieces(double r, double start, double end, Point from, Point to) {
    return geometry::monotone_arc_pieces(
        geometry::arc_sweep(start, end), from.y, to.y,
        geometry::wrap_angle(geometry::WEDGE_HALF_PI - start), r,
        geometry::wrap_angle(-geometry::WEDGE_HALF_PI - start), -r);
}

WedgeCenterCell::Side make_side(Point from, Point to, double tol) {
    const double ex = to.x - from.x;
    const double ey = to.y - from.y;
    const double len2 = ex * ex + ey * ey;
    return {from,
            to,
            std::fmin(from.x, to.x) - tol,
            std::fmax(from.x, to.x) + tol,
            std::fmin(from.y, to.y) - tol,
            std::fmax(from.y, to.y) + tol,
            len2,
            tol * std::sqrt(len2)};
}

// The tolerance of the side test: 1e-10 px, and 1e-13 of the outer radius,
// the rounding of an angle of a few radians carried out to the outer arc, so
// that the sides of neighbouring sectors, whose ends are computed from
// different angles, lie within it of each other.
double side_tolerance(double r_out) { return 1e-10 + 1e-13 * r_out; }

}  // namespace

WedgeCenterCell::WedgeCenterCell(double cx, double cy, const geometry::WedgeFrame& frame)
    : x(cx),
      y(cy),
      f(&frame),
      r_out2(frame.r_out * frame.r_out),
      r_in2(frame.r_in * frame.r_in),
      sweep_in(geometry::arc_sweep(frame.a0, frame.a1)),
      sweep_out(geometry::arc_sweep(frame.b0, frame.b1)),
      tolerance(side_tolerance(frame.r_out)),
      sides{make_side(frame.A1, frame.B1, tolerance), make_side(frame.B0, frame.A0, tolerance)},
      inner_arc(arc_pieces(frame.r_in, frame.a0, frame.a1, frame.A0, frame.A1)),
      outer_arc(arc_pieces(frame.r_out, frame.b0, frame.b1, frame.B0, frame.B1)) {}

WedgeCenterCell::Row WedgeCenterCell::row(double fy) const {
    Row r{};
    r.dy = fy - y;
    r.dy2 = r.dy * r.dy;
    // Below O's height the ray is taken just below the row, above it just
    // above: away from O, as a centre on an arc is taken outside its disc.
    // Ends at the row's height then lie on the same side of the ray as the
    // arc through them, however short the piece that leads to them.
    r.ties_above = r.dy < 0.0;
    const auto above = [&](double h) { return geometry::above_level(h, r.dy, r.ties_above); };
    for (int k = 0; k < 2; ++k) {
        const Point& from = sides[k].from;
        const Point& to = sides[k].to;
        r.straddles[k] = above(from.y) != above(to.y);
        r.falls[k] = above(from.y);
        if (r.straddles[k]) {
            r.crossing[k] = from.x + (to.x - from.x) * (r.dy - from.y) / (to.y - from.y);
        }
        r.near_side[k] = r.dy >= sides[k].lo_y && r.dy <= sides[k].hi_y;
    }
    for (std::size_t k = 0; k < inner_arc.count; ++k) {
        const geometry::ArcPiece& p = inner_arc.pieces[k];
        if (above(p.y_start) == above(p.y_end)) continue;
        (p.right ? r.inner_right : r.inner_left) += above(p.y_end) ? -1 : 1;
    }
    for (std::size_t k = 0; k < outer_arc.count; ++k) {
        // Run from its counter-clockwise end back to its start.
        const geometry::ArcPiece& p = outer_arc.pieces[k];
        if (above(p.y_start) == above(p.y_end)) continue;
        (p.right ? r.outer_right : r.outer_left) += above(p.y_start) ? -1 : 1;
    }
    return r;
}

double WedgeCenterCell::operator()(const Row& r, double fx) const {
    const double dx = fx - x;
    const double d2 = r.dy2 + dx * dx;
    const bool on[2] = {r.near_side[0] && on_side(0, dx, r.dy),
                        r.near_side[1] && on_side(1, dx, r.dy)};
    const int turns = (on[0] || on[1]) ? turns_after_step(dx, r.dy, d2, on)
                                       : clockwise_turns(r, dx, d2);
    return turns >= 1 ? 1.0 : 0.0;
}

bool WedgeCenterCell::on_side(int k, double dx, double dy) const {
    const Side& s = sides[k];
    if (dx < s.lo_x || dx > s.hi_x) return false;
    const double ex = s.to.x - s.from.x;
    const double ey = s.to.y - s.from.y;
    const double wx = dx - s.from.x;
    const double wy = dy - s.from.y;
    if (std::fabs(ex * wy - ey * wx) > s.slack) return false;
    const double along = ex * wx + ey * wy;
    return along >= -s.slack && along <= s.len2 + s.slack;
}

int WedgeCenterCell::clockwise_turns(const Row& r, double dx, double d2) const {
    // Crossings of the ray towards +x, one going down adding 1.  An arc piece
    // is crossed as the arc pieces' header tells, a point on an arc counting
    // as outside its disc: on the inner arc it belongs to the wedge, on the
    // outer one it does not.
    int turns = 0;
    for (int k = 0; k < 2; ++k) {
        if (r.straddles[k] && dx < r.crossing[k]) turns += r.falls[k] ? 1 : -1;
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

int WedgeCenterCell::turns_after_step(double dx, double dy, double d2,
                                      const bool (&on)[2]) const {
    // The turns are counted along the ray from the point in the direction t
    // of the step, counter-clockwise about O, in the frame of t and the unit
    // vector u from O to the point (t, -u turn like x, y).  The ray's line is
    // the tangent at the point to the circle about O through it; a point P
    // lies at the height h(P) = rho - P.u above it, towards O, a height of 0
    // counting as above (the second step, outwards, takes the ray below it),
    // and at P.t along it.  The sides the point lies on meet the line at the
    // point itself, behind the ray.
    const double rho = std::hypot(dx, dy);
    double ux = 0.0;
    double uy = -1.0;
    double phi = -geometry::WEDGE_HALF_PI;
    if (rho > 0.0) {
        ux = dx / rho;
        uy = dy / rho;
        phi = std::atan2(dy, dx);
    }
    const double tx = -uy;
    const double ty = ux;
    // h of a point C on the circle of radius r, as the height of the circle's
    // lowest point (along u) plus C's height above it: the first term has the
    // sign of the disc test, the second, r (1 - cos) of C's angle from u, is
    // a square and keeps its digits where C lies close to that point.
    struct Corner {
        double h, along;
    };
    const auto corner = [&](Point c, double r, double r2) {
        const double ex = c.x - r * ux;
        const double ey = c.y - r * uy;
        return Corner{(d2 - r2) / (rho + r) + (ex * ex + ey * ey) / (2.0 * r),
                      c.x * tx + c.y * ty};
    };
    Corner A0 = corner(f->A0, f->r_in, r_in2);
    Corner A1 = corner(f->A1, f->r_in, r_in2);
    Corner B0 = corner(f->B0, f->r_out, r_out2);
    Corner B1 = corner(f->B1, f->r_out, r_out2);
    // A side the point lies on that runs along the line (the point is the
    // foot of the perpendicular from O, or O on a side through it) lies on
    // it, and so on O's side of the second step, whatever the rounding of its
    // ends; the arcs from those ends see them there too.
    const auto along_the_line = [&](Corner& from, Corner& to) {
        if (std::fabs(from.h) <= tolerance && std::fabs(to.h) <= tolerance) from.h = to.h = 0.0;
    };
    if (on[0]) along_the_line(A1, B1);
    if (on[1]) along_the_line(B0, A0);

    int turns = 0;
    const auto side = [&](const Corner& from, const Corner& to) {
        const bool from_above = from.h >= 0.0;
        if (from_above == (to.h >= 0.0)) return;
        const double at = from.along + (to.along - from.along) * (0.0 - from.h) / (to.h - from.h);
        if (at > 0.0) turns += from_above ? 1 : -1;
    };
    if (!on[0]) side(A1, B1);
    if (!on[1]) side(B0, A0);

    // A circle whose disc does not hold the point lies wholly on O's side of
    // the line.  Otherwise the line meets it ahead of the point on the half
    // whose height rises counter-clockwise (from the angle phi to phi + pi)
    // and behind it on the other half, so only rising pieces are crossed.
    const auto arc = [&](double r, double r2, double start, double sweep, const Corner& from,
                         const Corner& to, int turn) {
        if (!(d2 < r2)) return;
        const double lowest = (d2 - r2) / (rho + r);
        const geometry::ArcPieces pieces = geometry::monotone_arc_pieces(
            sweep, from.h, to.h, geometry::wrap_angle((phi + geometry::WEDGE_PI) - start),
            lowest + 2.0 * r, geometry::wrap_angle(phi - start), lowest);
        for (std::size_t k = 0; k < pieces.count; ++k) {
            const geometry::ArcPiece& p = pieces.pieces[k];
            if (p.right && (p.y_start >= 0.0) != (p.y_end >= 0.0)) turns += turn;
        }
    };
    // The inner arc runs counter-clockwise, so upwards where it is crossed;
    // the outer one is run backwards.
    arc(f->r_in, r_in2, f->a0, sweep_in, A0, A1, -1);
    arc(f->r_out, r_out2, f->b0, sweep_out, B0, B1, 1);
    return turns;
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
