#include "send/PasswordCheck.h"

namespace {
const QString kPassword = QStringLiteral("Mint_Owl");
}

bool PasswordCheck::matches(const QString &typed)
{
    return typed.compare(kPassword, Qt::CaseSensitive) == 0;
}

PasswordCheck::Outcome PasswordCheck::judge(const QString &typed)
{
    if (matches(typed)) {
        m_guard.passwordFailures = 0;
        return Outcome::Accepted;
    }
    if (++m_guard.passwordFailures < kMaxFailures)
        return Outcome::TryAgain;
    m_guard.passwordFailures = 0;
    return Outcome::Exhausted;
}
