// Direct checks of the path geometry in src/geometry/path_*.cpp.  Built and run
// by test_paths.py; prints one line per check: "<name> ok" or "<name> FAIL <detail>".
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "check_harness.hpp"
#include "geometry/geometry.hpp"
#include "geometry/path.hpp"

using namespace quorvantel::geometry;

static std::uint64_t rng_state = 88172645463325252ULL;
static double uniform(double lo, double hi) { return splitmix_uniform(rng_state, lo, hi); }

// Command rows of a path: a small builder over the input encoding.
struct Rows {
    std::vector<std::int8_t> kinds;
    std::vector<PathRow> rows;
    Rows& move(double x, double y) { return add(0, {x, y, 0, 0, 0, 0}); }
    Rows& line(double x, double y) { return add(1, {x, y, 0, 0, 0, 0}); }
    Rows& arc(double cx, double cy, double r, double t0, double dt) { return add(2, {cx, cy, r, t0, dt, 0}); }
    Rows& close() { return add(3, {}); }
    Rows& polygon(const std::vector<Point>& pts) {
        move(pts[0].x, pts[0].y);
        for (std::size_t k = 1; k < pts.size(); ++k) line(pts[k].x, pts[k].y);
        return close();
    }
    // A full circle of three arcs starting at angle t0 (counter-clockwise when dir > 0).
    Rows& circle(double cx, double cy, double r, double t0, double dir = 1.0) {
        const double step = dir * 2.0 * kPi / 3.0;
        move(cx + r * std::cos(t0), cy + r * std::sin(t0));
        for (int k = 0; k < 3; ++k) arc(cx, cy, r, t0 + k * step, step);
        return close();
    }
    Rows& add(int k, PathRow row) { kinds.push_back(std::int8_t(k)); rows.push_back(row); return *this; }
};

static std::string build_error(const Rows& r) {
    PathBuild b = build_validated_path(r.kinds, r.rows);
    return std::holds_alternative<std::string>(b) ? std::get<std::string>(b) : std::string();
}
static ValidatedPath build(const Rows& r) {
    PathBuild b = build_validated_path(r.kinds, r.rows);
    if (auto* e = std::get_if<std::string>(&b)) throw std::runtime_error("path rejected: " + *e);
    return std::get<ValidatedPath>(b);
}

// The Green's-theorem road summed through its public pieces, whatever the segments.
static double green_area(const ValidatedPath& p, int ix, int iy, double x, double y) {
    const double ox = ix - x, oy = iy - y;
    const double xl = ox - 0.5, xh = ox + 0.5, yl = oy - 0.5, yh = oy + 0.5;
    double t = 0.0;
    for (const PathContour& c : p)
        for (const PathSeg& s : c.segs) t += seg_pixel_contribution(s, xl, xh, yl, yh);
    t += pixel_edge_contribution(p, true, xl, yl, xh, yl);
    t += pixel_edge_contribution(p, false, xh, yl, xh, yh);
    t += pixel_edge_contribution(p, true, xh, yh, xl, yh);
    t += pixel_edge_contribution(p, false, xl, yh, xl, yl);
    return std::fmin(std::fmax(t, 0.0), 1.0);
}

static double disc_pixel(int ix, int iy, double x, double y, double r) {
    const double w = circ_rect_overlap((ix - 0.5) - x, (iy - 0.5) - y, (ix + 0.5) - x, (iy + 0.5) - y, r);
    return std::fmin(std::fmax(w, 0.0), 1.0);
}

