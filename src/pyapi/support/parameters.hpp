// The accepted shape parameters, the same in every family.  A size is
// positive when it is finite and above zero.
#pragma once

#include <cmath>

namespace quorvantel::pyapi::support {

inline bool positive(double v) { return std::isfinite(v) && v > 0.0; }

inline bool circle_accepted(double r) { return positive(r); }

// r_in may be zero of either sign.
inline bool circular_annulus_accepted(double r_in, double r_out) {
    return std::isfinite(r_in) && r_in >= 0.0 && positive(r_out) && r_in < r_out;
}

// Rectangles (w, h) and ellipses (a, b): two positive sizes and a finite angle.
inline bool turned_accepted(double p, double q, double theta) {
    return positive(p) && positive(q) && std::isfinite(theta);
}

// Rectangular and elliptical annuli: the inner sizes within the outer ones,
// not both equal; the angles are not compared.
inline bool turned_annulus_accepted(double p_in, double q_in, double p_out, double q_out,
                                    double theta_in, double theta_out) {
    return positive(p_in) && positive(q_in) && positive(p_out) && positive(q_out) &&
           p_in <= p_out && q_in <= q_out && !(p_in == p_out && q_in == q_out) &&
           std::isfinite(theta_in) && std::isfinite(theta_out);
}

inline bool wedge_accepted(double r_in, double r_out, double theta_in, double dtheta_in,
                           double theta_out, double dtheta_out) {
    constexpr double TWO_PI = 6.283185307179586;
    return positive(r_in) && positive(r_out) && r_in < r_out && std::isfinite(theta_in) &&
           std::isfinite(theta_out) && positive(dtheta_in) && dtheta_in < TWO_PI &&
           positive(dtheta_out) && dtheta_out < TWO_PI;
}

}  // namespace quorvantel::pyapi::support

namespace quorvantel::pyapi::support {

inline bool pill_accepted(double w, double a, double b, double theta) {
    return positive(w) && positive(a) && positive(b) && std::isfinite(theta);
}

// Pill annuli: every inner size strictly below its outer one.
inline bool pill_annulus_accepted(double w_in, double a_in, double b_in, double w_out,
                                  double a_out, double b_out, double theta_in, double theta_out) {
    return pill_accepted(w_in, a_in, b_in, theta_in) && pill_accepted(w_out, a_out, b_out, theta_out) &&
           w_in < w_out && a_in < a_out && b_in < b_out;
}

}  // namespace quorvantel::pyapi::support
