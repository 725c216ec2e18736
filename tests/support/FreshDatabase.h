#pragma once

// A database file created the way a first start creates it, in a new temporary folder, open
// as the program's connection until the fixture goes.

#include "store/Database.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

struct FreshDatabase
{
    FreshDatabase()
    {
        const Database::OpenResult opened = Database::open(dir.filePath(Database::FileName));
        db = opened.db;
        error = opened.error;
        created = opened.created;
    }

    ~FreshDatabase()
    {
        db = QSqlDatabase();
        Database::close();
    }

    FreshDatabase(const FreshDatabase &) = delete;
    FreshDatabase &operator=(const FreshDatabase &) = delete;

    QTemporaryDir dir;
    QSqlDatabase db;
    QString error; // the engine's text when the file could not be opened
    bool created = false;
};
