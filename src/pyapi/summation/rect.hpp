// Rotated-rectangle sums.  Pixels are judged in the rectangle's own frame:
// u along the width (angle theta from the x axis), v along the height.  A
// pixel whose centre lies at least half a projected pixel inside both pairs
// of edges weighs 1, one that far outside either pair is skipped, and the
// few in between are clipped exactly against the four edges.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fault.hpp"
#include "geometry/geometry.hpp"
#include "geometry/pixel_box.hpp"
#include "geometry/shape_frames.hpp"
#include "pyapi/summation/slice.hpp"

namespace quorvantel::pyapi::summation {

template <class T>
struct RectCaptures {
    double ext_x;  // half-extent in x
    double ext_y;  // half-extent in y
    std::uint64_t nx;
    std::uint64_t ny;
    double c;  // cos theta
    double s;  // sin theta
    double hw;
    double pix_half;  // half a unit pixel projected on u (and on v)
    double hh;
    const T* values;
    double w;
    double h;
};

template <class T>
struct RectCenterCaptures {
    double ext_x;
    double ext_y;
    std::uint64_t nx;
    std::uint64_t ny;
    double c;
    double s;
    double hw;
    double hh;
    const T* values;
};


template <class T>
RectCaptures<T> rect_captures(const T* values, std::uint64_t ny, std::uint64_t nx, double w,
                              double h, double theta) {
    const geometry::RectFrame f = geometry::rect_frame(w, h, theta);
    const double pix_half = (std::fabs(f.c) + std::fabs(f.s)) * 0.5;
    return {f.ext_x, f.ext_y, nx, ny, f.c, f.s, f.hw, pix_half, f.hh, values, w, h};
}

template <class T>
RectCenterCaptures<T> rect_center_captures(const T* values, std::uint64_t ny, std::uint64_t nx,
                                           double w, double h, double theta) {
    const geometry::RectFrame f = geometry::rect_frame(w, h, theta);
    return {f.ext_x, f.ext_y, nx, ny, f.c, f.s, f.hw, f.hh, values};
}

template <class T>
void rect_exact_aperture(const RectCaptures<T>& c, double x, double y, double& sum, double& area) {
    const geometry::PixelBox box = geometry::pixel_box(x, y, c.ext_x, c.ext_y);
    const geometry::PixelRange range = geometry::clip_to_image(box, c.nx, c.ny);
    if (!range.empty()) {
        const double cs = c.c;
        const double sn = c.s;
        const double in_u = c.hw - c.pix_half;
        const double in_v = c.hh - c.pix_half;
        const double out_u = c.hw + c.pix_half;
        const double out_v = c.hh + c.pix_half;
        for_each_row(c.values, c.nx, range, [&](std::int64_t j, const T* row) {
            const TurnedRow turned = turned_row(static_cast<double>(j), y, cs, sn);
            for (std::int64_t i = range.i0; i < range.i1; ++i) {
                const double fi = static_cast<double>(i);
                const double dx = fi - x;
                const double au = std::fabs(cs * dx + turned.s_dy);
                const double av = std::fabs(turned.c_dy - sn * dx);
                double weight = 1.0;
                if (!(au <= in_u && av <= in_v)) {
                    if (au >= out_u || av >= out_v) continue;
                    geometry::Point buf[geometry::RECT_CLIP_CAPACITY];
                    turned_corners(turned, fi, x, cs, sn, buf);
                    weight = geometry::clipped_pixel_weight(buf, c.hw, c.hh);
                    if (!(weight > 0.0)) continue;
                }
                sum = sum + weight * widen(row[i]);
                area = area + weight;
            }
        });
    }
    if (geometry::box_inside_image(box, c.nx, c.ny)) area = c.w * c.h;
}

template <class T>
void rect_center_aperture(const RectCenterCaptures<T>& c, double x, double y, double& sum,
                          double& count) {
    const geometry::PixelRange range =
        geometry::clip_to_image(geometry::pixel_box(x, y, c.ext_x, c.ext_y), c.nx, c.ny);
    sum_centres(
        c.values, c.nx, range, x, [&](double fj) { return turned_row(fj, y, c.c, c.s); },
        [&](const TurnedRow& t, double dx) {
            return std::fabs(c.c * dx + t.s_dy) < c.hw && std::fabs(t.c_dy - c.s * dx) < c.hh;
        },
        sum, count);
}

// The kernels, one instance per element type.
template <class T>
inline constexpr auto sum_rect_slice = sum_slice<rect_exact_aperture<T>, RectCaptures<T>>;
template <class T>
inline constexpr auto sum_rect_center_slice =
    sum_slice<rect_center_aperture<T>, RectCenterCaptures<T>>;

}  // namespace quorvantel::pyapi::summation
