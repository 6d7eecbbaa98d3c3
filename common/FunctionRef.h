// A callback a function calls while it runs and does not keep.
//
// Two words: the callable's address and a function that calls it. Nothing
// is copied, allocated or destroyed, so passing a lambda costs two stores
// where a std::function costs a construction, a destruction, a clean-up
// path for exceptions and a manager function per lambda (the setup stub
// passes dozens). The callable must outlive the call it is passed to: take
// a TFunctionRef as a parameter, never keep one in a member.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

template <class Signature>
class TFunctionRef;

template <class R, class... Args>
class TFunctionRef<R(Args...)> {
 public:
  // An empty callback: false in a test, never called.
  TFunctionRef() = default;
  TFunctionRef(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor): passed as nullptr

  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, TFunctionRef> &&
                                              std::is_invocable_r_v<R, F&, Args...>>>
  TFunctionRef(F&& Callable) noexcept  // NOLINT(google-explicit-constructor): passed as a lambda
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(Callable)))),
        call_([](void* Object, Args... A) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(Object))(std::forward<Args>(A)...);
        }) {}

  R operator()(Args... A) const { return call_(object_, std::forward<Args>(A)...); }
  explicit operator bool() const { return call_ != nullptr; }

 private:
  void* object_ = nullptr;
  R (*call_)(void*, Args...) = nullptr;
};
