// The extension module quorvantel._native: its definition, its start-up and
// the table of its functions, in registration order.
#include <array>
#include <cstddef>
#include <new>
#include <span>

#include "fault.hpp"
#include "pyapi/apsum/apsum.hpp"
#include "pyapi/bbox/bbox.hpp"
#include "pyapi/mask/mask.hpp"
#include "pyapi/npix/npix.hpp"
#include "pyapi/parallel_api/parallel_api.hpp"
#include "pyapi/path/functions.hpp"
#include "pyapi/support/call.hpp"
#include "pyapi/support/module_functions.hpp"
#include "pyapi/support/python.hpp"
#include "pyapi/support/runtime.hpp"
#include "pyapi/weights/register.hpp"
#include "pyapi/weights/pill.hpp"
#include "pyapi/weights/road.hpp"

namespace quorvantel {
namespace {

using pyapi::apsum::Apsum;
using pyapi::npix::Npix;
using pyapi::support::function_row;
using pyapi::support::FunctionRow;
namespace ap = pyapi::apsum;
namespace bb = pyapi::bbox;
namespace np = pyapi::npix;
namespace wt = pyapi::weights;
using PM = pyapi::path::PathMode;

#define QV_ROW(name, params, entry) function_row<name, params, entry>()
#define QV_WEIGHTS(name, params, shape, mode, form) \
    QV_ROW(name, params, (&pyapi::weights::Weights<wt::shape, wt::Mode::mode>::form))

// The float64 form of an aperture-sum function and its image-type forms.
#define QV_APSUM(name, params, shape, kind, form)                          \
    QV_ROW(name, params, (&Apsum<ap::shape, ap::kind, double>::form)),       \
        QV_ROW(name "_f32", params, (&Apsum<ap::shape, ap::kind, float>::form)), \
        QV_ROW(name "_i32", params, (&Apsum<ap::shape, ap::kind, std::int32_t>::form)), \
        QV_ROW(name "_i16", params, (&Apsum<ap::shape, ap::kind, std::int16_t>::form))

const FunctionRow FUNCTION_TABLE[] = {
    QV_APSUM("apsum_circ_exact", "data, xs, ys, r", Circle, CircExact, many),
    QV_APSUM("apsum_circ_exact_sum", "data, xs, ys, r", Circle, CircExact, many_sum),
    QV_ROW("apsum_circ_exact_one", "data, x, y, r", (&Apsum<ap::Circle, ap::CircExact, double>::one)),
    QV_APSUM("apsum_circ_exact_sum_one", "data, x, y, r", Circle, CircExact, one_sum),
    QV_APSUM("apsum_circ_ann_exact", "data, xs, ys, r_in, r_out", CircularAnnulus, CircAnnExact, many),
    QV_APSUM("apsum_circ_ann_exact_sum", "data, xs, ys, r_in, r_out", CircularAnnulus, CircAnnExact,
             many_sum),
    QV_APSUM("apsum_circ_ann_exact_one", "data, x, y, r_in, r_out", CircularAnnulus, CircAnnExact, one),
    QV_APSUM("apsum_circ_ann_exact_sum_one", "data, x, y, r_in, r_out", CircularAnnulus, CircAnnExact,
             one_sum),
    QV_ROW("apsum_circ_exact_one_f32", "data, x, y, r", (&Apsum<ap::Circle, ap::CircExact, float>::one)),
    QV_ROW("apsum_circ_exact_one_i32", "data, x, y, r",
           (&Apsum<ap::Circle, ap::CircExact, std::int32_t>::one)),
    QV_ROW("apsum_circ_exact_one_i16", "data, x, y, r",
           (&Apsum<ap::Circle, ap::CircExact, std::int16_t>::one)),
    QV_APSUM("apsum_circ_center", "data, xs, ys, r", Circle, CircCenter, many),
    QV_APSUM("apsum_ellip_exact", "data, xs, ys, a, b, theta", Ellipse, EllipExact, many),
    QV_APSUM("apsum_ellip_exact_one", "data, x, y, a, b, theta", Ellipse, EllipExact, one),
    QV_APSUM("apsum_ellip_center", "data, xs, ys, a, b, theta", Ellipse, EllipCenter, many),
    QV_APSUM("apsum_rect_exact", "data, xs, ys, w, h, theta", Rectangle, RectExact, many),
    QV_APSUM("apsum_rect_exact_one", "data, x, y, w, h, theta", Rectangle, RectExact, one),
    QV_APSUM("apsum_rect_center", "data, xs, ys, w, h, theta", Rectangle, RectCenter, many),
    QV_ROW("npix_circ_exact", "xs, ys, r, ny, nx", (&Npix<np::Circle, np::Mode::Exact>::many)),
    QV_ROW("npix_circ_center", "xs, ys, r, ny, nx", (&Npix<np::Circle, np::Mode::Center>::many)),
    QV_ROW("npix_ellip_exact", "xs, ys, a, b, theta, ny, nx",
           (&Npix<np::Ellipse, np::Mode::Exact>::many)),
    QV_ROW("npix_ellip_center", "xs, ys, a, b, theta, ny, nx",
           (&Npix<np::Ellipse, np::Mode::Center>::many)),
    QV_ROW("npix_rect_exact", "xs, ys, w, h, theta, ny, nx",
           (&Npix<np::Rectangle, np::Mode::Exact>::many)),
    QV_ROW("npix_rect_center", "xs, ys, w, h, theta, ny, nx",
           (&Npix<np::Rectangle, np::Mode::Center>::many)),
    QV_ROW("bboxes_circ", "xs, ys, r", &bb::Circle::many),
    QV_ROW("bboxes_ellip", "xs, ys, a, b, theta", &bb::Ellipse::many),
    QV_ROW("bboxes_rect", "xs, ys, w, h, theta", &bb::Rectangle::many),
    QV_ROW("bboxes_wedge", "xs, ys, r_in, r_out, theta_in, dtheta_in, theta_out, dtheta_out",
           &bb::Wedge::many),
    QV_ROW("bboxes_pill", "xs, ys, w, a, b, theta", &bb::Pills::many),
    QV_ROW("bboxes_pill_ann", "xs, ys, w_in, a_in, b_in, w_out, a_out, b_out, theta_in, theta_out",
           &bb::PillAnnuli::many),
    QV_ROW("_farthest_mask_pixel", "mask, center, return_pos", &pyapi::mask::_farthest_mask_pixel),
    QV_ROW("_selected_pixel_distances", "selected, x0, y0, x_min, y_min",
           &pyapi::mask::_selected_pixel_distances),
    QV_ROW("get_parallel_threshold", "", &pyapi::parallel_api::get_parallel_threshold),
    QV_ROW("set_parallel_threshold", "threshold", &pyapi::parallel_api::set_parallel_threshold),
    QV_ROW("weights_path_exact", "xs, ys, kinds, data", (&pyapi::path::weights_path<PM::Exact>)),
    QV_ROW("weights_path_center", "xs, ys, kinds, data", (&pyapi::path::weights_path<PM::Center>)),
    QV_ROW("weights_path_exact_one", "x, y, kinds, data, x_min, y_min, ny, nx",
           (&pyapi::path::weights_path_one<PM::Exact>)),
    QV_ROW("weights_path_center_one", "x, y, kinds, data, x_min, y_min, ny, nx",
           (&pyapi::path::weights_path_one<PM::Center>)),
    QV_ROW("bboxes_path", "xs, ys, kinds, data", &pyapi::path::bboxes_path),
    // Added by pyapi::weights::register.
    QV_WEIGHTS("weights_circ_exact_one", "x, y, r, x_min, y_min, ny, nx", Circle, Exact, one),
    QV_WEIGHTS("weights_circ_ann_exact_one", "x, y, r_in, r_out, x_min, y_min, ny, nx",
               CircularAnnulus, Exact, one),
    QV_WEIGHTS("weights_circ_exact", "xs, ys, r", Circle, Exact, many),
    QV_WEIGHTS("weights_circ_ann_exact", "xs, ys, r_in, r_out", CircularAnnulus, Exact, many),
    QV_WEIGHTS("weights_ellip_exact", "xs, ys, a, b, theta", Ellipse, Exact, many),
    QV_WEIGHTS("weights_ellip_ann_exact", "xs, ys, a_in, b_in, a_out, b_out, theta_in, theta_out",
               EllipticalAnnulus, Exact, many),
    QV_WEIGHTS("weights_rect_exact", "xs, ys, w, h, theta", Rectangle, Exact, many),
    QV_WEIGHTS("weights_rect_ann_exact", "xs, ys, w_in, h_in, w_out, h_out, theta_in, theta_out",
               RectangularAnnulus, Exact, many),
    QV_WEIGHTS("weights_wedge_exact",
               "xs, ys, r_in, r_out, theta_in, dtheta_in, theta_out, dtheta_out",
               Wedge, Exact, many),
    QV_WEIGHTS("weights_pill_exact", "xs, ys, w, a, b, theta", Pill, Exact, many),
    QV_WEIGHTS("weights_pill_ann_exact",
               "xs, ys, w_in, a_in, b_in, w_out, a_out, b_out, theta_in, theta_out",
               PillAnnulus, Exact, many),
    QV_WEIGHTS("weights_circ_center", "xs, ys, r", Circle, Center, many),
    QV_WEIGHTS("weights_circ_ann_center", "xs, ys, r_in, r_out", CircularAnnulus, Center, many),
    QV_WEIGHTS("weights_ellip_center", "xs, ys, a, b, theta", Ellipse, Center, many),
    QV_WEIGHTS("weights_ellip_ann_center", "xs, ys, a_in, b_in, a_out, b_out, theta_in, theta_out",
               EllipticalAnnulus, Center, many),
    QV_WEIGHTS("weights_rect_center", "xs, ys, w, h, theta", Rectangle, Center, many),
    QV_WEIGHTS("weights_rect_ann_center", "xs, ys, w_in, h_in, w_out, h_out, theta_in, theta_out",
               RectangularAnnulus, Center, many),
    QV_WEIGHTS("weights_wedge_center",
               "xs, ys, r_in, r_out, theta_in, dtheta_in, theta_out, dtheta_out",
               Wedge, Center, many),
    QV_WEIGHTS("weights_pill_center", "xs, ys, w, a, b, theta", Pill, Center, many),
    QV_WEIGHTS("weights_pill_ann_center",
               "xs, ys, w_in, a_in, b_in, w_out, a_out, b_out, theta_in, theta_out",
               PillAnnulus, Center, many),
    QV_WEIGHTS("weights_ellip_exact_one", "x, y, a, b, theta, x_min, y_min, ny, nx",
               Ellipse, Exact, one),
    QV_WEIGHTS("weights_ellip_ann_exact_one",
               "x, y, a_in, b_in, a_out, b_out, theta_in, theta_out, x_min, y_min, ny, nx",
               EllipticalAnnulus, Exact, one),
    QV_WEIGHTS("weights_rect_exact_one", "x, y, w, h, theta, x_min, y_min, ny, nx",
               Rectangle, Exact, one),
    QV_WEIGHTS("weights_rect_ann_exact_one",
               "x, y, w_in, h_in, w_out, h_out, theta_in, theta_out, x_min, y_min, ny, nx",
               RectangularAnnulus, Exact, one),
    QV_WEIGHTS("weights_wedge_exact_one",
               "x, y, r_in, r_out, theta_in, dtheta_in, theta_out, dtheta_out, x_min, y_min, ny, nx",
               Wedge, Exact, one),
    QV_WEIGHTS("weights_pill_exact_one",
               "x, y, w, a, b, theta, x_min, y_min, ny, nx", Pill, Exact, one),
    QV_WEIGHTS("weights_pill_ann_exact_one",
               "x, y, w_in, a_in, b_in, w_out, a_out, b_out, theta_in, theta_out, x_min, y_min, ny, nx",
               PillAnnulus, Exact, one),
    QV_WEIGHTS("weights_circ_center_one", "x, y, r, x_min, y_min, ny, nx", Circle, Center, one),
    QV_WEIGHTS("weights_circ_ann_center_one", "x, y, r_in, r_out, x_min, y_min, ny, nx",
               CircularAnnulus, Center, one),
    QV_WEIGHTS("weights_ellip_center_one", "x, y, a, b, theta, x_min, y_min, ny, nx",
               Ellipse, Center, one),
    QV_WEIGHTS("weights_ellip_ann_center_one",
               "x, y, a_in, b_in, a_out, b_out, theta_in, theta_out, x_min, y_min, ny, nx",
               EllipticalAnnulus, Center, one),
    QV_WEIGHTS("weights_rect_center_one", "x, y, w, h, theta, x_min, y_min, ny, nx",
               Rectangle, Center, one),
    QV_WEIGHTS("weights_rect_ann_center_one",
               "x, y, w_in, h_in, w_out, h_out, theta_in, theta_out, x_min, y_min, ny, nx",
               RectangularAnnulus, Center, one),
    QV_WEIGHTS("weights_wedge_center_one",
               "x, y, r_in, r_out, theta_in, dtheta_in, theta_out, dtheta_out, x_min, y_min, ny, nx",
               Wedge, Center, one),
    QV_WEIGHTS("weights_pill_center_one",
               "x, y, w, a, b, theta, x_min, y_min, ny, nx", Pill, Center, one),
    QV_WEIGHTS("weights_pill_ann_center_one",
               "x, y, w_in, a_in, b_in, w_out, a_out, b_out, theta_in, theta_out, x_min, y_min, ny, nx",
               PillAnnulus, Center, one),
};

#undef QV_APSUM
#undef QV_WEIGHTS
#undef QV_ROW

constexpr std::size_t FUNCTION_COUNT = std::size(FUNCTION_TABLE);
constexpr std::size_t MODULE_EXEC_ROWS = 81;  // the rest are the weights functions
static_assert(FUNCTION_COUNT == 117, "the module has 117 functions");

// The method records: static, made from the table when the library is loaded
// (before any thread can call into it, so no fork() can find them half made),
// shared by every module object and never changed afterwards.
std::array<PyMethodDef, FUNCTION_COUNT> make_method_records() {
    std::array<PyMethodDef, FUNCTION_COUNT> records{};
    for (std::size_t k = 0; k < FUNCTION_COUNT; ++k) {
        const FunctionRow& row = FUNCTION_TABLE[k];
        records[k] = PyMethodDef{row.name, row.entry, row.flags, row.doc};
    }
    return records;
}

std::array<PyMethodDef, FUNCTION_COUNT> METHOD_RECORDS = make_method_records();

int module_exec(PyObject* module) {
    try {
        if (!PyModule_Check(module)) {
            PyObject* type_name = PyType_GetQualName(Py_TYPE(module));
            if (type_name == nullptr) return -1;
            PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of 'module'", type_name);
            Py_DECREF(type_name);
            return -1;
        }
        PyMethodDef* records = METHOD_RECORDS.data();
        for (std::size_t k = 0; k < MODULE_EXEC_ROWS; ++k) {
            if (!pyapi::support::add_function(module, &records[k])) return -1;
        }
        const std::span<PyMethodDef> weights(records + MODULE_EXEC_ROWS,
                                             FUNCTION_COUNT - MODULE_EXEC_ROWS);
        return pyapi::weights::register_functions(module, weights) ? 0 : -1;
    } catch (const std::bad_alloc&) {
        PyErr_SetString(PyExc_MemoryError, "out of memory");
    } catch (const std::exception& fault) {
        pyapi::support::set_fault(fault.what());
    } catch (...) {
        pyapi::support::set_fault("internal fault while starting quorvantel._native");
    }
    return -1;
}

PyModuleDef_Slot MODULE_SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&module_exec)},
#if PY_VERSION_HEX >= 0x030D0000
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT,
    "_native",
    "",
    0,
    nullptr,
    MODULE_SLOTS,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace quorvantel

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__native() {
    return PyModuleDef_Init(&quorvantel::MODULE_DEF);
}
