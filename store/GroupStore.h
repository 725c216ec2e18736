#pragma once

// The groups of the address book (tables groups and group_members): a group is paged as a
// role, and reaches those of its members who are on duty at the time. Every method binds its
// values as parameters and throws DataError with the engine's text when a statement fails.
//
// Group and user names share one name space: a group may not be named like a user, nor a new
// user like a group. The windows and imports check that with nameIsUser() and nameIsGroup()
// before they save.

#include "core/Errors.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

struct GroupMember
{
    QString recipient; // a name of table recipients
    QString duty; // duty hours (DutyHours); empty: always on duty

    bool operator==(const GroupMember &) const = default;
};

struct Group
{
    QString name;
    QString description;
    QList<GroupMember> members; // in their order within the group

    bool operator==(const Group &) const = default;
};

class GroupStore
{
public:
    explicit GroupStore(QSqlDatabase db)
        : m_db(db)
    {
    }

    // Every group by name, with its description (members left empty).
    QList<Group> all() const;
    // One group with its members in order.
    std::optional<Group> find(const QString &name) const;
    // Stores the group and its members in one transaction. `previousName` is the name the
    // group was stored under when it is an edited one (possibly renamed), empty for a new one.
    void save(const Group &group, const QString &previousName = QString());
    // New groups, all or none, in one transaction.
    void saveAll(const QList<Group> &groups);
    void remove(const QString &name);

    // The groups the user belongs to, by name.
    QStringList groupsOf(const QString &recipient) const;
    // A user renamed or deleted in the address book. One statement each, with no transaction
    // of their own: called inside the transaction that renames or deletes the user, they are
    // kept or rolled back with it.
    void renameMember(const QString &oldName, const QString &newName);
    void removeMember(const QString &recipient);

    // Name checks, without regard to letter case.
    bool nameIsUser(const QString &name) const;
    bool nameIsGroup(const QString &name) const;
    // For an edited group: whether another group than the one stored as `ownName` has `name`.
    bool nameIsOtherGroup(const QString &name, const QString &ownName) const;

    // The members of the group on duty at `when` (local time), in order, each user once.
    QList<GroupMember> onDuty(const QString &name, const QDateTime &when) const;

private:
    QList<GroupMember> members(const QString &name) const;
    void insert(const Group &group);

    QSqlDatabase m_db;
};
