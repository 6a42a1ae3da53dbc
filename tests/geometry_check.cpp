// Direct checks of the overlap geometry in src/geometry, including the parts no
// Python function reaches yet.  Built and run by test_geometry.py; prints one
// line per check: "<name> ok" or "<name> FAIL <detail>".
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "check_harness.hpp"
#include "fault.hpp"
#include "geometry/geometry.hpp"

using namespace quorvantel::geometry;
using Poly = std::vector<Point>;

static std::uint64_t rng_state = 20240611;
static double uniform(double lo, double hi) { return splitmix_uniform(rng_state, lo, hi); }
static double U() { return uniform(-1.5, 2.5); }
static double unit() { return uniform(0.0, 1.0); }

static bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
static bool same(const Poly& a, const Poly& b) {
    return a.size() == b.size() && (a.empty() || !std::memcmp(a.data(), b.data(), a.size() * sizeof(Point)));
}
static double shoelace(const Poly& p) {
    double s = 0.0;
    for (std::size_t k = 0, n = p.size(); k < n; ++k) s += p[k].x * p[(k + 1) % n].y - p[k].y * p[(k + 1) % n].x;
    return 0.5 * std::fabs(s);
}
static Poly reversed(const Poly& p) { return Poly(p.rbegin(), p.rend()); }
static double disc(const Poly& p, double r) { return circle_polygon_overlap_area_scaled(p, r); }

struct Pass { Axis axis; Keep side; double bound; };
static std::vector<Pass> rect(double xl, double xh, double yl, double yh) {
    return {{Axis::X, Keep::Greater, xl}, {Axis::X, Keep::Less, xh},
            {Axis::Y, Keep::Greater, yl}, {Axis::Y, Keep::Less, yh}};
}
// The input and the result of every pass (growable form).
static std::vector<Poly> stages(const Poly& p, const std::vector<Pass>& passes) {
    std::vector<Poly> out{p};
    for (const Pass& s : passes) out.push_back(clip_polygon_by_axis(out.back(), s.axis, s.side, s.bound));
    return out;
}
// The final polygon; the fixed form must match the growable one after every pass.
static Poly clipped(const Poly& p, const std::vector<Pass>& passes, std::size_t* most = nullptr) {
    const std::vector<Poly> grown = stages(p, passes);
    WedgePolygon w{{}, p.size()};
    std::copy(p.begin(), p.end(), w.pts);
    for (std::size_t k = 0; k < passes.size(); ++k) {
        w = clip_wedge_polygon_by_axis(w, passes[k].axis, passes[k].side, passes[k].bound);
        if (most) *most = std::max(*most, w.count);
        EXPECT(same(Poly(w.pts, w.pts + w.count), grown[k + 1]), "fixed form differs after pass %zu", k);
    }
    return grown.back();
}
// Area inside [xl, xh] x [yl, yh]; both forms must give the same bits.
static double area(const Poly& p, double xl, double xh, double yl, double yh) {
    const double g = polygon_rect_overlap_area(p, xl, xh, yl, yh);
    const double f = wedge_polygon_rect_overlap_area(p, xl, xh, yl, yh);
    EXPECT(same(g, f), "fixed area %.17g, growable %.17g", f, g);
    return g;
}

