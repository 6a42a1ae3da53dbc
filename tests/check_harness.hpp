// The harness of the C++ check programs: each check runs a body of EXPECTs and
// prints one line, "<name> ok" or "<name> FAIL <first failed expectation>".
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <numbers>
#include <string>

constexpr double kPi = std::numbers::pi;

static std::string failure;  // first failed expectation of the running check
[[gnu::noinline, gnu::format(printf, 2, 3)]] static void fail(int line, const char* fmt, ...) {
    if (!failure.empty()) return;
    char buf[512];
    va_list args; va_start(args, fmt); std::vsnprintf(buf, sizeof buf, fmt, args); va_end(args);
    failure = std::string(buf) + " [line " + std::to_string(line) + "]";
}
#define EXPECT(cond, ...) ((cond) ? void() : fail(__LINE__, __VA_ARGS__))

template <class F>
static void check(const char* name, F&& body) {
    failure.clear();
    try { body(); } catch (const std::exception& e) { failure = std::string("exception: ") + e.what(); }
    std::printf("%s %s%s\n", name, failure.empty() ? "ok" : "FAIL ", failure.c_str());
    std::fflush(stdout);
}

// The next uniform double in [lo, hi) of a deterministic splitmix64 stream.
static double splitmix_uniform(std::uint64_t& state, double lo, double hi) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return lo + (hi - lo) * double((z ^ (z >> 31)) >> 11) * 0x1p-53;
}
