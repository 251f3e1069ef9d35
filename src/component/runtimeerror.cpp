#include "runtimeerror.h"

namespace zelvar::component {

RuntimeError::RuntimeError(int number, const QString& description)
    : m_number(number)
    , m_description(description)
    , m_what(description.toStdString())
{
}

RuntimeError::RuntimeError(Number number)
    : RuntimeError(number, classicDescription(number))
{
}

QString RuntimeError::classicDescription(int number)
{
    switch (number) {
    case InvalidProcedureCall: return QStringLiteral("Invalid procedure call or argument");
    case Overflow: return QStringLiteral("Overflow");
    case SubscriptOutOfRange: return QStringLiteral("Subscript out of range");
    case TypeMismatch: return QStringLiteral("Type mismatch");
    case ObjectNotSet: return QStringLiteral("Object variable or With block variable not set");
    case AutomationError: return QStringLiteral("Automation error");
    case ActionNotSupported: return QStringLiteral("Object doesn't support this action");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

ErrorInfo errorFromException(const std::exception& e)
{
    if (const auto* own = dynamic_cast<const RuntimeError*>(&e))
        return {own->number(), own->description()};
    return {RuntimeError::AutomationError, QString::fromUtf8(e.what())};
}

ErrorInfo unknownError()
{
    return {RuntimeError::AutomationError, RuntimeError::classicDescription(RuntimeError::AutomationError)};
}

} // namespace zelvar::component
