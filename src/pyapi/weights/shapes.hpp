// The shapes of the weights functions: what each accepts, its messages, the
// constants made once per call, the pixel box of one aperture and the raster
// builder of each mode.  The road (road.hpp) is the same for all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/pixel_box.hpp"
#include "geometry/shape_frames.hpp"
#include "geometry/wedge.hpp"
#include "pyapi/raster/builders.hpp"
#include "pyapi/support/parameters.hpp"

namespace quorvantel::pyapi::weights {

using raster::Raster;

enum class Mode { Exact, Center };

// The two ValueError texts of a shape and mode: a bad centre or box size, and
// rejected parameters.
struct Messages {
    const char* shape;
    const char* parameters;
};

// The raster builder of mode M, of the exact and center builders of a shape,
// which take the same arguments.
template <Mode M, class Builder>
constexpr Builder by_mode(Builder exact, Builder center) {
    if constexpr (M == Mode::Exact) {
        return exact;
    } else {
        return center;
    }
}

// The box of the per-aperture step, and the raster over a given box.
#define QV_RASTER_ARGS                                                                        \
    std::int64_t x_min, std::int64_t y_min, std::uint64_t ny, std::uint64_t nx, double x, \
        double y

struct Circle {
    static constexpr std::size_t parameters = 1;
    static constexpr bool dimensions_first = false;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact ? Messages{"invalid circle weights shape",
                                           "invalid circle weights parameters"}
                                : Messages{"invalid circle center weights shape",
                                           "invalid circle center weights parameters"};
    }
    static bool accepted(double r) { return support::circle_accepted(r); }
    struct Constants {
        double r;
    };
    static Constants constants(double r) { return {r}; }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::pixel_box(x, y, k.r, k.r);
    }
    template <Mode M>
    static Raster values(const Constants& k, QV_RASTER_ARGS) {
        return by_mode<M>(raster::weights_circ_exact_values,
                          raster::weights_circ_center_values)(x_min, y_min, ny, nx, x, y, k.r);
    }
};

struct CircularAnnulus {
    static constexpr std::size_t parameters = 2;
    static constexpr bool dimensions_first = true;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact ? Messages{"invalid circular annulus weights shape",
                                           "invalid circular annulus weights parameters"}
                                : Messages{"invalid circular annulus center weights shape",
                                           "invalid circular annulus center weights parameters"};
    }
    static bool accepted(double r_in, double r_out) {
        return support::circular_annulus_accepted(r_in, r_out);
    }
    struct Constants {
        double r_in;
        double r_out;
    };
    static Constants constants(double r_in, double r_out) { return {r_in, r_out}; }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::pixel_box(x, y, k.r_out, k.r_out);
    }
    template <Mode M>
    static Raster values(const Constants& k, QV_RASTER_ARGS) {
        return by_mode<M>(raster::weights_circ_ann_exact_values,
                          raster::weights_circ_ann_center_values)(x_min, y_min, ny, nx, x, y,
                                                                  k.r_in, k.r_out);
    }
};

struct Rectangle {
    static constexpr std::size_t parameters = 3;
    static constexpr bool dimensions_first = false;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact ? Messages{"invalid rectangle weights shape",
                                           "invalid rectangle weights parameters"}
                                : Messages{"invalid rectangle center weights shape",
                                           "invalid rectangle center weights parameters"};
    }
    static bool accepted(double w, double h, double theta) {
        return support::turned_accepted(w, h, theta);
    }
    using Constants = geometry::RectFrame;
    static Constants constants(double w, double h, double theta) {
        return geometry::rect_frame(w, h, theta);
    }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::pixel_box(x, y, k.ext_x, k.ext_y);
    }
    template <Mode M>
    static Raster values(const Constants& k, QV_RASTER_ARGS) {
        return by_mode<M>(raster::weights_rect_exact_values,
                          raster::weights_rect_center_values)(x_min, y_min, ny, nx, x, y, k.hw,
                                                              k.hh, k.c, k.s);
    }
};

struct RectangularAnnulus {
    static constexpr std::size_t parameters = 6;
    static constexpr bool dimensions_first = true;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact
                   ? Messages{"invalid rectangular annulus weights shape",
                              "invalid rectangular annulus weights parameters"}
                   : Messages{"invalid rectangular annulus center weights shape",
                              "invalid rectangular annulus center weights parameters"};
    }
    static bool accepted(double w_in, double h_in, double w_out, double h_out, double theta_in,
                         double theta_out) {
        return support::turned_annulus_accepted(w_in, h_in, w_out, h_out, theta_in, theta_out);
    }
    struct Constants {
        geometry::RectFrame in;
        geometry::RectFrame out;
    };
    static Constants constants(double w_in, double h_in, double w_out, double h_out,
                               double theta_in, double theta_out) {
        return {geometry::rect_frame(w_in, h_in, theta_in),
                geometry::rect_frame(w_out, h_out, theta_out)};
    }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::pixel_box(x, y, k.out.ext_x, k.out.ext_y);
    }
    template <Mode M>
    static Raster values(const Constants& k, QV_RASTER_ARGS) {
        const auto& i = k.in;
        const auto& o = k.out;
        return by_mode<M>(raster::weights_rect_ann_exact_values,
                          raster::weights_rect_ann_center_values)(
            x_min, y_min, ny, nx, x, y, i.hw, i.hh, o.hw, o.hh, i.c, i.s, o.c, o.s);
    }
};

