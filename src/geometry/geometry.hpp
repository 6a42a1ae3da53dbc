// Pure two-dimensional overlap geometry on the unit pixel grid.
// Every function here is re-entrant, allocation-free unless stated, and
// never clamps: callers that use an area as a pixel weight clamp it.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace quorvantel::geometry {

struct Point {
    double x;
    double y;
};

// Area of the disc of radius r about the origin inside [x0, x1] x [y0, y1].
// Callers pass x0 <= x1, y0 <= y1 and a finite r; r <= 0 gives 0.
double circ_rect_overlap(double x0, double y0, double x1, double y1, double r);

enum class Axis { X, Y };
enum class Keep { Greater, Less };  // keep c >= bound, or c <= bound

// One clipping pass of a polygon (either orientation) against an axis line.
std::vector<Point> clip_polygon_by_axis(std::span<const Point> pts, Axis axis, Keep side,
                                        double bound);

// Area of a polygon inside [x_lo, x_hi] x [y_lo, y_hi] (four passes, then shoelace).
double polygon_rect_overlap_area(std::span<const Point> pts, double x_lo, double x_hi,
                                 double y_lo, double y_hi);

// Fixed-capacity polygon for the wedge pieces.  The capacity leaves room for
// every polygon that valid input can produce: a skewed (self-intersecting)
// quadrilateral clipped by four half-planes can grow well past eight vertices.
struct WedgePolygon {
    static constexpr std::size_t CAPACITY = 24;
    Point pts[CAPACITY];
    std::size_t count;
};

WedgePolygon clip_wedge_polygon_by_axis(const WedgePolygon& poly, Axis axis, Keep side,
                                        double bound);

// pts holds 3 or 4 points (a fourth is used whenever the length is not 3).
double wedge_polygon_rect_overlap_area(std::span<const Point> pts, double x_lo, double x_hi,
                                       double y_lo, double y_hi);

// The same clip with the sign kept: the integral over the rectangle of the
// polygon's winding number, so positive where a simple polygon runs
// counter-clockwise, and for a self-intersecting one each lobe counted with
// the sense in which it is run.
double wedge_polygon_rect_signed_area(std::span<const Point> pts, double x_lo, double x_hi,
                                      double y_lo, double y_hi);

// Area of disc(0, r) inside a polygon of 3 to 8 vertices (either orientation).
double circle_polygon_overlap_area_scaled(std::span<const Point> pts, double r);

// The same edge-by-edge rule on a quadrilateral already in the unit-disc frame
// (r = 1, no scaling): the area of the unit disc inside P0 P1 P2 P3, capped at pi.
// Bit-identical to circle_polygon_overlap_area_scaled(pts, 1.0) for four points.
double unit_disc_quad_overlap(const Point (&quad)[4]);

}  // namespace quorvantel::geometry
