#pragma once

#include <QString>
#include <utility>
#include <variant>

// A failure the user may be shown: program errors carry their domain and code, platform
// errors carry the platform's own text.
struct Error {
    QString domain;
    int code = 0;
    QString description;

    static Error program(int code, QString description,
                         QString domain = QStringLiteral("Quorvastelin")) {
        return Error{std::move(domain), code, std::move(description)};
    }
    static Error platform(QString description) {
        return Error{QStringLiteral("Platform"), 0, std::move(description)};
    }
};

// A value or the error that prevented it.
template <typename T>
class Result {
  public:
    Result(T value) : state(std::move(value)) {}
    Result(Error error) : state(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(state); }
    const T& value() const& { return std::get<T>(state); }
    T&& value() && { return std::get<T>(std::move(state)); }
    const Error& error() const { return std::get<Error>(state); }

  private:
    std::variant<T, Error> state;
};
