// How the output says that something the user asked for did not happen: a
// Failure, with the words the user reads ("cannot write /x/page.pdf: No
// space left on device"), returned in a Result. The words are a fragment
// that the caller puts into its own sentence ("quorvel-render: ...", "The
// page was not printed: ...").
//
// A Failure is always about the user's world: a damaged or missing file, a
// full disk, a printer that refuses or does not answer. A fault of the
// program itself (a broken invariant: std::logic_error and the like, or a
// drawing that overflows) is never turned into one: it is thrown, and
// whoever reports it says that it is the program's fault.
#pragma once

#include <QString>

#include <utility>
#include <variant>

struct Failure {
    QString message;
};

// A value, or the Failure that stands in its place.
template <class T = void>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) {}

    bool Ok() const { return state_.index() == 0; }
    // The value; only when Ok().
    T &Value() { return std::get<0>(state_); }
    const T &Value() const { return std::get<0>(state_); }
    // The user's words; empty when Ok().
    QString Message() const { return Ok() ? QString() : std::get<1>(state_).message; }

private:
    std::variant<T, Failure> state_;
};

// Done, or the Failure that says why not.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)), failed_(true) {}

    bool Ok() const { return !failed_; }
    // The user's words; empty when Ok().
    QString Message() const { return failure_.message; }

private:
    Failure failure_;
    bool failed_ = false;
};
