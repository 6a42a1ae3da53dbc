// The raster builders: one aperture's weights over the box of ny rows and nx
// columns from pixel (x_min, y_min), for each shape and mode.  Each is the
// raster frame applied to the shape's cell rule.  The callers have validated
// the parameters and the centre.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/shape_frames.hpp"
#include "geometry/wedge.hpp"
#include "pyapi/raster/cells.hpp"
#include "pyapi/raster/frame.hpp"
#include "pyapi/raster/wedge_cells.hpp"

namespace quorvantel::pyapi::raster {

using Raster = Outcome<std::vector<double>>;

inline Raster weights_circ_exact_values(std::int64_t x_min, std::int64_t y_min, std::uint64_t ny,
                                        std::uint64_t nx, double x, double y, double r) {
    return weights_values(RingExactCell(x, y, 0.0, r), x_min, y_min, ny, nx);
}

inline Raster weights_circ_center_values(std::int64_t x_min, std::int64_t y_min, std::uint64_t ny,
                                         std::uint64_t nx, double x, double y, double r) {
    return weights_values(CircCenterCell(x, y, r), x_min, y_min, ny, nx);
}

inline Raster weights_circ_ann_exact_values(std::int64_t x_min, std::int64_t y_min,
                                            std::uint64_t ny, std::uint64_t nx, double x, double y,
                                            double r_in, double r_out) {
    return weights_values(RingExactCell(x, y, r_in, r_out), x_min, y_min, ny, nx);
}

inline Raster weights_circ_ann_center_values(std::int64_t x_min, std::int64_t y_min,
                                             std::uint64_t ny, std::uint64_t nx, double x,
                                             double y, double r_in, double r_out) {
    const CenterDifference cell(CircCenterCell(x, y, r_out), CircCenterCell(x, y, r_in));
    return weights_values(cell, x_min, y_min, ny, nx);
}

inline Raster weights_rect_exact_values(std::int64_t x_min, std::int64_t y_min, std::uint64_t ny,
                                        std::uint64_t nx, double x, double y, double hw, double hh,
                                        double c, double s) {
    return weights_values(RectExactCell{{x, y, c, s}, hw, hh}, x_min, y_min, ny, nx);
}

inline Raster weights_rect_center_values(std::int64_t x_min, std::int64_t y_min, std::uint64_t ny,
                                         std::uint64_t nx, double x, double y, double hw,
                                         double hh, double c, double s) {
    return weights_values(RectCenterCell{{x, y, c, s}, {}, hw, hh}, x_min, y_min, ny, nx);
}

inline Raster weights_rect_ann_exact_values(std::int64_t x_min, std::int64_t y_min,
                                            std::uint64_t ny, std::uint64_t nx, double x, double y,
                                            double hw_in, double hh_in, double hw_out,
                                            double hh_out, double c_in, double s_in, double c_out,
                                            double s_out) {
    const ExactDifference<RectExactCell, RectExactCell> cell{
        {{x, y, c_out, s_out}, hw_out, hh_out}, {{x, y, c_in, s_in}, hw_in, hh_in}};
    return weights_values(cell, x_min, y_min, ny, nx);
}

inline Raster weights_rect_ann_center_values(std::int64_t x_min, std::int64_t y_min,
                                             std::uint64_t ny, std::uint64_t nx, double x,
                                             double y, double hw_in, double hh_in, double hw_out,
                                             double hh_out, double c_in, double s_in,
                                             double c_out, double s_out) {
    const CenterDifference cell(RectCenterCell{{x, y, c_out, s_out}, {}, hw_out, hh_out},
                                RectCenterCell{{x, y, c_in, s_in}, {}, hw_in, hh_in});
    return weights_values(cell, x_min, y_min, ny, nx);
}

inline Raster weights_ellip_exact_values(const PlacedEllipse& e, std::int64_t x_min,
                                         std::int64_t y_min, std::uint64_t ny, std::uint64_t nx) {
    return weights_values(EllipExactCell(e), x_min, y_min, ny, nx);
}

inline Raster weights_ellip_center_values(const PlacedEllipse& e, std::int64_t x_min,
                                          std::int64_t y_min, std::uint64_t ny, std::uint64_t nx) {
    return weights_values(EllipCenterCell(e), x_min, y_min, ny, nx);
}

inline Raster weights_ellip_ann_exact_values(const PlacedEllipse& outer,
                                             const PlacedEllipse& inner, std::int64_t x_min,
                                             std::int64_t y_min, std::uint64_t ny,
                                             std::uint64_t nx) {
    const ExactDifference<EllipExactCell, EllipExactCell> cell{EllipExactCell(outer),
                                                               EllipExactCell(inner)};
    return weights_values(cell, x_min, y_min, ny, nx);
}

inline Raster weights_ellip_ann_center_values(const PlacedEllipse& outer,
                                              const PlacedEllipse& inner, std::int64_t x_min,
                                              std::int64_t y_min, std::uint64_t ny,
                                              std::uint64_t nx) {
    const CenterDifference cell{EllipCenterCell(outer), EllipCenterCell(inner)};
    return weights_values(cell, x_min, y_min, ny, nx);
}

inline Raster weights_wedge_exact_values(std::int64_t x_min, std::int64_t y_min,
                                         std::uint64_t ny, std::uint64_t nx, double x, double y,
                                         const geometry::WedgeFrame& wedge) {
    return weights_values(WedgeExactCell(x, y, wedge), x_min, y_min, ny, nx);
}

inline Raster weights_wedge_center_values(std::int64_t x_min, std::int64_t y_min,
                                          std::uint64_t ny, std::uint64_t nx, double x, double y,
                                          const geometry::WedgeFrame& wedge) {
    return weights_values(WedgeCenterCell(x, y, wedge), x_min, y_min, ny, nx);
}

}  // namespace quorvantel::pyapi::raster
