#include "ui/ReportModel.h"

// Placeholder: the windowed report model is filled in next.

class ReportModel::Private
{
public:
    QSqlDatabase db;
};

ReportModel::ReportModel(QSqlDatabase db, QObject *parent) : QAbstractTableModel(parent), d(new Private{db}) {}

void ReportModel::open(const QString &, bool) {}
void ReportModel::release() {}
void ReportModel::rowPosted() {}

QString ReportModel::fieldName(int column)
{
    static const char *const names[] = {"num", "recipt", "pin_id", "disptime", "sent", "sendtime", "status", "msg"};
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(names[column]) : QString();
}

int ReportModel::rowCount(const QModelIndex &) const { return 0; }
int ReportModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }
QVariant ReportModel::data(const QModelIndex &, int) const { return {}; }
QVariant ReportModel::headerData(int, Qt::Orientation, int) const { return {}; }
