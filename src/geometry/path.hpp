// Free outlines: contours of straight lines and circular arcs, the first one
// the outer boundary and the others holes.  Building and validating a path
// from its command rows, ray crossings and point-in-path, the exact area of
// a path inside one pixel and the path's pixel box.  All coordinates are
// relative to the path's origin (an aperture centre); everything here is
// pure, and a finished path is read by many threads at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "geometry/geometry.hpp"
#include "geometry/pixel_box.hpp"

namespace quorvantel::geometry {

inline constexpr double PATH_TWO_PI = 6.283185307179586;
inline constexpr double PATH_PI = 3.141592653589793;
// Crossing parameters strictly inside (PATH_T_LO, PATH_T_HI) count.
inline constexpr double PATH_T_LO = 1e-10;
inline constexpr double PATH_T_HI = 0.9999999999;
inline constexpr double PATH_TOL = 1e-10;

enum class SegKind : std::uint8_t { Line = 0, Arc = 1 };

// Up to two crossing parameters, in the order found.
struct Crossings {
    double t[2];
    int n = 0;
    void add(double v) { t[n++] = v; }
};

// One boundary segment.  (x0, y0) and (x1, y1) are its start and end: a
// line's two points, or an arc's cached start and end, computed once when
// the arc is made and read from here by every consumer.
struct PathSeg {
    SegKind kind;
    double x0, y0, x1, y1;
    double cx, cy, r, theta0, dtheta;  // arcs only
    // The segment's extent: its ends and, for an arc, the points at the
    // angles 0, pi/2, pi and 3pi/2 strictly inside its sweep.
    double lo_x, hi_x, lo_y, hi_y;

    static PathSeg line(double x0, double y0, double x1, double y1);
    static PathSeg arc(double cx, double cy, double r, double theta0, double dtheta);
    // An arc whose start and end points are already known.
    static PathSeg arc_between(double cx, double cy, double r, double theta0, double dtheta,
                               Point start, Point end);

    Point start() const { return {x0, y0}; }
    Point end() const { return {x1, y1}; }
    // The point at parameter t; the cached points at t = 0 and t = 1.
    Point point_at(double t) const;
    // The arc parameter of the angle phi on the arc's circle.
    double param_of_angle(double phi) const;
    // The same set of points run the other way.
    PathSeg reversed() const;

    // Where the segment meets the vertical (horizontal) line, parameters
    // strictly inside (1e-10, 0.9999999999).
    Crossings t_at_x(double x) const;
    Crossings t_at_y(double y) const;
    // Signed crossings of the ray from (px, py) towards +x: +1 upward, -1
    // downward, half-open in y (a point counts as below the ray's level when
    // its y <= py), so a junction of two segments counts once.
    int winding_contribution(double px, double py) const;
    // Whether (px, py) lies on the segment within the boundary tolerance.
    bool contains_on_boundary(double px, double py) const;
};

struct PathContour {
    std::vector<PathSeg> segs;
    double signed_area = 0.0;
    // Extent of the contour (the path box's points), and, for a hole,
    // whether that extent meets another hole's (the holes may overlap).
    double min_x = 0.0, max_x = 0.0, min_y = 0.0, max_y = 0.0;
    bool meets_hole = false;
};

// contours[0] is the outer boundary (counter-clockwise), the rest holes
// (clockwise).  Consecutive segments of a contour join exactly.
using ValidatedPath = std::vector<PathContour>;

using PathRow = std::array<double, 6>;

// Either the validated path or the text of the first violation.
using PathBuild = std::variant<ValidatedPath, std::string>;

PathBuild build_validated_path(std::span<const std::int8_t> kinds, std::span<const PathRow> rows);

double contour_signed_area(std::span<const PathSeg> segs);
bool segs_properly_intersect(const PathSeg& a, const PathSeg& b);
bool line_arc_intersect(const PathSeg& arc, double x0, double y0, double x1, double y1);

// A contour made directly from segments that already join; fills its signed
// area and extent.
PathContour make_contour(std::vector<PathSeg> segs);

bool path_contains_point(std::span<const PathContour> path, double px, double py);

// Area of pixel (ix, iy) inside the path placed at (x, y), clamped to [0, 1].
double path_pixel_area(std::span<const PathContour> path, std::int64_t ix, std::int64_t iy,
                       double x, double y);
// The same with the pixel indices already converted to doubles.
double path_pixel_area_at(std::span<const PathContour> path, double px, double py, double x,
                          double y);

// The Green's-theorem terms of the pixel [xl, xh] x [yl, yh]: one segment's
// pieces inside it (but for pieces lying along an edge line, which their
// edge stands for), and the pieces of one pixel edge, run counter-clockwise
// round the unit pixel on its left, that bound the part inside the path.
double seg_pixel_contribution(const PathSeg& seg, double xl, double xh, double yl, double yh);
double pixel_edge_contribution(std::span<const PathContour> path, bool horizontal, double xa,
                               double ya, double xb, double yb);

// The pixel box of the path placed at (x, y).
PixelBox path_bbox(std::span<const PathContour> path, double x, double y);

}  // namespace quorvantel::geometry
