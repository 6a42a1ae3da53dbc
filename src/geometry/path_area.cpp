// The exact area of a path inside one pixel: polygon clipping for paths of
// lines alone, otherwise Green's theorem around the boundary of path and
// pixel together.
#include "geometry/path.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "fault.hpp"
#include "geometry/path_detail.hpp"

namespace quorvantel::geometry {

using namespace path_detail;

namespace {

// Parameters on `a` where it meets `b` anywhere on b (b's ends included),
// used to cut overlapping holes where their boundaries meet.
void meeting_params(const PathSeg& a, const PathSeg& b, ParamList& out) {
    const auto on_b = [](double u) { return u >= -PATH_TOL && u <= 1.0 + PATH_TOL; };
    if (a.kind == SegKind::Line && b.kind == SegKind::Line) {
        double t = 0.0;
        double u = 0.0;
        if (line_line_params(a, b, t, u) == 0.0) return;
        if (on_b(u)) out.push_if_inside(t);
        return;
    }
    // Boundaries that only touch are not cut there.
    double cuts[2];
    int n = 0;
    const bool touch = for_each_meeting(a, b, [&](Point, double ta, double tb) {
        if (on_b(tb)) cuts[n++] = ta;
    });
    for (int k = 0; k < n && !touch; ++k) out.push_if_inside(cuts[k]);
}

// ---------------------------------------------------------------------------
// Path-pixel area

struct Pixel {
    double xl, xh, yl, yh;
};

// Margin beyond which a segment's extent cannot reach a pixel's terms.
constexpr double REACH = 1e-9;

bool seg_reaches(const PathSeg& s, const Pixel& px) {
    if (s.hi_x < px.xl - REACH || s.lo_x > px.xh + REACH || s.hi_y < px.yl - REACH ||
        s.lo_y > px.yh + REACH) {
        return false;
    }
    if (s.kind == SegKind::Line) return true;
    // An arc's circle passes the pixel when the pixel lies wholly inside or
    // wholly outside the circle.
    const double near_x = std::fmax(std::fmax(px.xl - s.cx, s.cx - px.xh), 0.0);
    const double near_y = std::fmax(std::fmax(px.yl - s.cy, s.cy - px.yh), 0.0);
    const double far_x = std::fmax(std::fabs(px.xl - s.cx), std::fabs(px.xh - s.cx));
    const double far_y = std::fmax(std::fabs(px.yl - s.cy), std::fabs(px.yh - s.cy));
    const double outer = s.r + REACH;
    const double inner = s.r - REACH;
    if (near_x * near_x + near_y * near_y > outer * outer) return false;
    return !(inner > 0.0 && far_x * far_x + far_y * far_y < inner * inner);
}

// The direction in which a segment runs at its point p.
Point tangent_at(const PathSeg& s, Point p) {
    if (s.kind == SegKind::Line) return {s.x1 - s.x0, s.y1 - s.y0};
    const double phi = std::atan2(p.y - s.cy, p.x - s.cx);
    const double turn = s.dtheta > 0.0 ? 1.0 : -1.0;
    return {-std::sin(phi) * turn, std::cos(phi) * turn};
}

// Whether the piece of hole `ci` from a to b (parameters ta and tb on seg,
// midpoint m) lies inside the union of the other holes, so that it bounds no
// part of the path.  Where two holes share boundary running the same way, the
// earlier hole keeps it.  A piece whose midpoint lies on another hole's
// outline but not its quarter point touches that hole there (two holes
// tangent to each other) and is judged at the quarter point.
bool hidden_by_other_hole(std::span<const PathContour> path, std::size_t ci, const PathSeg& seg,
                          double ta, double tb, Point a, Point b, Point m) {
    for (std::size_t hj = 1; hj < path.size(); ++hj) {
        const PathContour& h = path[hj];
        if (hj == ci || !h.meets_hole || !extent_near(h, m.x, m.y, PATH_TOL)) continue;
        const PathSeg* shared = nullptr;
        for (const PathSeg& s : h.segs) {
            if (s.contains_on_boundary(m.x, m.y)) {
                shared = &s;
                break;
            }
        }
        if (shared != nullptr) {
            const Point q = seg.point_at(ta + (tb - ta) * 0.25);
            if (!on_contour(h, q.x, q.y)) {
                if (contour_winding(h, q.x, q.y) != 0) return true;
                continue;
            }
            const Point d{b.x - a.x, b.y - a.y};
            const Point g = tangent_at(*shared, m);
            const bool same_way = d.x * g.x + d.y * g.y > 0.0;
            if (!same_way || hj < ci) return true;
            continue;
        }
        if (contour_winding(h, m.x, m.y) != 0) return true;
    }
    return false;
}

// A piece of a segment that lies along one of the pixel's edge lines, within
// the boundary tolerance.  Such a piece is not integrated on its own: the
// pixel edge beside it stands for it (see edge_contribution).
struct AlongPiece {
    int edge;       // 0 bottom (y = yl), 1 right (x = xh), 2 top (y = yh), 3 left (x = xl)
    double lo, hi;  // its extent along the edge line
    double run;     // its signed length along the edge line
    bool visible;   // false for a hole's piece inside another hole
    // Its ends, and whether each is a crossing of the segment with another
    // line (not the segment's own end).
    Point from, to;
    bool from_crossing, to_crossing;
};

// A short list that lives on the stack until it outgrows it.
template <class T, std::size_t INLINE = 8>
class ShortList {
public:
    void push(const T& v) {
        if (n_ < INLINE) {
            inline_[n_++] = v;
        } else {
            more_.push_back(v);
        }
    }
    template <class Visit>
    void for_each(Visit&& visit) const {
        for (std::size_t k = 0; k < n_; ++k) visit(inline_[k]);
        for (const T& v : more_) visit(v);
    }
    std::size_t size() const { return n_ + more_.size(); }
    const T& operator[](std::size_t k) const { return k < n_ ? inline_[k] : more_[k - n_]; }

private:
    T inline_[INLINE];
    std::size_t n_ = 0;
    std::vector<T> more_;
};

// Where the pieces taken into a pixel's sum start and end.  Around the
// pixel's boundary they join up, each piece starting where another ends, but
// for the tolerances: an edge stands for a piece along its line from the
// point on the line, and a crossing within 1e-10 of a pixel corner cuts the
// edges at the corner, and cuts of a segment closer than 1e-10 of its
// parameter merge.  Those joins are left open by up to about 1e-10 (1e-10 of
// a long segment's parameter); the term of such a step, taken about the
// origin, grows with the distance from it (1.5e-8 at 300 pixels).  Closing each step gives the area of the
// region the pieces bound, whatever the distance: which end is joined to
// which start within a cluster of such joins changes the sum only by the
// area of the cluster.
struct Joins {
    struct Piece {
        Point from, to;
    };
    ShortList<Piece, 16> pieces;
    // Whether a join may be open by more than rounding, because a tolerance
    // acted in this pixel: an edge stands for a piece along its line; cuts of
    // a segment or of an edge were merged, or a crossing next to a pixel
    // corner left out of an edge's cuts; or a segment ends next to an edge
    // line.  Elsewhere pieces meet at crossings that cut the segment and the
    // edge alike.
    bool loose = false;
    // How far apart a step's ends may lie to be taken as one join: 1e-9, or
    // as far as merged cuts of a long segment lie apart (1e-10 of its
    // parameter).
    double reach = 1e-9;

