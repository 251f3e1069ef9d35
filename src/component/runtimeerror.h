#pragma once

#include <QString>

#include <exception>
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

// Runs fn and hands back the trapped error, if any. For the component's own error handlers.
template<typename Fn>
bool trapErrors(Fn&& fn, ErrorInfo& error)
{
    try {
        fn();
        return true;
    } catch (const std::exception& e) {
        error = errorFromException(e);
    } catch (...) {
        error = unknownError();
    }
    return false;
}

} // namespace zelvar::component
