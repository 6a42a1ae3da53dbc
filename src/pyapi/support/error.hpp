// Deferred errors: what entry functions and per-aperture steps return instead
// of raising.  They are plain data (an exception kind and its text), so pool
// workers can make them; the call boundary turns them into Python exceptions.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace quorvantel::pyapi::support {

enum class ErrorKind { Value, Memory, Fetched };

struct Error {
    ErrorKind kind;
    std::string message;  // unused for Fetched: the interpreter holds that one

    static Error value(std::string message) { return {ErrorKind::Value, std::move(message)}; }
    static Error memory(std::string message) { return {ErrorKind::Memory, std::move(message)}; }
    // An exception the interpreter has already set; the boundary leaves it in place.
    static Error fetched() { return {ErrorKind::Fetched, {}}; }
};

// Either a value or a deferred error.
template <class T>
class Outcome {
public:
    Outcome() = default;
    Outcome(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
    Outcome(Error error) : error_(std::move(error)) {}  // NOLINT: implicit by design

    bool ok() const { return !error_.has_value(); }
    const Error& error() const { return *error_; }
    T& value() { return value_; }
    T take() { return std::move(value_); }

private:
    T value_{};
    std::optional<Error> error_;
};

// Result of an entry that returns nothing to Python but None.
struct None {};

// A check that either passes or names its error.
using Check = std::optional<Error>;

}  // namespace quorvantel::pyapi::support
