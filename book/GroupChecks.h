#pragma once

// The checks that "Scrivi" of the groups window and the groups' import run, without any
// widget: the name (required, neither a user's nor another group's) and every member's duty
// hours.

#include "store/GroupStore.h"

#include <QString>

namespace GroupTexts {
inline const QString kNameEmpty = QStringLiteral("Il nome del gruppo non può essere vuoto.");
inline const QString kBadDuty = QStringLiteral("Turni non validi per %1: %2");
inline const QString kOnDuty = QStringLiteral("Reperibili ora: %1");
inline const QString kNobody = QStringLiteral("nessuno");
} // namespace GroupTexts

struct GroupRefusal
{
    enum Kind
    {
        None,
        EmptyName,
        NameIsUser,
        NameIsGroup,
        BadDuty
    } kind
        = None;
    QString text; // the operator message
    int member = -1; // the member whose duty hours do not parse (BadDuty)

    explicit operator bool() const { return kind != None; }
};

// The group as it would be stored: the name trimmed and in normal form C, like a user's.
Group StoredGroup(const Group &typed);

// `previousName`: the name the edited group is stored under, empty for a new one. The store
// throws DataError when a lookup fails.
GroupRefusal CheckGroupEntry(const GroupStore &store, const Group &group, const QString &previousName);

// The first member whose duty hours do not parse, with the refusal's text; None otherwise.
GroupRefusal CheckGroupDuty(const Group &group);

// "Reperibili ora: …" for the members on duty at `when`, in order.
QString OnDutyText(const QList<GroupMember> &members, const QDateTime &when);
