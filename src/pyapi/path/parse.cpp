#include "pyapi/path/parse.hpp"

#include <cstring>
#include <string>
#include <utility>
#include <variant>

namespace quorvantel::pyapi::path {

using support::Error;
using support::Outcome;

Outcome<ParsedPath> parse_path_inputs(KindsArg kinds, RowsArg data) {
    PyArrayObject* k = kinds.array;
    const auto n = static_cast<std::size_t>(PyArray_SIZE(k));
    if (n > 0) {
        const int flags = PyArray_FLAGS(k);
        const bool aligned = (flags & NPY_ARRAY_ALIGNED) != 0;
        const bool contiguous = (flags & (NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_F_CONTIGUOUS)) != 0;
        if (!aligned || !contiguous || PyArray_DATA(k) == nullptr) {
            return Error::value("kinds must be a contiguous int8 array");
        }
    }
    auto rows = support::data_slice(data);
    if (!rows.ok()) return rows.error();
    const support::ImageView<double> view = rows.value();
    if (view.ny != n || view.nx != 6) {
        return Error::value("data must have shape (N, 6) where N == len(kinds)");
    }
    ParsedPath parsed;
    parsed.kinds.resize(n);
    parsed.rows.resize(n);
    if (n > 0) {
        std::memcpy(parsed.kinds.data(), PyArray_DATA(k), n);
        std::memcpy(parsed.rows.data(), view.values, n * sizeof(geometry::PathRow));
    }
    return parsed;
}

Outcome<geometry::ValidatedPath> validated_path(KindsArg kinds, RowsArg data) {
    auto parsed = parse_path_inputs(kinds, data);
    if (!parsed.ok()) return parsed.error();
    geometry::PathBuild built = geometry::build_validated_path(parsed.value().kinds, parsed.value().rows);
    if (auto* text = std::get_if<std::string>(&built)) return Error::value(std::move(*text));
    return std::get<geometry::ValidatedPath>(std::move(built));
}

}  // namespace quorvantel::pyapi::path
