// The walk of one Sutherland-Hodgman clipping pass, shared by every clip.
#pragma once

#include <cstddef>

#include "geometry.hpp"

namespace quorvantel::geometry {

// Walks the closed polygon in[0..n-1] edge by edge, starting with the edge
// from the last vertex to the first.  For each vertex cur with predecessor
// prev: when cur is inside, emits crossing(prev, cur) if prev is outside,
// then cur; when cur is outside and prev inside, emits crossing(prev, cur).
// An empty polygon emits nothing.
template <class Inside, class Crossing, class Emit>
inline void clip_walk(const Point* in, std::size_t n, const Inside& inside,
                      const Crossing& crossing, Emit&& emit) {
    if (n == 0) return;
    Point prev = in[n - 1];
    bool prev_in = inside(prev);
    for (std::size_t k = 0; k < n; ++k) {
        const Point cur = in[k];
        const bool cur_in = inside(cur);
        if (cur_in) {
            if (!prev_in) emit(crossing(prev, cur));
            emit(cur);
        } else if (prev_in) {
            emit(crossing(prev, cur));
        }
        prev = cur;
        prev_in = cur_in;
    }
}

}  // namespace quorvantel::geometry
