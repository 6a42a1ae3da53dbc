// The aperture-sum functions.  Every apsum_* function is an instance of one
// template, picked by shape, kind (what a pixel weighs) and image element
// type; the common road (conversion, validation order and messages, output
// buffers, driver, results) is written once here.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "pyapi/support/arrays.hpp"
#include "pyapi/support/error.hpp"
#include "pyapi/support/parameters.hpp"
#include "pyapi/support/parallel.hpp"
#include "pyapi/support/results.hpp"
#include "pyapi/summation/circle.hpp"
#include "pyapi/summation/ellipse.hpp"
#include "pyapi/summation/rect.hpp"
#include "pyapi/summation/slice.hpp"

namespace quorvantel::pyapi::apsum {

using support::Check;
using support::Error;
using support::ImageArg;
using support::ImageView;
using support::Outcome;
using support::VectorArg;

// ---------------------------------------------------------------------------
// Shapes: the accepted parameters and their messages.

struct Circle {
    static constexpr std::size_t parameters = 1;
    static constexpr const char* size_message = "array shape is too large";
    static Check validate(std::uint64_t ny, std::uint64_t nx, double r) {
        if (ny == 0 || nx == 0 || !support::circle_accepted(r)) {
            return Error::value("invalid circle parameters");
        }
        return std::nullopt;
    }
};

struct CircularAnnulus {
    static constexpr std::size_t parameters = 2;
    static constexpr const char* size_message = "array shape is too large";
    static Check validate(std::uint64_t ny, std::uint64_t nx, double r_in, double r_out) {
        if (ny == 0 || nx == 0) return Error::value("shape dimensions must be positive");
        if (!support::circular_annulus_accepted(r_in, r_out)) {
            return Error::value("invalid circular annulus parameters");
        }
        return std::nullopt;
    }
};

// Two positive sizes and a finite angle: rectangles and ellipses.
inline Check sized_and_turned(std::uint64_t ny, std::uint64_t nx, double p, double q,
                              double theta, const char* message) {
    if (ny == 0 || nx == 0 || !support::turned_accepted(p, q, theta)) {
        return Error::value(message);
    }
    return std::nullopt;
}

struct Rectangle {
    static constexpr std::size_t parameters = 3;
    static constexpr const char* size_message = "data shape is too large";
    static Check validate(std::uint64_t ny, std::uint64_t nx, double w, double h, double theta) {
        return sized_and_turned(ny, nx, w, h, theta, "invalid rectangle parameters");
    }
};

struct Ellipse {
    static constexpr std::size_t parameters = 3;
    static constexpr const char* size_message = "array shape is too large";
    static Check validate(std::uint64_t ny, std::uint64_t nx, double a, double b, double theta) {
        return sized_and_turned(ny, nx, a, b, theta, "invalid ellipse parameters");
    }
};

// ---------------------------------------------------------------------------
// Kinds: how one aperture is computed.  `captures` builds the per-call
// constants from the image and the shape's parameters; `aperture` adds up
// sums and areas (or counts); `sum_aperture` adds up the sums alone.

template <auto MakeCaptures, auto Aperture, auto SumAperture = Aperture>
struct Kind {
    template <class T, class... P>
    static auto captures(const ImageView<T>& v, P... params) {
        return MakeCaptures(v.values, v.ny, v.nx, params...);
    }
    static constexpr auto aperture = Aperture;
    static constexpr auto sum_aperture = SumAperture;
};

template <class T>
using CircExact = Kind<summation::circ_captures<T>, summation::ring_exact_aperture<T, true>,
                       summation::ring_exact_aperture<T, false>>;
template <class T>
using CircCenter = Kind<summation::circ_center_captures<T>, summation::circ_center_aperture<T>>;
template <class T>
using CircAnnExact = Kind<summation::circ_ann_captures<T>, summation::ring_exact_aperture<T, true>,
                          summation::ring_exact_aperture<T, false>>;
template <class T>
using RectExact = Kind<summation::rect_captures<T>, summation::rect_exact_aperture<T>>;
template <class T>
using RectCenter = Kind<summation::rect_center_captures<T>, summation::rect_center_aperture<T>>;
template <class T>
using EllipExact = Kind<summation::ellip_captures<T>, summation::ellip_exact_aperture<T>>;
template <class T>
using EllipCenter = Kind<summation::ellip_center_captures<T>, summation::ellip_center_aperture<T>>;

// ---------------------------------------------------------------------------
// The entries.

template <class T>
struct Prepared {
    ImageView<T> image;
    std::span<const double> xs;
    std::span<const double> ys;
};

// View, x, y, lengths, shape and parameters, size: the first failure wins.
template <class Shape, class T, class... P>
Outcome<Prepared<T>> prepare_many(ImageArg<T> data, VectorArg xs, VectorArg ys, P... params) {
    auto image = support::data_slice_typed<T>(data);
    if (!image.ok()) return image.error();
    auto centres = support::centre_slices(xs, ys);
    if (!centres.ok()) return centres.error();
    const ImageView<T> view = image.value();
    if (auto error = Shape::validate(view.ny, view.nx, params...)) return *error;
    std::uint64_t count = 0;
    if (__builtin_mul_overflow(view.ny, view.nx, &count)) return Error::value(Shape::size_message);
    return Prepared<T>{view, centres.value().xs, centres.value().ys};
}

template <class Shape, class T, class... P>
Outcome<ImageView<T>> prepare_one(ImageArg<T> data, P... params) {
    auto image = support::data_slice_typed<T>(data);
    if (!image.ok()) return image.error();
    if (auto error = Shape::validate(image.value().ny, image.value().nx, params...)) return *error;
    return image.value();
}

template <std::size_t> using Param = double;

template <class Shape, template <class> class Kind, class T,
          class Index = std::make_index_sequence<Shape::parameters>>
struct Apsum;

template <class Shape, template <class> class Kind, class T, std::size_t... I>
struct Apsum<Shape, Kind, T, std::index_sequence<I...>> {
    // Many apertures: (sums, areas or counts).
    static Outcome<support::SumsAndAreas> many(ImageArg<T> data, VectorArg xs, VectorArg ys,
                                               Param<I>... params) {
        auto prepared = prepare_many<Shape>(data, xs, ys, params...);
        if (!prepared.ok()) return prepared.error();
        const Prepared<T>& in = prepared.value();
        support::SumsAndAreas out{std::vector<double>(in.xs.size(), 0.0),
                                  std::vector<double>(in.xs.size(), 0.0)};
        const auto captures = Kind<T>::captures(in.image, params...);
        support::run_parallel(summation::sum_slice<Kind<T>::aperture, decltype(captures)>, captures,
                              in.xs, in.ys, std::span<double>(out.sums),
                              std::span<double>(out.areas));
        return out;
    }