struct Ellipse {
    static constexpr std::size_t parameters = 3;
    static constexpr bool dimensions_first = false;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact ? Messages{"invalid ellipse weights shape",
                                           "invalid ellipse weights parameters"}
                                : Messages{"invalid ellipse center weights shape",
                                           "invalid ellipse center weights parameters"};
    }
    static bool accepted(double a, double b, double theta) {
        return support::turned_accepted(a, b, theta);
    }
    struct Constants {
        double a;
        double b;
        geometry::EllipFrame frame;
    };
    static Constants constants(double a, double b, double theta) {
        return {a, b, geometry::ellip_frame(a, b, theta)};
    }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::pixel_box(x, y, k.frame.ex, k.frame.ey);
    }
    template <Mode M>
    static Raster values(const Constants& k, QV_RASTER_ARGS) {
        const raster::PlacedEllipse e{x, y, k.a, k.b, k.frame.c, k.frame.s};
        return by_mode<M>(raster::weights_ellip_exact_values,
                          raster::weights_ellip_center_values)(e, x_min, y_min, ny, nx);
    }
};

struct EllipticalAnnulus {
    static constexpr std::size_t parameters = 6;
    static constexpr bool dimensions_first = true;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact
                   ? Messages{"invalid elliptical annulus weights shape",
                              "invalid elliptical annulus weights parameters"}
                   : Messages{"invalid elliptical annulus center weights shape",
                              "invalid elliptical annulus center weights parameters"};
    }
    static bool accepted(double a_in, double b_in, double a_out, double b_out, double theta_in,
                         double theta_out) {
        return support::turned_annulus_accepted(a_in, b_in, a_out, b_out, theta_in, theta_out);
    }
    struct Constants {
        double a_in, b_in, a_out, b_out;
        geometry::EllipFrame in;
        geometry::EllipFrame out;
    };
    static Constants constants(double a_in, double b_in, double a_out, double b_out,
                               double theta_in, double theta_out) {
        return {a_in, b_in, a_out, b_out, geometry::ellip_frame(a_in, b_in, theta_in),
                geometry::ellip_frame(a_out, b_out, theta_out)};
    }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::pixel_box(x, y, k.out.ex, k.out.ey);
    }
    template <Mode M>
    static Raster values(const Constants& k, QV_RASTER_ARGS) {
        const raster::PlacedEllipse outer{x, y, k.a_out, k.b_out, k.out.c, k.out.s};
        const raster::PlacedEllipse inner{x, y, k.a_in, k.b_in, k.in.c, k.in.s};
        return by_mode<M>(raster::weights_ellip_ann_exact_values,
                          raster::weights_ellip_ann_center_values)(outer, inner, x_min,
                                                                   y_min, ny, nx);
    }
};

struct Wedge {
    static constexpr std::size_t parameters = 6;
    static constexpr bool dimensions_first = true;
    static constexpr Messages messages(Mode m) {
        return m == Mode::Exact ? Messages{"invalid wedge weights shape",
                                           "invalid wedge weights parameters"}
                                : Messages{"invalid wedge center weights shape",
                                           "invalid wedge center weights parameters"};
    }
    static bool accepted(double r_in, double r_out, double theta_in, double dtheta_in,
                         double theta_out, double dtheta_out) {
        return support::wedge_accepted(r_in, r_out, theta_in, dtheta_in, theta_out, dtheta_out);
    }
    using Constants = geometry::WedgeFrame;
    static Constants constants(double r_in, double r_out, double theta_in, double dtheta_in,
                               double theta_out, double dtheta_out) {
        return geometry::wedge_frame(r_in, r_out, theta_in, dtheta_in, theta_out, dtheta_out);
    }
    static geometry::PixelBox box(const Constants& k, double x, double y) {
        return geometry::wedge_box(k, x, y);
    }
    template <Mode M>
    static Raster values(const Constants& k, QV_RASTER_ARGS) {
        return by_mode<M>(raster::weights_wedge_exact_values,
                          raster::weights_wedge_center_values)(x_min, y_min, ny, nx, x, y, k);
    }
};

#undef QV_RASTER_ARGS

}  // namespace quorvantel::pyapi::weights
