#include "app/DataStores.h"
#include "app/MessageBoxAlertSink.h"
#include "app/SendingState.h"
#include "app/TesmaApplication.h"
#include "ui/Unit1.h"

#include <QSqlDatabase>

int main(int argc, char *argv[])
{
    TesmaApplication app(argc, argv);
    app.quitOnTerminationSignals();
    MessageBoxAlertSink alerts;
    app.setAlertSink(&alerts);

    SendingState state;
    DataStores stores(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE")));
    TForm1 form(state, stores, alerts);
    alerts.setOwner(&form);
    form.show();
    return app.exec();
}
