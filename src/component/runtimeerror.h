#pragma once

#include <QString>

#include <exception>
#include <optional>
#include <string>

namespace zelvar::component {

// A run-time error of the component: a number and a description, as the host and the error
// reports know them. Anything a host object throws is taken in as one of these (see
// errorFromException), so every handler deals with a single kind of error.
class RuntimeError : public std::exception
{
public:
    enum Number : int {
        InvalidProcedureCall = 5,
        Overflow = 6,
        SubscriptOutOfRange = 9,
        TypeMismatch = 13,
        ObjectNotSet = 91,
        AutomationError = 440,
        ActionNotSupported = 445,
    };

    RuntimeError(int number, const QString& description);
    explicit RuntimeError(Number number);   // with the classic description of that number

    int number() const noexcept { return m_number; }
    QString description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

    static QString classicDescription(int number);

private:
    int m_number = 0;
    QString m_description;
    std::string m_what;
};

// What a trapped error carries: its number and description.
struct ErrorInfo
{
    int number = 0;
    QString description;
};

// Reads an exception the way the error handlers need it. A RuntimeError keeps its number; any
// other std::exception is a failed call into a host object, number 440, described by what().
ErrorInfo errorFromException(const std::exception& e);

// For catch (...): an exception that is not a std::exception.
ErrorInfo unknownError();

// Runs body and hands back the run-time error that escaped it, or nothing when body ran
// through. Every procedure that traps its errors does it with this (or with platform's
// trapAndReport, built on it), then says what it does with the error.
template<typename Fn>
std::optional<ErrorInfo> trapped(Fn&& body)
{
    try {
        body();
        return std::nullopt;
    } catch (const std::exception& e) {
        return errorFromException(e);
    } catch (...) {
        return unknownError();
    }
}

} // namespace zelvar::component
