// The pill and the pill annulus on the weights road (road.hpp): what they
// accept, their messages, constants, boxes and rasters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/shape_frames.hpp"
#include "pyapi/raster/pill.hpp"
#include "pyapi/support/parameters.hpp"
#include "pyapi/weights/shapes.hpp"

namespace quorvantel::pyapi::weights {

struct Pill {
    static constexpr std::size_t parameters = 4;
    static constexpr bool dimensions_first = false;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact ? Messages{"invalid pill weights shape",
                                           "invalid pill weights parameters"}
                                : Messages{"invalid pill center weights shape",
                                           "invalid pill center weights parameters"};
    }
    static bool accepted(double w, double a, double b, double theta) {
        return support::pill_accepted(w, a, b, theta);
    }
    struct Constants {
        double w, a, b;
        geometry::PillFrame frame;
    };
    static Constants constants(double w, double a, double b, double theta) {
        return {w, a, b, geometry::pill_frame(w, a, b, theta)};
    }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::pill_box(k.frame, x, y);
    }
    template <Mode M>
    static Raster values(const Constants& k, std::int64_t x_min, std::int64_t y_min,
                         std::uint64_t ny, std::uint64_t nx, double x, double y) {
        return by_mode<M>(raster::weights_pill_exact_values, raster::weights_pill_center_values)(
            x_min, y_min, ny, nx, x, y, k.w, k.a, k.b, k.frame.c, k.frame.s);
    }
};

struct PillAnnulus {
    static constexpr std::size_t parameters = 8;
    static constexpr bool dimensions_first = true;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact ? Messages{"invalid pill annulus weights shape",
                                           "invalid pill annulus weights parameters"}
                                : Messages{"invalid pill annulus center weights shape",
                                           "invalid pill annulus center weights parameters"};
    }
    static bool accepted(double w_in, double a_in, double b_in, double w_out, double a_out,
                         double b_out, double theta_in, double theta_out) {
        return support::pill_annulus_accepted(w_in, a_in, b_in, w_out, a_out, b_out, theta_in,
                                              theta_out);
    }
    struct Constants {
        double w_in, a_in, b_in, w_out, a_out, b_out;
        geometry::PillFrame in;
        geometry::PillFrame out;
    };
    static Constants constants(double w_in, double a_in, double b_in, double w_out, double a_out,
                               double b_out, double theta_in, double theta_out) {
        return {w_in, a_in, b_in, w_out, a_out, b_out,
                geometry::pill_frame(w_in, a_in, b_in, theta_in),
                geometry::pill_frame(w_out, a_out, b_out, theta_out)};
    }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::pill_box(k.out, x, y);
    }
    template <Mode M>
    static Raster values(const Constants& k, std::int64_t x_min, std::int64_t y_min,
                         std::uint64_t ny, std::uint64_t nx, double x, double y) {
        return by_mode<M>(raster::weights_pill_ann_exact_values,
                          raster::weights_pill_ann_center_values)(
            x_min, y_min, ny, nx, x, y, k.w_in, k.a_in, k.b_in, k.w_out, k.a_out, k.b_out, k.in.c,
            k.in.s, k.out.c, k.out.s);
    }
};

}  // namespace quorvantel::pyapi::weights
