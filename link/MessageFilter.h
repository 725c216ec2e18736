#pragma once

// What may go in a message: the message box, and the gateway for the texts it receives, keep
// only characters with codes 32 to 127.

#include <QString>

namespace MessageFilter {

// True for the characters the message box keeps (codes 32..127 inclusive).
constexpr bool isAllowed(QChar c)
{
    return c.unicode() >= 32 && c.unicode() <= 127;
}

// The text with every other character removed, in order. Works on the whole text,
// however long: nothing is ever cut.
QString filtered(const QString &text);

} // namespace MessageFilter