    void piece(Point a, Point b) { pieces.push({a, b}); }
    double closing() const;
};

// Steps no longer than the rounding of the points they join are left open,
// so that pieces that meet up to rounding sum as they always have.
double step_floor(Point p) {
    return 1e-13 + 2.220446049250313e-16 * (std::fabs(p.x) + std::fabs(p.y));
}

double Joins::closing() const {
    const std::size_t n = pieces.size();
    // A pixel crossed by more pieces than a mask holds is left as it is.
    if (!loose || n > 64) return 0.0;
    const auto meet = [](Point p, Point q) { return p.x == q.x && p.y == q.y; };
    std::uint64_t started = 0;  // the pieces whose start is joined
    std::uint64_t ended = 0;    // the pieces whose end is joined
    // Ends that meet a start exactly are joined first, so that no open end
    // takes their start from them.
    for (std::size_t e = 0; e < n; ++e) {
        for (std::size_t k = 0; k < n; ++k) {
            if ((started >> k & 1U) == 0 && meet(pieces[e].to, pieces[k].from)) {
                started |= std::uint64_t{1} << k;
                ended |= std::uint64_t{1} << e;
                break;
            }
        }
    }
    double sum = 0.0;
    for (std::size_t e = 0; e < n; ++e) {
        if ((ended >> e & 1U) != 0) continue;
        const Point p = pieces[e].to;
        std::size_t best = n;
        double best_gap = reach;
        for (std::size_t k = 0; k < n; ++k) {
            if ((started >> k & 1U) != 0) continue;
            const Point q = pieces[k].from;
            const double gap = std::fmax(std::fabs(q.x - p.x), std::fabs(q.y - p.y));
            if (gap <= best_gap) {
                best = k;
                best_gap = gap;
            }
        }
        if (best == n) continue;
        started |= std::uint64_t{1} << best;
        if (best_gap > step_floor(p)) sum += line_term(p, pieces[best].from, Point{0.0, 0.0});
    }
    return sum;
}

// What the segments of one pixel leave to its edges: the along-pieces
// (rare), and the ends of the pieces taken into the sum.
struct AlongPieces {
    ShortList<AlongPiece> pieces;
    Joins joins;

