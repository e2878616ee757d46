#include "core/failure.h"

Failure::Failure(QString description)
    : m_description(std::move(description)), m_what(m_description.toUtf8())
{ }

const char *Failure::what() const noexcept
{
    return m_what.constData();
}