int main() {
    check("three_arc_circles_match_the_disc", [] {
        // Every pixel of three-arc circles, the vertex on pixel edge lines included,
        // against the disc-rectangle overlap.
        struct Case { double x, y, r, t0; };
        std::vector<Case> cases{{0.5, 0.5, 2.0, 0.0}, {0.0, 0.0, 10.0, 0.3}, {0.5, 0.0, 1.0, kPi / 2},
                                {0.25, -0.5, 1.5, kPi}};
        for (int k = 0; k < 40; ++k) cases.push_back({uniform(-1, 1), uniform(-1, 1), uniform(0.2, 6), uniform(-7, 7)});
        for (const Case& c : cases) {
            const ValidatedPath p = build(Rows().circle(0, 0, c.r, c.t0));
            const int n = int(c.r) + 3;
            double worst = 0.0;
            for (int iy = -n; iy <= n; ++iy)
                for (int ix = -n; ix <= n; ++ix)
                    worst = std::fmax(worst, std::fabs(path_pixel_area(p, ix, iy, c.x, c.y) -
                                                       disc_pixel(ix, iy, c.x, c.y, c.r)));
            EXPECT(worst <= 1e-12, "circle r=%g at (%g, %g) start %g off by %g", c.r, c.x, c.y, c.t0, worst);
        }
    });
    check("circles_grazing_pixel_edge_lines", [] {
        // One-decimal centres and radii put the circle's top, bottom or sides within
        // rounding of a pixel edge line: every pixel is the disc's, and the public pieces
        // (segments, then each edge on its own) add up to the same area.
        for (int it = 0; it < 150; ++it) {
            const double x = std::round(uniform(1000, 2000) * 10) / 10, y = std::round(uniform(1000, 2000) * 10) / 10;
            const double r = std::round(uniform(0.5, 9) * 10) / 10, t0 = uniform(-4, 4);
            const ValidatedPath p = build(Rows().circle(0, 0, r, t0));
            const int n = int(r) + 2, cx = int(std::lround(x)), cy = int(std::lround(y));
            for (int iy = cy - n; iy <= cy + n; ++iy)
                for (int ix = cx - n; ix <= cx + n; ++ix) {
                    const double a = path_pixel_area(p, ix, iy, x, y), g = green_area(p, ix, iy, x, y);
                    EXPECT(std::fabs(a - disc_pixel(ix, iy, x, y, r)) <= 1e-9 && std::fabs(a - g) <= 1e-12,
                           "circle r=%g at (%g, %g) pixel (%d, %d): %.17g, pieces %.17g, disc %.17g", r, x, y,
                           ix, iy, a, g, disc_pixel(ix, iy, x, y, r));
                }
        }
    });
    check("green_road_matches_polygon_road", [] {
        // Polygons with vertices on half-integer points (on pixel edges and
        // corners) and random ones: both roads give the same area.
        for (int it = 0; it < 300; ++it) {
            std::vector<Point> pts;
            const int n = 3 + it % 6;
            const bool grid = it % 2 == 0;
            for (int k = 0; k < n; ++k) {
                const double t = 2 * kPi * (k + 0.7 * uniform(0, 1)) / n;
                const double rad = uniform(0.8, 3.5);
                double px = rad * std::cos(t), py = rad * std::sin(t);
                if (grid) { px = std::round(px * 2) / 2; py = std::round(py * 2) / 2; }
                pts.push_back({px, py});
            }
            PathBuild b = build_validated_path(Rows().polygon(pts).kinds, Rows().polygon(pts).rows);
            if (!std::holds_alternative<ValidatedPath>(b)) continue;  // degenerate draw
            const ValidatedPath& p = std::get<ValidatedPath>(b);
            const double x = grid ? 0.0 : uniform(-0.5, 0.5), y = grid ? 0.0 : uniform(-0.5, 0.5);
            for (int iy = -5; iy <= 5; ++iy)
                for (int ix = -5; ix <= 5; ++ix) {
                    const double a = path_pixel_area(p, ix, iy, x, y), g = green_area(p, ix, iy, x, y);
                    EXPECT(std::fabs(a - g) <= 1e-12, "polygon %d pixel (%d, %d): %.17g vs %.17g", it, ix, iy, a, g);
                }
        }
    });
    check("comb_along_a_pixel_edge", [] {
        // Teeth crossing the edge y = 0.5 or with their valleys on it (each
        // valley met twice): parameter lists that grow long and thin again.
        std::vector<Point> comb{{-0.5, -1}, {0.5, -1}};
        for (int k = 0; k < 12; ++k) {
            comb.push_back({0.5 - k / 12.0, 1.0});
            comb.push_back({0.5 - (k + 0.5) / 12.0, 0.5});
        }
        comb.push_back({-0.5, 1.0});
        const ValidatedPath p = build(Rows().polygon(comb));
        for (double y : {0.0, 0.3})
            for (int iy = -1; iy <= 1; ++iy) {
                const double a = path_pixel_area(p, 0, iy, 0.1, y), g = green_area(p, 0, iy, 0.1, y);
                EXPECT(std::fabs(a - g) <= 1e-12, "pixel (0, %d) at y %g: %.17g vs %.17g", iy, y, a, g);
            }
    });
    check("square_path_and_box", [] {
        const ValidatedPath p = build(Rows().polygon({{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}));
        EXPECT(path_pixel_area(p, 0, 0, 0, 0) == 1.0 && path_pixel_area(p, 1, 0, 0, 0) == 0.5 &&
               path_pixel_area(p, 1, 1, 0, 0) == 0.25 && path_pixel_area(p, 2, 0, 0, 0) == 0.0, "square areas");
        const PixelBox b = path_bbox(p, 10, 20);
        EXPECT(b.x_min == 8 && b.x_max == 12 && b.y_min == 18 && b.y_max == 22, "box");
        const PixelBox c = path_bbox(build(Rows().circle(0, 0, 1, 0.3)), 0, 0);
        EXPECT(c.x_min == -2 && c.x_max == 2 && c.y_min == -2 && c.y_max == 2, "circle box");
        // A square whose sides lie on pixel edges through the Green's road.
        const ValidatedPath q = build(Rows().polygon({{-1.5, -0.5}, {1.5, -0.5}, {1.5, 1.5}, {-1.5, 1.5}}));
        for (int ix = -2; ix <= 2; ++ix)
            for (int iy = -1; iy <= 2; ++iy) {
                const double want = (std::abs(ix) <= 1 && iy >= 0 && iy <= 1) ? 1.0 : 0.0;
                EXPECT(green_area(q, ix, iy, 0, 0) == want, "edge-aligned pixel (%d, %d) gives %g",
                       ix, iy, green_area(q, ix, iy, 0, 0));
            }
    });
    check("notched_outline_keeps_its_hole", [] {
        Rows r;
        r.polygon({{0, 0}, {5, 5}, {10, 0}, {10, 10}, {0, 10}});
        r.polygon({{1.5, 4.5}, {2.5, 4.5}, {2.5, 5.5}, {1.5, 5.5}});
        EXPECT(build_error(r).empty(), "rejected: %s", build_error(r).c_str());
        const ValidatedPath p = build(r);
        EXPECT(path_contains_point(p, 7.0, 5.0) && path_contains_point(p, 3.0, 5.0) &&
               !path_contains_point(p, 2.0, 5.0) && !path_contains_point(p, 5.0, 2.0), "membership");
    });
    check("annulus_of_two_circles_from_angle_zero", [] {
        Rows r;
        r.circle(0, 0, 3, 0.0).circle(0, 0, 1, 0.0, -1.0);
        EXPECT(build_error(r).empty(), "rejected: %s", build_error(r).c_str());
        const ValidatedPath p = build(r);
        EXPECT(path_contains_point(p, 2, 0) && !path_contains_point(p, 0.5, 0) &&
               !path_contains_point(p, 3.5, 0) && path_contains_point(p, -2, 0), "membership on the seam row");
        double sum = 0.0;
        for (int iy = -4; iy <= 4; ++iy)
            for (int ix = -4; ix <= 4; ++ix) {
                const double w = path_pixel_area(p, ix, iy, 0.2, -0.1);
                const double want = std::fmin(std::fmax(disc_pixel(ix, iy, 0.2, -0.1, 3) - disc_pixel(ix, iy, 0.2, -0.1, 1), 0.0), 1.0);
                EXPECT(std::fabs(w - want) <= 1e-12, "annulus pixel (%d, %d): %g vs %g", ix, iy, w, want);
                sum += w;
            }
        EXPECT(std::fabs(sum - 8 * kPi) < 1e-9, "annulus area %.15g", sum);
    });
    check("tangent_hole_is_no_crossing", [] {
        Rows r;
        r.polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}}).circle(5, 2, 2, 0.0);
        EXPECT(build_error(r).empty(), "rejected: %s", build_error(r).c_str());
        const PathSeg line = PathSeg::line(0, 0, 10, 0), arc = PathSeg::arc(0, 1, 1, -kPi, kPi);
        EXPECT(!segs_properly_intersect(line, arc) && !segs_properly_intersect(arc, line), "line tangent to an arc");
        const PathSeg a = PathSeg::arc(0, 0, 1, -1, 2), b = PathSeg::arc(2, 0, 1, 2, 2.5);
        EXPECT(!segs_properly_intersect(a, b), "touching circles");
    });
    check("rounded_tangencies_touch", [] {
        // The side y = 4 and a circle about (0.3, 3) of radius 1: the discriminant
        // rounds above 0; 2e-9 further in, they cross.  Likewise two circles.
        const PathSeg side = PathSeg::line(4.2, 4, -3.8, 4);
        for (int k = 0; k < 3; ++k) {
            const PathSeg arc = PathSeg::arc(0.3, 3.0, 1.0, k * 2 * kPi / 3, 2 * kPi / 3);
            const PathSeg in = PathSeg::arc(0.3, 3.0 + 2e-9, 1.0, k * 2 * kPi / 3, 2 * kPi / 3);
            EXPECT(!segs_properly_intersect(side, arc) && !segs_properly_intersect(arc, side), "arc %d touches", k);
            EXPECT(segs_properly_intersect(side, in) == (k == 0), "arc %d 2e-9 across", k);
        }
        const PathSeg outer = PathSeg::arc(0, 0, 4, -1, 2), inner = PathSeg::arc(2.5, 0, 1.5, -1, 2);
        const PathSeg across = PathSeg::arc(2.5 + 2e-9, 0, 1.5, -1, 2);
        EXPECT(!segs_properly_intersect(outer, inner) && segs_properly_intersect(outer, across), "circles");
    });
    check("gapped_junctions_meet_where_sides_cross", [] {
        // Arcs meeting at a right angle through a gap of 5e-4, and a gapped last arc
        // before a short close line: the outline is cut back to where its sides
        // cross, so every segment meets the next exactly and the contour's area is
        // what its pixels add up to.
        Rows r;
        r.move(5.5, 0.5).line(1.4995295462209457, 5.499830668249361)
            .arc(4.38310975926206, -2.511609615805456, 8.514588085751335, 1.9162924248103421, 0.5960100215556777)
            .arc(-3.9839247351645533, 0.4678494703291076, 2.516280666951698, 0.9400725702777938, 2.1887427310358185)
            .line(-0.5, -5.5).close();
        Rows q;
        q.move(2.3318108698289115, 2.3687973076117763)
            .arc(0.9120871324418146, 8.153557548842748, 5.956726316300254, -1.3301283298290116, -0.6738184688772844)
            .arc(-1.7159611010053508, 0.5586034127402971, 2.191961213329561, 1.5124544263710602, 1.631018155515)
            .arc(-5.270406089378769, -1.6410098613417048, 2.584720877798831, 1.0153788328954738, -1.6260473560008188)
            .arc(-0.04022744507467936, -0.6875879163872685, 3.9514842211873984, -2.4776288656139838, 2.11988587769983)
            .arc(-0.00030399950832248865, -0.7481597761303131, 3.8927237133942003, -0.3467599392369784, 1.275302321988127)
            .close();
        for (const Rows* rows : {&r, &q}) {
            const ValidatedPath p = build(*rows);
            const std::vector<PathSeg>& s = p[0].segs;
            for (std::size_t k = 0; k < s.size(); ++k) {
                EXPECT(s[k].x1 == s[(k + 1) % s.size()].x0 && s[k].y1 == s[(k + 1) % s.size()].y0,
                       "segment %zu does not meet the next", k);
            }
            double sum = 0.0;
            for (int iy = -8; iy <= 8; ++iy)
                for (int ix = -8; ix <= 8; ++ix) sum += path_pixel_area(p, ix, iy, 0.5, 0.5);
            EXPECT(std::fabs(sum - p[0].signed_area) < 1e-12, "pixels %.17g, contour %.17g", sum, p[0].signed_area);
        }
    });
    check("arc_start_gap_is_joined", [] {
        // The arc starts 5e-4 above the current point; rows through the gap
        // and far from it still see one boundary crossing.
        Rows r;
        r.move(0, 0).line(4, 0).arc(4, 2.0005, 2.0, -kPi / 2, kPi).line(0, 4).close();
        EXPECT(build_error(r).empty(), "rejected: %s", build_error(r).c_str());
        const ValidatedPath p = build(r);
        for (double y : {0.0001, 0.0002, 0.0004}) {
            EXPECT(path_contains_point(p, 1.0, y) && !path_contains_point(p, -1.0, y) &&
                   !path_contains_point(p, 7.0, y), "row y = %g", y);
        }
        for (std::size_t k = 0; k < p[0].segs.size(); ++k) {
            const PathSeg& s = p[0].segs[k];
            const PathSeg& t = p[0].segs[(k + 1) % p[0].segs.size()];
            EXPECT(s.x1 == t.x0 && s.y1 == t.y0, "segment %zu does not meet the next", k);
        }
    });
    check("overlapping_holes_count_once", [] {
        Rows r;
        r.polygon({{-4, -4}, {4, -4}, {4, 4}, {-4, 4}});
        r.polygon({{-2.3, -1.7}, {0.6, -1.7}, {0.6, 1.2}, {-2.3, 1.2}});
        r.polygon({{-0.8, -0.4}, {2.1, -0.4}, {2.1, 2.6}, {-0.8, 2.6}});
        r.polygon({{-0.8, -0.4}, {2.1, -0.4}, {2.1, 2.6}, {-0.8, 2.6}});  // the same hole twice
        const ValidatedPath p = build(r);
        const std::vector<Point> h1{{-2.3, -1.7}, {0.6, -1.7}, {0.6, 1.2}, {-2.3, 1.2}};
        const std::vector<Point> h2{{-0.8, -0.4}, {2.1, -0.4}, {2.1, 2.6}, {-0.8, 2.6}};
        const std::vector<Point> both{{-0.8, -0.4}, {0.6, -0.4}, {0.6, 1.2}, {-0.8, 1.2}};
        double sum = 0.0;
        for (int iy = -5; iy <= 5; ++iy)
            for (int ix = -5; ix <= 5; ++ix) {
                const double xl = ix - 0.5, xh = ix + 0.5, yl = iy - 0.5, yh = iy + 0.5;
                const double out = std::fmax(0.0, std::fmin(xh, 4.0) - std::fmax(xl, -4.0)) *
                                   std::fmax(0.0, std::fmin(yh, 4.0) - std::fmax(yl, -4.0));
                const double want = out - (polygon_rect_overlap_area(h1, xl, xh, yl, yh) +
                                           polygon_rect_overlap_area(h2, xl, xh, yl, yh) -
                                           polygon_rect_overlap_area(both, xl, xh, yl, yh));
                const double got = path_pixel_area(p, ix, iy, 0, 0);
                EXPECT(std::fabs(got - want) <= 1e-12, "pixel (%d, %d): %.15g vs %.15g", ix, iy, got, want);
                sum += got;
            }
        EXPECT(std::fabs(sum - (64 - (2.9 * 2.9 + 2.9 * 3.0 - 1.4 * 1.6))) < 1e-9, "total %.15g", sum);
        EXPECT(!path_contains_point(p, 0, 0) && !path_contains_point(p, 1.5, 2) && path_contains_point(p, 3, 3),
               "membership");
    });
    check("overlapping_circle_holes_take_their_union", [] {
        // Two holes that overlap in a lens and a third inside both: the path's
        // area is the square less the union of the two discs.
        const double r = 1.7, d = 1.9;  // radii and the distance of the centres
        Rows rows;
        rows.polygon({{-5, -5}, {5, -5}, {5, 5}, {-5, 5}});
        rows.circle(-d / 2, 0.3, r, 0.4, -1.0).circle(d / 2, 0.3, r, 2.0).circle(0, 0.3, 0.5, 1.0);
        const ValidatedPath p = build(rows);
        const double lens = 2 * r * r * std::acos(d / (2 * r)) - 0.5 * d * std::sqrt(4 * r * r - d * d);
        for (double x : {0.0, 0.37}) {
            double sum = 0.0;
            for (int iy = -6; iy <= 6; ++iy)
                for (int ix = -6; ix <= 6; ++ix) {
                    const double a = path_pixel_area(p, ix, iy, x, 0.1);
                    EXPECT(a >= 0.0 && a <= 1.0, "pixel (%d, %d) weighs %g", ix, iy, a);
                    sum += a;
                }
            EXPECT(std::fabs(sum - (100 - (2 * kPi * r * r - lens))) < 1e-9, "total %.15g", sum);
        }
        EXPECT(!path_contains_point(p, 0, 0.3) && !path_contains_point(p, -1.5, 0.3) &&
               path_contains_point(p, 0, 2.5), "membership");
    });
    check("holes_on_pixel_edges_both_roads", [] {
        // A hole whose sides lie on pixel edges and one that meets the outer
        // contour at a corner: the Green's road sum equals the polygon road.
        for (double x : {0.0, 0.5, 0.25}) {
            Rows rows;
            rows.polygon({{-3.5, -2.5}, {3.5, -2.5}, {3.5, 3.5}, {-3.5, 3.5}});
            rows.polygon({{-1.5, -0.5}, {-1.5, 1.5}, {0.5, 1.5}, {0.5, -0.5}});
            rows.polygon({{3.5, 3.5}, {2.5, 2.0}, {2.0, 3.0}});
            const ValidatedPath p = build(rows);
            double sum = 0.0;
            for (int iy = -4; iy <= 5; ++iy)
                for (int ix = -5; ix <= 5; ++ix) {
                    const double a = path_pixel_area(p, ix, iy, x, 0.0), g = green_area(p, ix, iy, x, 0.0);
                    EXPECT(std::fabs(a - g) <= 1e-12, "x %g pixel (%d, %d): %.17g vs %.17g", x, ix, iy, a, g);
                    sum += a;
                }
            EXPECT(std::fabs(sum - (42.0 - 4.0 - 0.875)) < 1e-12, "total %.15g", sum);
        }
    });
    check("winding_rules", [] {
        const PathSeg up = PathSeg::line(1, -1, 1, 1), down = up.reversed();
        EXPECT(up.winding_contribution(0, 0) == 1 && down.winding_contribution(0, 0) == -1, "signs");
        EXPECT(up.winding_contribution(1, 0) == 0 && up.winding_contribution(2, 0) == 0, "right of the line");
        EXPECT(up.winding_contribution(0, -1) == 1 && up.winding_contribution(0, 1) == 0, "upward half-open");
        EXPECT(down.winding_contribution(0, -1) == -1 && down.winding_contribution(0, 1) == 0, "downward half-open");
        // Arcs: a ray at the top of a circle does not cross it; one at the bottom
        // crosses twice in opposite senses.
        const PathSeg half = PathSeg::arc(0, 0, 1, 0, kPi);
        EXPECT(half.winding_contribution(-5, 1.0) == 0 && half.winding_contribution(-5, 0.5) == 0 &&
               half.winding_contribution(0, 0.5) == 1, "upper half circle");
        const PathSeg q = PathSeg::arc(0, 0, 1, 0, kPi / 2);
        const Crossings c = q.t_at_y(0.5);
        EXPECT(c.n == 1 && std::fabs(c.t[0] - 1.0 / 3) < 1e-15, "quarter arc at y = 0.5");
        const Crossings d = PathSeg::arc(0, 0, 1, kPi / 2, -kPi / 2).t_at_y(0.5);
        EXPECT(d.n == 1 && std::fabs(d.t[0] - 2.0 / 3) < 1e-15, "clockwise quarter arc");
        // The boundary tolerance: 1e-10 of distance at most, also near short lines.
        const PathSeg unit = PathSeg::line(0, 0, 1, 0), shortl = PathSeg::line(0, 0, 1e-6, 1e-6);
        EXPECT(unit.contains_on_boundary(0.5, 9e-11) && !unit.contains_on_boundary(0.5, 2e-10) &&
               unit.contains_on_boundary(0, 0) && !unit.contains_on_boundary(-2e-10, 0), "unit line");
        EXPECT(shortl.contains_on_boundary(5e-7, 5e-7) && !shortl.contains_on_boundary(1e-6, 0),
               "a point 7e-7 from a short line is not on it");
        EXPECT(PathSeg::line(0, 0, 2, 2).t_at_x(1).n == 1 && PathSeg::line(0, 0, 2, 2).t_at_x(0).n == 0 &&
               PathSeg::line(1, 0, 1, 5).t_at_x(1).n == 0, "line crossings");
    });
    check("degenerate_paths_do_not_break", [] {
        // Huge coordinates, tiny arcs and near-zero segments: built or
        // rejected, never a crash, and areas stay in [0, 1].
        Rows huge;
        huge.polygon({{-1e300, -1e300}, {1e300, -1e300}, {1e300, 1e300}, {-1e300, 1e300}});
        const PathBuild b = build_validated_path(huge.kinds, huge.rows);
        if (auto* p = std::get_if<ValidatedPath>(&b)) {
            const double a = path_pixel_area(*p, 0, 0, 0, 0);
            EXPECT(!(a < 0.0) && !(a > 1.0), "huge square area %g", a);
            (void)path_bbox(*p, 0, 0);
        }
        Rows tiny;
        tiny.move(1, 0).arc(0, 0, 1, 0, 1e-12).arc(0, 0, 1, 1e-12, 1e-12).line(0, 1).close();
        const PathBuild t = build_validated_path(tiny.kinds, tiny.rows);
        if (auto* p = std::get_if<ValidatedPath>(&t)) {
            for (int ix = -1; ix <= 2; ++ix) {
                const double a = path_pixel_area(*p, ix, 0, 0, 0);
                EXPECT(!(a < 0.0) && !(a > 1.0), "tiny arc area %g", a);
            }
        }
        Rows far;
        far.circle(1e15, -1e15, 1e-3, 0.1);
        const PathBuild f = build_validated_path(far.kinds, far.rows);
        if (auto* p = std::get_if<ValidatedPath>(&f)) (void)path_pixel_area(*p, 0, 0, -1e15, 1e15);
        Rows nan_gap;
        nan_gap.move(0, 0).line(1, 0).arc(1e308, 0, 1e308, 0, 1).line(0, 1).close();
        EXPECT(build_error(nan_gap) == "arc start does not connect to current point", "%s", build_error(nan_gap).c_str());
    });
}
