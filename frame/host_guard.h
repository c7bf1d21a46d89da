// Every function the host calls is plain C: no C++ exception may leave it
// (inside a host that is std::terminate in a render thread). These wrap a
// callback's body and turn any exception into the callback's failure
// result.
#pragma once

#include <type_traits>
#include <utility>

namespace korvalith {

// The error text a callback that answers one gives when it failed inside.
inline constexpr const char* kHostCallFailed = "Korvalith Pro: the operation could not be completed (out of memory)";

// Runs body(); answers `failure` when it throws.
template <typename Result, typename Body>
Result guardHostCall(Result failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

// The same for callbacks that answer nothing.
template <typename Body>
void guardHostCall(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

// A plain function F wrapped so that an exception becomes the failure
// result: the value-initialised result (null, 0, false), or `Failure` when
// it is given. For function tables: `&Guarded<f>::call`.
template <auto F, auto... Failure>
struct Guarded;

template <typename R, typename... A, R (*F)(A...), auto... Failure>
struct Guarded<F, Failure...> {
    static_assert(sizeof...(Failure) <= 1, "one failure result at most");
    static R call(A... args) noexcept {
        if constexpr (std::is_void_v<R>)
            guardHostCall([&] { F(args...); });
        else
            return guardHostCall(failure(), [&] { return F(args...); });
    }
    static R failure() noexcept {
        if constexpr (sizeof...(Failure) == 1)
            return static_cast<R>((Failure, ...));
        else
            return R{};
    }
};

}  // namespace korvalith
