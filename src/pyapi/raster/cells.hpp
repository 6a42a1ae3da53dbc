// Cell rules of the circle, rectangle and ellipse rasters and of their
// annuli.  The exact cells are the very pixel weights of the aperture sums
// (the ring weight, the rectangle clip, the ellipse-quadrilateral overlap);
// the rasters just apply them to every pixel of the box, without the sums'
// quick tests where those would change a value.
#pragma once

#include <cmath>

#include "geometry/geometry.hpp"
#include "geometry/shape_frames.hpp"
#include "pyapi/summation/circle.hpp"
#include "pyapi/summation/ellipse.hpp"
#include "pyapi/summation/rect.hpp"
#include "pyapi/summation/slice.hpp"

namespace quorvantel::pyapi::raster {

// Exact weight under a circle of radius r_out less a concentric one of
// radius r_in (0, of either sign, for none).
struct RingExactCell {
    double x, y;
    summation::DiscBounds outer;
    summation::DiscBounds inner;
    bool has_inner;

    RingExactCell(double cx, double cy, double r_in, double r_out)
        : x(cx),
          y(cy),
          outer(summation::disc_bounds(r_out)),
          inner(summation::disc_bounds(r_in)),
          has_inner(r_in != 0.0) {}

    using Row = summation::CircleRow;
    Row row(double fy) const { return summation::circle_row(fy, y); }
    double operator()(const Row& r, double fx) const {
        const double dx = fx - x;
        const double d2 = r.dy2 + dx * dx;
        return summation::ring_pixel_weight(outer, inner, has_inner, d2, (fx - 0.5) - x, r.y0,
                                            (fx + 0.5) - x, r.y1);
    }
};

// Centre cells answer inside(row, px) for the open shape; as cells they weigh 1 or 0.
template <class Derived>
struct CentreCell {
    template <class Row>
    double operator()(const Row& r, double fx) const {
        return static_cast<const Derived&>(*this).inside(r, fx) ? 1.0 : 0.0;
    }
};

struct CircCenterCell : CentreCell<CircCenterCell> {
    double x, y, r2;
    CircCenterCell(double cx, double cy, double r) : x(cx), y(cy), r2(r * r) {}

    double row(double fy) const {
        const double dy = fy - y;
        return dy * dy;
    }
    bool inside(double dy2, double fx) const {
        return summation::circle_centre_inside(dy2, fx - x, r2);
    }
};

// A turned shape about (x, y): c = cos theta, s = sin theta of its own angle.
struct Turned {
    double x, y, c, s;
    summation::TurnedRow row(double fy) const { return summation::turned_row(fy, y, c, s); }
    // The pixel's corners in the shape's frame, counter-clockwise.
    void corners(const summation::TurnedRow& r, double fx, geometry::Point* out) const {
        summation::turned_corners(r, fx, x, c, s, out);
    }
};

// Area of the rectangle |u| <= hw, |v| <= hh inside the pixel, at most 1.
struct RectExactCell : Turned {
    double hw, hh;
    double operator()(const summation::TurnedRow& r, double fx) const {
        return summation::rect_detail::pixel_weight(r, fx, x, c, s, hw, hh);
    }
};

struct RectCenterCell : Turned, CentreCell<RectCenterCell> {
    double hw, hh;
    using CentreCell<RectCenterCell>::operator();
    bool inside(const summation::TurnedRow& r, double fx) const {
        return summation::rect_detail::centre_inside(r, fx - x, c, s, hw, hh);
    }
};

// An ellipse placed on the grid: centre, semi-axes a (along theta) and b, and
// the cosine and sine of theta.
struct PlacedEllipse {
    double x, y, a, b, c, s;
};

struct EllipExactCell : Turned {
    double a, b;
    explicit EllipExactCell(const PlacedEllipse& e) : Turned{e.x, e.y, e.c, e.s}, a(e.a), b(e.b) {}
    double operator()(const summation::TurnedRow& r, double fx) const {
        return summation::ellip_detail::pixel_weight(r, fx, x, c, s, a, b);
    }
};

struct EllipCenterCell : Turned, CentreCell<EllipCenterCell> {
    double a, b;
    explicit EllipCenterCell(const PlacedEllipse& e)
        : Turned{e.x, e.y, e.c, e.s}, a(e.a), b(e.b) {}
    using CentreCell<EllipCenterCell>::operator();
    bool inside(const summation::TurnedRow& r, double fx) const {
        return summation::ellip_detail::centre_inside(r, fx - x, c, s, a, b);
    }
};

// An annulus's exact cell: the outer shape's weight less the inner shape's,
// clamped to [0, 1].
template <class Outer, class Inner>
struct ExactDifference {
    Outer outer;
    Inner inner;
    struct Row {
        decltype(std::declval<const Outer&>().row(0.0)) out;
        decltype(std::declval<const Inner&>().row(0.0)) in;
    };
    Row row(double fy) const { return {outer.row(fy), inner.row(fy)}; }
    double operator()(const Row& r, double fx) const {
        double d = outer(r.out, fx) - inner(r.in, fx);
        if (d < 0.0) d = 0.0;
        if (d > 1.0) d = 1.0;
        return d;
    }
};

// An annulus's centre cell: strictly inside the outer shape and not strictly
// inside the inner one, so the inner boundary belongs to the annulus.
template <class Outer, class Inner>
struct CenterDifference : CentreCell<CenterDifference<Outer, Inner>> {
    Outer outer;
    Inner inner;
    CenterDifference(Outer o, Inner i) : outer(o), inner(i) {}
    struct Row {
        decltype(std::declval<const Outer&>().row(0.0)) out;
        decltype(std::declval<const Inner&>().row(0.0)) in;
    };
    Row row(double fy) const { return {outer.row(fy), inner.row(fy)}; }
    bool inside(const Row& r, double fx) const {
        return outer.inside(r.out, fx) && !inner.inside(r.in, fx);
    }
};

}  // namespace quorvantel::pyapi::raster