    // Many apertures: sums only.
    static Outcome<std::vector<double>> many_sum(ImageArg<T> data, VectorArg xs, VectorArg ys,
                                                 Param<I>... params) {
        auto prepared = prepare_many<Shape>(data, xs, ys, params...);
        if (!prepared.ok()) return prepared.error();
        const Prepared<T>& in = prepared.value();
        std::vector<double> sums(in.xs.size(), 0.0);
        const auto captures = Kind<T>::captures(in.image, params...);
        support::run_parallel_sum_only(
            summation::sum_only_slice<Kind<T>::sum_aperture, decltype(captures)>, captures, in.xs,
            in.ys, std::span<double>(sums));
        return sums;
    }

    // One aperture: (sum, area).
    static Outcome<std::pair<double, double>> one(ImageArg<T> data, double x, double y,
                                                  Param<I>... params) {
        auto image = prepare_one<Shape>(data, params...);
        if (!image.ok()) return image.error();
        const auto captures = Kind<T>::captures(image.value(), params...);
        return summation::sum_one<Kind<T>::aperture>(captures, x, y);
    }

    // One aperture: the sum alone.
    static Outcome<double> one_sum(ImageArg<T> data, double x, double y, Param<I>... params) {
        auto image = prepare_one<Shape>(data, params...);
        if (!image.ok()) return image.error();
        const auto captures = Kind<T>::captures(image.value(), params...);
        return summation::sum_one<Kind<T>::sum_aperture>(captures, x, y).first;
    }
};

}  // namespace quorvantel::pyapi::apsum
