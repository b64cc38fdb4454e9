#pragma once

// Errors are values: an operation that can fail returns a Result that holds
// either its value or the description of what went wrong, ready for the
// message box that names the operation ("Error saving file: " + description).

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace lumaset {

struct Error {
  QString description;
  bool cancelled = false;  // the user stopped the operation: drop it without a message
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}       // NOLINT(google-explicit-constructor)
  Result(Error error) : state_(std::move(error)) {}   // NOLINT(google-explicit-constructor)

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  const T& value() const& { return std::get<T>(state_); }
  T& value() & { return std::get<T>(state_); }
  T&& value() && { return std::get<T>(std::move(state_)); }
  const T& operator*() const& { return value(); }
  const T* operator->() const { return &value(); }

  const QString& error() const { return std::get<Error>(state_).description; }
  bool cancelled() const { return !ok() && std::get<Error>(state_).cancelled; }

 private:
  std::variant<T, Error> state_;
};

// The result of an operation that gives back nothing but success or its failure.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  static Status success() { return {}; }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const QString& error() const { return error_->description; }
  bool cancelled() const { return error_.has_value() && error_->cancelled; }

 private:
  std::optional<Error> error_;
};

}  // namespace lumaset
