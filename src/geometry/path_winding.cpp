// Where segments meet pixel lines, ray crossings and winding numbers, the
// boundary tolerance, and whether a point belongs to a path.
#include "geometry/path.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "fault.hpp"
#include "geometry/path_detail.hpp"

namespace quorvantel::geometry {

using namespace path_detail;

namespace path_detail {

bool extent_near(const PathContour& c, double x, double y, double margin) {
    return x >= c.min_x - margin && x <= c.max_x + margin && y >= c.min_y - margin &&
           y <= c.max_y + margin;
}

int contour_winding(const PathContour& c, double px, double py) {
    int w = 0;
    for (const PathSeg& s : c.segs) w += s.winding_contribution(px, py);
    return w;
}

bool on_contour(const PathContour& c, double px, double py) {
    for (const PathSeg& s : c.segs) {
        if (s.contains_on_boundary(px, py)) return true;
    }
    return false;
}

bool path_winds_around(std::span<const PathContour> path, double px, double py) {
    if (path.empty() || contour_winding(path[0], px, py) == 0) return false;
    for (std::size_t hi = 1; hi < path.size(); ++hi) {
        if (contour_winding(path[hi], px, py) != 0) return false;
    }
    return true;
}

Crossings crossings_between(const PathSeg& s, bool across_x, double at, double lo, double hi) {
    const auto qualifies = [&](double t) { return t > lo && t < hi; };
    Crossings out;
    if (s.kind == SegKind::Line) {
        const double a0 = across_x ? s.x0 : s.y0;
        const double d = across_x ? s.x1 - s.x0 : s.y1 - s.y0;
        if (std::fabs(d) < 1e-10) return out;
        const double t = (at - a0) / d;
        if (qualifies(t)) out.add(t);
        return out;
    }
    double c = (at - (across_x ? s.cx : s.cy)) / s.r;
    if (!(std::fabs(c) <= 1.0000000001)) return out;
    c = std::clamp(c, -1.0, 1.0);
    // Cosine a at the angles a and -a; sine at a and pi - a.
    const double a = across_x ? std::acos(c) : std::asin(c);
    for (double phi : {a, across_x ? -a : PATH_PI - a}) {
        const double t = s.param_of_angle(phi);
        if (qualifies(t)) out.add(t);
    }
    return out;
}

}  // namespace path_detail

Crossings PathSeg::t_at_x(double x) const {
    return crossings_between(*this, true, x, PATH_T_LO, PATH_T_HI);
}

Crossings PathSeg::t_at_y(double y) const {
    return crossings_between(*this, false, y, PATH_T_LO, PATH_T_HI);
}

int PathSeg::winding_contribution(double px, double py) const {
    if (kind == SegKind::Line) {
        // Upward when the start is at or below the ray and the end above it
        // (t in [0, 1)), downward the other way round (t in (0, 1]).
        const bool up = y0 <= py && py < y1;
        const bool down = y1 <= py && py < y0;
        if (!up && !down) return 0;
        const double t = (py - y0) / (y1 - y0);
        const double x = x0 + t * (x1 - x0);
        if (!(x > px)) return 0;
        return up ? 1 : -1;
    }
    if (!(py >= lo_y && py < hi_y)) return 0;  // no piece has ends on both sides
    // An arc is cut where its circle is highest and lowest into pieces that
    // run monotonically in y; each piece is a line-like crossing between its
    // end heights, the cached ends at the arc's own ends.
    double cuts[4] = {0.0, 1.0, 1.0, 1.0};
    double cut_y[4] = {y0, y1, y1, y1};
    int n = 1;
    const double t_top = param_of_angle(1.5707963267948966);
    const double t_bottom = param_of_angle(4.71238898038469);
    const double top = cy + r;
    const double bottom = cy - r;
    if (t_top > 0.0 && t_top < 1.0) {
        cuts[n] = t_top;
        cut_y[n++] = top;
    }
    if (t_bottom > 0.0 && t_bottom < 1.0) {
        cuts[n] = t_bottom;
        cut_y[n++] = bottom;
    }
    if (n == 3 && cuts[2] < cuts[1]) {
        std::swap(cuts[1], cuts[2]);
        std::swap(cut_y[1], cut_y[2]);
    }
    cuts[n] = 1.0;
    cut_y[n++] = y1;

    int total = 0;
    for (int k = 0; k + 1 < n; ++k) {
        const double ya = cut_y[k];
        const double yb = cut_y[k + 1];
        const bool up = ya <= py && py < yb;
        const bool down = yb <= py && py < ya;
        if (!up && !down) continue;
        // A piece rising counter-clockwise (or falling clockwise) lies on the
        // circle's right half.
        bool right_of_px = px < lo_x;
        if (!right_of_px && !(px > hi_x)) {
            const double h = r * std::cos(std::asin(std::clamp((py - cy) / r, -1.0, 1.0)));
            right_of_px = (up == (dtheta > 0.0) ? cx + h : cx - h) > px;
        }
        if (right_of_px) total += up ? 1 : -1;
    }
    return total;
}

bool PathSeg::contains_on_boundary(double px, double py) const {
    if (kind == SegKind::Line) {
        if (px < lo_x - 1e-9 || px > hi_x + 1e-9 || py < lo_y - 1e-9 || py > hi_y + 1e-9) return false;
        const double dx = x1 - x0;
        const double dy = y1 - y0;
        const double cross = dx * (py - y0) - (px - x0) * dy;
        const double dot = (px - x0) * dx + (py - y0) * dy;
        const double len2 = dx * dx + dy * dy;
        // The products grow with the length: 1e-10 is the tolerance at unit
        // length and less for longer lines; for shorter ones it stays 1e-10
        // of distance instead of growing without bound.
        const double tol = len2 < 1.0 ? 1e-10 * std::sqrt(len2) : 1e-10;
        return std::fabs(cross) <= tol && dot >= -tol && dot <= len2 + tol;
    }
    const double ddx = px - cx;
    const double ddy = py - cy;
    if (!(std::fabs(std::sqrt(ddx * ddx + ddy * ddy) - r) <= 1e-10)) return false;
    const double t = param_of_angle(std::atan2(ddy, ddx));
    return t >= -1e-10 && t <= 1.0000000001;
}

// ---------------------------------------------------------------------------
// Point in path

bool path_contains_point(std::span<const PathContour> path, double px, double py) {
    if (path.empty() || path[0].segs.empty()) return false;
    const PathContour& outer = path[0];
    if (on_contour(outer, px, py)) return true;
    const double ray_y = py + 1e-10;
    if (contour_winding(outer, px, ray_y) == 0) return false;
    for (std::size_t hi = 1; hi < path.size(); ++hi) {
        const PathContour& hole = path[hi];
        if (hole.segs.empty()) continue;
        if (on_contour(hole, px, py)) return false;
        if (contour_winding(hole, px, ray_y) != 0) return false;
    }
    return true;
}

}  // namespace quorvantel::geometry
