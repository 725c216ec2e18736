#include "book/GroupChecks.h"

#include "book/EntryChecks.h"
#include "core/DutyHours.h"

#include <QSet>

Group StoredGroup(const Group &typed)
{
    Group group = typed;
    group.name = TrimEntryText(StoredName(typed.name));
    for (GroupMember &member : group.members)
        member.duty = member.duty.trimmed();
    return group;
}

GroupRefusal CheckGroupDuty(const Group &group)
{
    for (qsizetype i = 0; i < group.members.size(); ++i) {
        const GroupMember &member = group.members.at(i);
        if (const DutyHours duty(member.duty); !duty.isValid())
            return { GroupRefusal::BadDuty, GroupTexts::kBadDuty.arg(member.recipient, duty.badItem()), int(i) };
    }
    return {};
}

GroupRefusal CheckGroupEntry(const GroupStore &store, const Group &group, const QString &previousName)
{
    if (group.name.isEmpty())
        return { GroupRefusal::EmptyName, GroupTexts::kNameEmpty };
    if (store.nameIsUser(group.name))
        return { GroupRefusal::NameIsUser, EntryTexts::kNameIsUser.arg(group.name) };
    const bool taken
        = previousName.isEmpty() ? store.nameIsGroup(group.name) : store.nameIsOtherGroup(group.name, previousName);
    if (taken)
        return { GroupRefusal::NameIsGroup, EntryTexts::kNameIsGroup.arg(group.name) };
    return CheckGroupDuty(group);
}

QString OnDutyText(const QList<GroupMember> &members, const QDateTime &when)
{
    QStringList names;
    QSet<QString> seen;
    for (const GroupMember &member : members) {
        if (DutyHours(member.duty).covers(when) && !seen.contains(member.recipient.toLower())) {
            seen.insert(member.recipient.toLower());
            names << member.recipient;
        }
    }
    return GroupTexts::kOnDuty.arg(names.isEmpty() ? GroupTexts::kNobody : names.join(QStringLiteral(", ")));
}
