// How the output says that something the user asked for did not happen: a
// Failure, with the words the user reads ("cannot write /x/page.pdf: No
// space left on device"), returned in a Result. The words are a fragment
// that the caller puts into its own sentence ("quorvel-render: ...", "The
// page was not printed: ...").
//
// A Failure is always about the user's world: a damaged or missing file, a
// full disk, a printer that refuses or does not answer. A fault of the
// program itself is never turned into one: it is thrown as a std::logic_error
// (Program_Fault where the output finds it), and the one place of each
// program that reports failures says that it is the program's fault: the
// window ("a fault of Quorvel itself stopped it ...; please report it") and
// quorvel-render ("internal error, please report it", status 3).
//
// The drawing's numbered run-time errors (RuntimeError) are faults too: the
// page is fixed and the zoom is checked before it is drawn, so an overflow,
// an invalid property value or a picture that cannot be painted is a broken
// invariant, whatever the user did. The one exception is the printer's own
// (Err_Printer: the printer could not be opened, the page not finished),
// which is the user's world and told as a Failure.
#pragma once

#include <QString>

#include <stdexcept>
#include <utility>
#include <variant>

// A broken invariant of the program, found at run time.
class Program_Fault : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

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
