#pragma once

// The statements of the groups' tables. Values are always bound to the `?` placeholders. The
// name columns are declared COLLATE NOCASE, like the address book's, so a group and its
// members are found whatever the letter case.

#include <QString>

namespace Sql {

inline const QString CreateGroups
    = QStringLiteral("CREATE TABLE groups ( GroupName TEXT COLLATE NOCASE UNIQUE, Description TEXT )");
// Position orders the members within their group.
inline const QString CreateGroupMembers
    = QStringLiteral("CREATE TABLE group_members ( GroupName TEXT COLLATE NOCASE, "
                     "Recipient TEXT COLLATE NOCASE, Duty TEXT, Position INTEGER )");
inline const QString CreateGroupMembersIndexes[2] = {
    QStringLiteral("CREATE INDEX IF NOT EXISTS group_members_by_group ON group_members (GroupName, Position)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS group_members_by_recipient ON group_members (Recipient)"),
};

inline const QString SelectGroups = QStringLiteral("SELECT GroupName, Description FROM groups ORDER BY GroupName");
inline const QString SelectGroupByName = QStringLiteral("SELECT GroupName, Description FROM groups WHERE GroupName=?");
inline const QString SelectGroupNameTakenByOther
    = QStringLiteral("SELECT 1 FROM groups WHERE GroupName=? AND GroupName<>?");
inline const QString InsertGroup = QStringLiteral("INSERT INTO groups (GroupName, Description) VALUES (?, ?)");
inline const QString DeleteGroup = QStringLiteral("DELETE FROM groups WHERE GroupName=?");

inline const QString SelectGroupMembers
    = QStringLiteral("SELECT Recipient, Duty FROM group_members WHERE GroupName=? ORDER BY Position, rowid");
inline const QString InsertGroupMember
    = QStringLiteral("INSERT INTO group_members (GroupName, Recipient, Duty, Position) VALUES (?, ?, ?, ?)");
inline const QString DeleteGroupMembers = QStringLiteral("DELETE FROM group_members WHERE GroupName=?");

// A user's memberships.
inline const QString SelectGroupsOfRecipient = QStringLiteral(
    "SELECT GroupName FROM groups WHERE GroupName IN (SELECT GroupName FROM group_members WHERE Recipient=?) "
    "ORDER BY GroupName");
inline const QString RenameRecipientInGroups = QStringLiteral("UPDATE group_members SET Recipient=? WHERE Recipient=?");
inline const QString DeleteRecipientFromGroups = QStringLiteral("DELETE FROM group_members WHERE Recipient=?");

} // namespace Sql
