#include "store/GroupStore.h"

#include "core/DutyHours.h"
#include "store/GroupStatements.h"
#include "store/QueryHelpers.h"
#include "store/Statements.h"

#include <QSet>
#include <QSqlQuery>
#include <QVariant>

namespace {

using QueryHelpers::inTransaction;
using QueryHelpers::run;
using QueryHelpers::text;

// The names as the engine's NOCASE compares them: ASCII letters folded, nothing else.
QString nocaseKey(const QString &name)
{
    QString key = name;
    for (QChar &c : key) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return key;
}

} // namespace

QList<Group> GroupStore::all() const
{
    QSqlQuery query = run(m_db, Sql::SelectGroups);
    QList<Group> out;
    while (query.next())
        out.append({ query.value(0).toString(), query.value(1).toString(), {} });
    return out;
}

std::optional<Group> GroupStore::find(const QString &name) const
{
    QSqlQuery query = run(m_db, Sql::SelectGroupByName, { text(name) });
    if (!query.next())
        return std::nullopt;
    Group group { query.value(0).toString(), query.value(1).toString(), {} };
    query.finish();
    group.members = members(group.name);
    return group;
}

QList<GroupMember> GroupStore::members(const QString &name) const
{
    QSqlQuery query = run(m_db, Sql::SelectGroupMembers, { text(name) });
    QList<GroupMember> out;
    while (query.next())
        out.append({ query.value(0).toString(), query.value(1).toString() });
    return out;
}

void GroupStore::save(const Group &group, const QString &previousName)
{
    inTransaction(m_db, [&] {
        if (!previousName.isEmpty()) {
            run(m_db, Sql::DeleteGroupMembers, { text(previousName) });
            run(m_db, Sql::DeleteGroup, { text(previousName) });
        }
        insert(group);
        return 0;
    });
}

void GroupStore::saveAll(const QList<Group> &groups)
{
    inTransaction(m_db, [&] {
        for (const Group &group : groups)
            insert(group);
        return 0;
    });
}

void GroupStore::insert(const Group &group)
{
    run(m_db, Sql::InsertGroup, { text(group.name), text(group.description) });
    for (qsizetype i = 0; i < group.members.size(); ++i) {
        const GroupMember &member = group.members.at(i);
        run(m_db, Sql::InsertGroupMember, { text(group.name), text(member.recipient), text(member.duty), i });
    }
}

void GroupStore::remove(const QString &name)
{
    inTransaction(m_db, [&] {
        run(m_db, Sql::DeleteGroupMembers, { text(name) });
        run(m_db, Sql::DeleteGroup, { text(name) });
        return 0;
    });
}

QStringList GroupStore::groupsOf(const QString &recipient) const
{
    QSqlQuery query = run(m_db, Sql::SelectGroupsOfRecipient, { text(recipient) });
    QStringList out;
    while (query.next())
        out << query.value(0).toString();
    return out;
}

void GroupStore::renameMember(const QString &oldName, const QString &newName)
{
    run(m_db, Sql::RenameRecipientInGroups, { text(newName), text(oldName) });
}

void GroupStore::removeMember(const QString &recipient)
{
    run(m_db, Sql::DeleteRecipientFromGroups, { text(recipient) });
}

bool GroupStore::nameIsUser(const QString &name) const
{
    return run(m_db, Sql::SelectRecipientDuplicate, { text(name) }).next();
}

bool GroupStore::nameIsGroup(const QString &name) const
{
    return run(m_db, Sql::SelectGroupByName, { text(name) }).next();
}

bool GroupStore::nameIsOtherGroup(const QString &name, const QString &ownName) const
{
    return run(m_db, Sql::SelectGroupNameTakenByOther, { text(name), text(ownName) }).next();
}

QList<GroupMember> GroupStore::onDuty(const QString &name, const QDateTime &when) const
{
    QList<GroupMember> out;
    QSet<QString> seen;
    for (const GroupMember &member : members(name)) {
        if (!DutyHours(member.duty).covers(when))
            continue;
        // Listed twice (by mistake) is still paged once.
        if (const QString key = nocaseKey(member.recipient); !seen.contains(key)) {
            seen.insert(key);
            out.append(member);
        }
    }
    return out;
}
