#pragma once

#include <QString>
#include <stdexcept>

// Raised by the data layer with the engine's own text. Handlers catch it at their own
// boundary and show the text through the alert sink; it never crosses Qt's event dispatch.
class DataError : public std::runtime_error
{
public:
    explicit DataError(const QString &text)
        : std::runtime_error(text.toStdString())
        , m_text(text)
    {
    }
    const QString &text() const { return m_text; }

private:
    QString m_text;
};