    void push(const AlongPiece& p) { pieces.push(p); }
    template <class Visit>
    void for_edge(int edge, Visit&& visit) const {
        pieces.for_each([&](const AlongPiece& p) {
            if (p.edge == edge) visit(p);
        });
    }
};

// The pixel edge line that the piece from a to b (midpoint m, inside the
// grown pixel) lies along, or -1.  A piece lies along a line when its
// midpoint is within the boundary tolerance of it and it runs more along
// the line than across it; so a stretch of outline that runs along an edge
// line, or grazes it, is judged the same in the pixels on both sides.
int along_edge(const Pixel& px, Point a, Point b, Point m) {
    if (std::fabs(b.y - a.y) <= std::fabs(b.x - a.x)) {
        if (std::fabs(m.y - px.yl) < PATH_TOL) return 0;
        if (std::fabs(m.y - px.yh) < PATH_TOL) return 2;
    } else {
        if (std::fabs(m.x - px.xh) < PATH_TOL) return 1;
        if (std::fabs(m.x - px.xl) < PATH_TOL) return 3;
    }
    return -1;
}

// Whether the point p, a cut of a segment (cut) or a segment's end, lies
// where a join may be left open: a cut next to a pixel corner, where the
// edges may be cut at the corner, or a segment's end next to an edge line,
// where the edge may stand for the next segment.
bool loose_end(const Pixel& px, Point p, bool cut, double reach) {
    if (!(p.x >= px.xl - reach && p.x <= px.xh + reach && p.y >= px.yl - reach && p.y <= px.yh + reach)) {
        return false;
    }
    const bool near_x = std::fabs(p.x - px.xl) <= reach || std::fabs(p.x - px.xh) <= reach;
    const bool near_y = std::fabs(p.y - px.yl) <= reach || std::fabs(p.y - px.yh) <= reach;
    return cut ? near_x && near_y : near_x || near_y;
}

// The pieces of segment `s` (of contour ci) inside the pixel grown by 1e-10,
// but for those lying along an edge line, which go to `along` instead.
double seg_contribution(std::span<const PathContour> path, std::size_t ci, const PathSeg& s,
                        const Pixel& px, AlongPieces& along) {
    if (!seg_reaches(s, px)) return 0.0;
    ParamList ts;
    for (double bound : {px.xl, px.xh}) {
        const Crossings c = s.t_at_x(bound);
        for (int k = 0; k < c.n; ++k) ts.push(c.t[k]);
    }
    for (double bound : {px.yl, px.yh}) {
        const Crossings c = s.t_at_y(bound);
        for (int k = 0; k < c.n; ++k) ts.push(c.t[k]);
    }
    const bool overlapping_hole = ci > 0 && ci < path.size() && path[ci].meets_hole;
    if (overlapping_hole) {
        for (std::size_t hj = 1; hj < path.size(); ++hj) {
            if (hj == ci || !path[hj].meets_hole) continue;
            for (const PathSeg& o : path[hj].segs) meeting_params(s, o, ts);
        }
    }
    Joins& joins = along.joins;
    if (ts.sort_and_thin()) {
        joins.loose = true;
        joins.reach = std::fmax(joins.reach, 2.0 * PATH_TOL * seg_length(s));
    }
    joins.loose = joins.loose || loose_end(px, s.start(), false, joins.reach) ||
                  loose_end(px, s.end(), false, joins.reach);

    double sum = 0.0;
    for (std::size_t k = 0; k + 1 < ts.size(); ++k) {
        const double ta = ts[k];
        const double tb = ts[k + 1];
        const Point m = s.point_at((ta + tb) * 0.5);
        if (!(m.x > px.xl - PATH_TOL && m.x < px.xh + PATH_TOL && m.y > px.yl - PATH_TOL &&
              m.y < px.yh + PATH_TOL)) {
            continue;
        }
        const Point a = s.point_at(ta);
        const Point b = s.point_at(tb);
        const bool hidden = overlapping_hole && hidden_by_other_hole(path, ci, s, ta, tb, a, b, m);
        const int edge = along_edge(px, a, b, m);
        if (edge >= 0) {
            const bool horizontal = edge % 2 == 0;
            const double u = horizontal ? a.x : a.y;
            const double v = horizontal ? b.x : b.y;
            // The edge stands for the piece as if it lay on the edge line;
            // the closing of the joins steps between the two.
            along.push({edge, std::fmin(u, v), std::fmax(u, v), v - u, !hidden, a, b, ta != 0.0, tb != 1.0});
            joins.loose = true;
            continue;
        }
        if (hidden) continue;
        joins.piece(a, b);
        joins.loose = joins.loose || loose_end(px, a, true, joins.reach) || loose_end(px, b, true, joins.reach);
        sum += piece_term(s, ta, tb, a, b, Point{0.0, 0.0});
    }
    return sum;
}

// The segment pieces of every contour that reaches the pixel; along-pieces
// go to `along`.
double segments_contribution(std::span<const PathContour> path, const Pixel& px,
                             AlongPieces& along) {
    double total = 0.0;
    for (std::size_t ci = 0; ci < path.size(); ++ci) {
        const PathContour& c = path[ci];
        if (px.xh + 1e-9 < c.min_x || px.xl - 1e-9 > c.max_x || px.yh + 1e-9 < c.min_y ||
            px.yl - 1e-9 > c.max_y) {
            continue;
        }
        for (const PathSeg& s : c.segs) total += seg_contribution(path, ci, s, px, along);
    }
    return total;
}

// The pieces of pixel edge `edge`, from (xa, ya) to (xb, yb), that bound the
// part of the pixel inside the path.  The edge is cut where segments cross
// its line or end on it and where its along-pieces end.  A piece beside
// along-pieces counts when they all run the same way as the edge (the path
// lies on the pixel's side of them) and not when one runs the other way;
// any other piece counts when its midpoint lies inside the path by the
// winding numbers alone: the boundary tolerance could call inside a piece
// that lies beside a segment piece already counted, just beyond the reach
// of the along-pieces.
double edge_contribution(std::span<const PathContour> path, int edge, double xa, double ya,
                         double xb, double yb, AlongPieces& along) {
    const bool horizontal = edge % 2 == 0;
    const double span = horizontal ? xb - xa : yb - ya;
    const double level = horizontal ? ya : xa;
    const double from = horizontal ? xa : ya;
    Joins& joins = along.joins;
    ParamList ss;
    if (!(std::fabs(span) < 1e-10)) {
        const auto param = [&](double at) { return (at - from) / span; };
        // A crossing next to either end is left out (the edge is cut at the
        // corner), which may leave a join open.
        const auto cut_at = [&](double at) {
            const double s = param(at);
            if (!ss.push_if_inside(s) && s >= -joins.reach && s <= 1.0 + joins.reach) joins.loose = true;
        };
        // Where a piece along a neighbouring edge's line leaves it by crossing
        // this edge's line, the edge is not cut: that edge stands for the
        // piece up to the corner, and this edge's stretch next to the corner
        // goes with the stretch beside it.
        const auto crossed_by_along = [&](double at) {
            bool found = false;
            for (int side : {(edge + 1) % 4, (edge + 3) % 4}) {
                along.for_edge(side, [&](const AlongPiece& p) {
                    for (int end = 0; end < 2; ++end) {
                        const Point e = end == 0 ? p.from : p.to;
                        if (!(end == 0 ? p.from_crossing : p.to_crossing)) continue;
                        if (std::fabs((horizontal ? e.y : e.x) - level) > PATH_TOL) continue;
                        found = found || std::fabs((horizontal ? e.x : e.y) - at) <= PATH_TOL;
                    }
                });
            }
            return found;
        };
        for (const PathContour& c : path) {
            if (horizontal ? (level < c.min_y - PATH_TOL || level > c.max_y + PATH_TOL)
                           : (level < c.min_x - PATH_TOL || level > c.max_x + PATH_TOL)) {
                continue;
            }
            for (const PathSeg& s : c.segs) {
                if (horizontal ? (level < s.lo_y - REACH || level > s.hi_y + REACH)
                               : (level < s.lo_x - REACH || level > s.hi_x + REACH)) {
                    continue;
                }
                // Crossings next to a segment's ends count too: the outline
                // crosses the edge line there whichever segment's end is nearer.
                const Crossings cr =
                    crossings_between(s, !horizontal, level, -PATH_TOL, 1.0 + PATH_TOL);
                for (int k = 0; k < cr.n; ++k) {
                    const Point p = s.point_at(cr.t[k]);
                    const double at = horizontal ? p.x : p.y;
                    if (!crossed_by_along(at)) cut_at(at);
                }
                // A segment end on the edge line splits the edge there too.
                for (const Point e : {s.start(), s.end()}) {
                    if (std::fabs((horizontal ? e.y : e.x) - level) <= PATH_TOL) {
                        cut_at(horizontal ? e.x : e.y);
                    }
                }
            }
        }
        along.for_edge(edge, [&](const AlongPiece& p) {
            ss.push_if_inside(param(p.lo));
            ss.push_if_inside(param(p.hi));
        });
    }
    if (ss.sort_and_thin()) joins.loose = true;
    if (ss.size() < 2) return 0.0;

    const double dx = xb - xa;
    const double dy = yb - ya;
    double sum = 0.0;
    for (std::size_t k = 0; k + 1 < ss.size(); ++k) {
        const double sa = ss[k];
        const double sb = ss[k + 1];
        const double mid = (sa + sb) * 0.5;
        const Point m{xa + dx * mid, ya + dy * mid};
        const double at = horizontal ? m.x : m.y;
        int cover = -1;  // -1 no visible along-piece, 1 all the same way, 0 one the other way
        along.for_edge(edge, [&](const AlongPiece& p) {
            if (!p.visible || !(at > p.lo && at < p.hi)) return;
            if (p.run * span > 0.0) {
                if (cover < 0) cover = 1;
            } else {
                cover = 0;
            }
        });
        const bool inside = cover >= 0 ? cover == 1 : path_winds_around(path, m.x, m.y);
        if (!inside) continue;
        const Point a{xa + dx * sa, ya + dy * sa};
        const Point b{xa + dx * sb, ya + dy * sb};
        joins.piece(a, b);
        sum += 0.5 * (a.x * b.y - a.y * b.x);
    }
    return sum;
}

}  // namespace

// ---------------------------------------------------------------------------
// Path-pixel area

double seg_pixel_contribution(const PathSeg& seg, double xl, double xh, double yl, double yh) {
    AlongPieces along;
    return seg_contribution({}, 0, seg, Pixel{xl, xh, yl, yh}, along);
}

double pixel_edge_contribution(std::span<const PathContour> path, bool horizontal, double xa,
                               double ya, double xb, double yb) {
    // The pixel is the square on the left of the edge (its boundary runs
    // counter-clockwise); its segment pieces tell which stretches of the
    // edge lie along the path.
    Pixel px;
    int edge;
    if (horizontal) {
        const double side = xb - xa;
        edge = side > 0.0 ? 0 : 2;
        px = side > 0.0 ? Pixel{xa, xb, ya, ya + side} : Pixel{xb, xa, ya + side, ya};
    } else {
        const double side = yb - ya;
        edge = side > 0.0 ? 1 : 3;
        px = side > 0.0 ? Pixel{xa - side, xa, ya, yb} : Pixel{xa, xa - side, yb, ya};
    }
    AlongPieces along;
    (void)segments_contribution(path, px, along);
    return edge_contribution(path, edge, xa, ya, xb, yb, along);
}

double path_pixel_area(std::span<const PathContour> path, std::int64_t ix, std::int64_t iy,
                       double x, double y) {
    return path_pixel_area_at(path, static_cast<double>(ix), static_cast<double>(iy), x, y);
}

double path_pixel_area_at(std::span<const PathContour> path, double px_at, double py_at, double x,
                          double y) {
    const double ox = px_at - x;
    const double oy = py_at - y;
    const Pixel px{ox - 0.5, ox + 0.5, oy - 0.5, oy + 0.5};
    if (path.empty()) return 0.0;
    const PathContour& outer = path[0];
    // A pixel clear of the outer contour's extent has no area inside.
    if (px.xh + 1e-9 < outer.min_x || px.xl - 1e-9 > outer.max_x || px.yh + 1e-9 < outer.min_y ||
        px.yl - 1e-9 > outer.max_y) {
        return 0.0;
    }

    // A pixel that no segment reaches lies wholly inside or wholly outside.
    bool reached = false;
    for (const PathContour& c : path) {
        for (const PathSeg& s : c.segs) reached = reached || seg_reaches(s, px);
    }
    if (!reached) return path_contains_point(path, ox, oy) ? 1.0 : 0.0;

    bool lines_only = true;
    for (const PathContour& c : path) {
        lines_only = lines_only && !c.meets_hole;
        for (const PathSeg& s : c.segs) lines_only = lines_only && s.kind == SegKind::Line;
    }

    double total = 0.0;
    if (lines_only) {
        std::vector<Point> poly;
        for (std::size_t ci = 0; ci < path.size(); ++ci) {
            poly.clear();
            for (const PathSeg& s : path[ci].segs) poly.push_back(s.start());
            const double a = polygon_rect_overlap_area(poly, px.xl, px.xh, px.yl, px.yh);
            total = ci == 0 ? a : total - a;
        }
    } else {
        AlongPieces along;
        total = segments_contribution(path, px, along);
        total += edge_contribution(path, 0, px.xl, px.yl, px.xh, px.yl, along);
        total += edge_contribution(path, 1, px.xh, px.yl, px.xh, px.yh, along);
        total += edge_contribution(path, 2, px.xh, px.yh, px.xl, px.yh, along);
        total += edge_contribution(path, 3, px.xl, px.yh, px.xl, px.yl, along);
        const double closing = along.joins.closing();
        if (closing != 0.0) total += closing;
    }
    if (total < 0.0) return 0.0;
    if (total > 1.0) return 1.0;
    return total;
}

}  // namespace quorvantel::geometry
