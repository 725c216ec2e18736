#pragma once

// The rule that guards test mode: the typed text must equal the password exactly, letter
// case included, and three wrong tries in a row (counted across openings of the dialog)
// end the attempt. The count lives in the program-wide ModeGuard.

#include "core/SendingState.h"

#include <QString>

class PasswordCheck
{
public:
    enum class Outcome
    {
        Accepted, // right password: the count starts again from 0
        TryAgain, // wrong password, fewer than three in a row
        Exhausted, // the third wrong password in a row: the count starts again from 0
    };

    static constexpr int kMaxFailures = 3;

    explicit PasswordCheck(ModeGuard &guard)
        : m_guard(guard)
    {
    }

    static bool matches(const QString &typed);
    Outcome judge(const QString &typed);
    int failures() const { return m_guard.passwordFailures; }

private:
    ModeGuard &m_guard;
};
