#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kelvane::platform {

// Why an operation failed, in words a user can act on ("Permission denied: /a/b").
struct Error {
    std::string reason;
};

// Either a value or the reason it could not be had. Kept tiny on purpose: the core
// builds with compilers that have no std::expected yet.
template <typename T>
class Result {
  public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const { return std::get<0>(state_); }
    T& value() { return std::get<0>(state_); }
    const std::string& reason() const { return std::get<1>(state_).reason; }

  private:
    std::variant<T, Error> state_;
};

// Success, or the reason for a failure.
class Status {
  public:
    Status() = default;
    Status(Error error) : failed_(true), reason_(std::move(error.reason)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& reason() const { return reason_; }

  private:
    bool failed_ = false;
    std::string reason_;
};

}  // namespace kelvane::platform