int main() {
    const Poly square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};

    check("clip_inside_unchanged", [&] {
        const Poly p{{0.25, 0.5}, {0.5, 0.125}, {0.875, 0.75}, {0.375, 0.875}};
        for (const Poly& q : {p, reversed(p)}) {
            for (const Poly& s : stages(q, rect(0, 1, 0, 1))) EXPECT(same(s, q), "a pass moved a vertex");
            clipped(q, rect(0, 1, 0, 1));
            EXPECT(same(area(q, 0, 1, 0, 1), shoelace(q)), "area is not the shoelace area");
        }
    });
    check("clip_outside_empty", [&] {
        EXPECT(clipped(square, {{Axis::X, Keep::Greater, 2}}).empty(), "x >= 2 kept vertices");
        EXPECT(clipped(square, {{Axis::Y, Keep::Less, -0.5}}).empty() && clipped({}, rect(0, 1, 0, 1)).empty(),
               "y <= -0.5 or an empty polygon kept vertices");
        EXPECT(area(square, 2, 3, 0, 1) == 0.0 && area(square, 0, 1, 1.5, 3) == 0.0, "disjoint area");
    });
    check("clip_tolerance", [&] {
        const Poly near{{-1e-15, 0}, {1, 0}, {1 + 1e-15, 1}, {0, 1 + 1e-15}};  // outside by <= 1e-15
        EXPECT(same(clipped(near, rect(0, 1, 0, 1)), near), "near-boundary vertex moved");
        const Poly cut = clipped({{-3e-15, 0}, {1, 0}, {0, 1}}, {{Axis::X, Keep::Greater, 0}});
        EXPECT(cut.size() == 4 && std::fabs(cut[1].x) < 1e-20, "vertex 3e-15 outside was not clipped");
        // Edges whose x differ by <= 1e-15 across x = 0: the start vertex is the crossing.
        const Point a{-1.2e-15, 0}, b{-0.4e-15, 1}, c{1, 0.5};
        const Poly in = clipped({a, b, c}, {{Axis::X, Keep::Greater, 0}});
        const Poly out = clipped({c, b, a}, {{Axis::X, Keep::Greater, 0}});
        EXPECT(in.size() == 4 && same(Poly{in[1], in[2], in[3]}, Poly{a, b, c}), "entering edge");
        EXPECT(out.size() == 4 && same(Poly{out[1], out[2], out[3]}, Poly{c, b, b}), "leaving edge");
    });
    check("clip_area_basics", [&] {
        EXPECT(area(square, 0.5, 1.5, -1, 2) == 0.5 && area(reversed(square), 0.5, 1.5, -1, 2) == 0.5, "half square");
        const Poly five{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {5, 5}};
        const double a3 = wedge_polygon_rect_overlap_area(std::span(five).first(3), -1, 2, -1, 2);
        const double a4 = wedge_polygon_rect_overlap_area(std::span(five).first(4), -1, 2, -1, 2);
        const double a5 = wedge_polygon_rect_overlap_area(five, -1, 2, -1, 2);
        EXPECT(a3 == 0.5 && a4 == 1.0 && a5 == 1.0, "lengths 3/4/5 gave %g %g %g", a3, a4, a5);
    });
    check("clip_grid_partition", [&] {
        // A convex polygon's pieces over a pixel grid add up to its area, in either orientation.
        for (int it = 0; it < 300; ++it) {
            Poly p;
            const double cx = U(), cy = U(), rad = 0.3 + 2 * unit(), t0 = 2 * kPi * unit(), n = 3 + it % 2;
            for (int k = 0; k < n; ++k) {
                const double t = t0 + 2 * kPi * (k + 0.8 * unit()) / n;
                p.push_back({cx + rad * std::cos(t), cy + rad * std::sin(t)});
            }
            double sum = 0.0, sum_rev = 0.0;
            for (int i = -4; i < 6; ++i)
                for (int j = -4; j < 6; ++j)
                    sum += area(p, i, i + 1, j, j + 1), sum_rev += area(reversed(p), i, i + 1, j, j + 1);
            EXPECT(std::fabs(sum - shoelace(p)) < 1e-12 && std::fabs(sum_rev - sum) < 1e-12,
                   "sum %.17g reversed %.17g area %.17g", sum, sum_rev, shoelace(p));
        }
    });
    check("clip_forms_agree", [&] {
        // Random triangles, quadrilaterals and bow-ties: the helpers compare every pass.
        for (int it = 0; it < 20000 && failure.empty(); ++it) {
            Poly p;
            for (int k = 0; k < 3 + it % 2; ++k) p.push_back({U(), U()});
            if (it % 4 == 3) std::swap(p[1], p[2]);
            const double xl = std::floor(U()), yl = std::floor(U()), w = 0.5 + (it % 3);
            clipped(p, rect(xl, xl + w, yl, yl + 1));
            area(p, xl, xl + w, yl, yl + 1);
        }
    });
    check("wedge_growth_past_eight", [&] {
        EXPECT(WedgePolygon::CAPACITY >= 19, "capacity %zu", WedgePolygon::CAPACITY);
        std::size_t most = 0;  // skewed quadrilaterals around the unit pixel
        for (int it = 0; it < 100000 && most <= 8; ++it) {
            const Poly p{{U(), U()}, {U(), U()}, {U(), U()}, {U(), U()}};
            clipped(p, rect(0, 1, 0, 1), &most);
            area(p, 0, 1, 0, 1);
        }
        EXPECT(most > 8, "no quadrilateral grew past 8 vertices (most %zu)", most);
    });
    check("wedge_capacity_fault", [&] {
        const std::size_t cap = WedgePolygon::CAPACITY;
        Poly zig;  // alternating sides of x = 0
        for (std::size_t i = 0; i < cap; ++i) zig.push_back({i % 2 ? 1.0 : -1.0, double(i)});
        const auto throws = [](const Poly& p, Pass s) {
            try { clipped(p, {s}); } catch (const quorvantel::Fault&) { return true; } return false;
        };
        EXPECT(throws(zig, {Axis::X, Keep::Greater, 0.0}), "zig-zag past capacity did not fault");
        EXPECT(!throws(zig, {Axis::X, Keep::Greater, -2.0}), "CAPACITY vertices kept whole faulted");
        EXPECT(!throws(zig, {Axis::Y, Keep::Less, cap - 2.5}), "CAPACITY - 2 kept + 2 crossings faulted");
        EXPECT(throws(zig, {Axis::Y, Keep::Less, cap - 1.5}), "CAPACITY - 1 kept + 2 crossings did not fault");
    });

    check("circ_rect_edge_cases", [&] {
        EXPECT(circ_rect_overlap(3, 4, 4, 5, 5) == 0.0 && circ_rect_overlap(0, 0, 3, 4, 5) == 12.0, "corner on circle");
        EXPECT(same(circ_rect_overlap(-0.0, -0.0, 0.7, 0.9, 1), circ_rect_overlap(0.0, 0.0, 0.7, 0.9, 1)) &&
               same(circ_rect_overlap(-0.6, -0.9, -0.0, 0.0, 1), circ_rect_overlap(-0.6, -0.9, 0.0, -0.0, 1)),
               "signed zero");
        const double lo = circ_rect_overlap(0.5, -0.5, 1.5, 0.0, 1.2), hi = circ_rect_overlap(0.5, 0.0, 1.5, 0.5, 1.2);
        EXPECT(same(lo, hi) && same(circ_rect_overlap(0.5, -0.5, 1.5, 0.5, 1.2), lo + hi), "split pixel");
        EXPECT(circ_rect_overlap(0.3, -1, 0.3, 1, 1) == 0.0 && circ_rect_overlap(-1, -1, 1, 1, -2) == 0.0, "empty");
    });
    check("disc_poly_contains_or_inside", [&] {
        for (double r : {0.4, 1.0, 3.0, 17.5}) {
            const Poly big{{-2 * r, -2 * r}, {2 * r, -2 * r}, {2 * r, 2 * r}, {-2 * r, 2 * r}};
            EXPECT(same(disc(big, r), r * (r * kPi)) && same(disc(reversed(big), r), r * (r * kPi)), "r=%g", r);
            const Poly in{{0.1 * r, -0.2 * r}, {0.6 * r, 0.1 * r}, {0.3 * r, 0.5 * r}, {-0.4 * r, 0.3 * r}};
            EXPECT(std::fabs(disc(in, r) - shoelace(in)) <= 1e-15 * r * r, "inside r=%g: %.17g", r, disc(in, r));
        }
        for (int it = 0; it < 3000; ++it) {  // n-gons around the disc: pi r^2 up to rounding, never above
            const int n = 3 + it % 6;
            const double r = 0.1 + 5 * unit(), R = r * (1.1 + 3 * unit()) / std::cos(kPi / n), t0 = 7 * unit();
            const double cx = r * uniform(-0.05, 0.05), cy = r * uniform(-0.05, 0.05), full = r * (r * kPi);
            Poly p;
            for (int k = 0; k < n; ++k)
                p.push_back({cx + R * std::cos(t0 + 2 * kPi * k / n), cy + R * std::sin(t0 + 2 * kPi * k / n)});
            EXPECT(disc(p, r) <= full && full - disc(p, r) < 4e-15 * r * r, "n=%d r=%.17g: %.17g", n, r, disc(p, r));
        }
        for (double r : {0.0, -0.0, -1.0}) EXPECT(disc(square, r) == 0.0, "r=%g", r);
    });
    check("disc_poly_orientation_and_repeats", [&] {
        for (int it = 0; it < 3000; ++it) {
            Poly p;
            for (int k = 0; k < 3 + it % 5; ++k) p.push_back({U() - 0.5, U() - 0.5});
            const double r = 0.2 + 2 * unit(), a = disc(p, r);
            Poly rep = p;
            rep.insert(rep.begin() + it % p.size(), p[it % p.size()]);
            EXPECT(std::fabs(disc(reversed(p), r) - a) < 1e-13, "reversed %.17g vs %.17g", disc(reversed(p), r), a);
            EXPECT(same(disc(rep, r), a), "repeated vertex %.17g vs %.17g", disc(rep, r), a);
        }
    });
    check("disc_poly_matches_circ_rect", [&] {
        // Pixel squares and rectangles, turned about the centre, whole and as two triangles.
        for (int it = 0; it < 3000; ++it) {
            const double r = 0.3 + 4 * unit(), x0 = U() * 2 - 1, y0 = U() * 2 - 1, t = 2 * kPi * unit();
            const double x1 = x0 + (it % 2 ? 1.0 : 0.25 + unit()), y1 = y0 + (it % 2 ? 1.0 : 0.25 + unit());
            const double ref = circ_rect_overlap(x0, y0, x1, y1, r), c = it % 3 ? std::cos(t) : 1;
            const double s = it % 3 ? std::sin(t) : 0;
            Poly p;
            for (Point v : {Point{x0, y0}, Point{x1, y0}, Point{x1, y1}, Point{x0, y1}})
                p.push_back({c * v.x - s * v.y, s * v.x + c * v.y});
            const double halves = disc({p[0], p[1], p[2]}, r) + disc({p[2], p[3], p[0]}, r);
            EXPECT(std::fabs(disc(p, r) - ref) < 1e-12 && std::fabs(halves - ref) < 1e-12,
                   "[%.17g,%.17g]x[%.17g,%.17g] r=%.17g turn %.17g: %.17g, halves %.17g, rect %.17g",
                   x0, x1, y0, y1, r, t, disc(p, r), halves, ref);
        }
    });
    check("unit_disc_quad_bits", [&] {
        for (int it = 0; it < 20000; ++it) {
            Point q[4];
            for (Point& v : q) v = {U() - 0.5, U() - 0.5};
            EXPECT(same(unit_disc_quad_overlap(q), disc(Poly(q, q + 4), 1.0)), "quad %d", it);
        }
    });
    check("tangent_edge_runs_outside", [&] {
        // The lower edge touches the circle at its midpoint only and otherwise runs outside.
        const double truth = std::sqrt(8.0) / 9 + std::asin(1.0 / 3) - 2.0 / 9;
        const Point q[4] = {{-1.0 / 3, -1}, {1.0 / 3, -1}, {1.0 / 3, -1.0 / 3}, {-1.0 / 3, -1.0 / 3}};
        EXPECT(std::fabs(unit_disc_quad_overlap(q) - truth) < 1e-14, "quad: %.17g", unit_disc_quad_overlap(q));
        for (double r : {1.0, 3.0, 0.75}) {
            const Poly p{{-r / 3, -r}, {r / 3, -r}, {r / 3, -r / 3}, {-r / 3, -r / 3}};
            EXPECT(std::fabs(disc(p, r) - r * r * truth) < 1e-14 * r * r, "r=%g: %.17g", r, disc(p, r));
        }
    });
    return 0;
}
