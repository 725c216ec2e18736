#pragma once

// The data-rate rule of the send list and the serial status text of the main window.

#include <QString>
#include <Qt>

struct SerialSettings;

namespace UserListRules {

// A group's entry in "Elenco utenti" carries the group's name under this role; a user's
// entry carries nothing there (a user may well be named like a group's entry text).
inline constexpr int GroupRole = Qt::UserRole + 1;
inline QString groupEntryText(const QString &group)
{
    return QStringLiteral("Gruppo: ") + group;
}
inline const QString kNoneOnDuty = QStringLiteral("Nessun membro del gruppo %1 è reperibile ora.");
inline const QString kNoneOnDutyCaption = QStringLiteral("Informazione");

// The data-rate character Y of a pager code: its second-to-last character, or the empty
// text when the code has fewer than two characters.
QString rateCharOf(const QString &pinId);

// A candidate may join a non-empty send list only with the first user's rate character
// (exact, case-sensitive comparison).
inline bool mayJoin(const QString &candidateRate, const QString &firstRate)
{
    return candidateRate == firstRate;
}

// Status panel 1: port, bit rate and character format of the stored settings, or
// " Porta: impostazione non valida" when Port or Baud lies outside its list.
QString serialStatusText(const SerialSettings &settings);

} // namespace UserListRules
