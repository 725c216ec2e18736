#include "app/MessageBoxAlertSink.h"
#include "app/TesmaApplication.h"
#include "ui/Unit1.h"

int main(int argc, char *argv[])
{
    TesmaApplication app(argc, argv);
    app.quitOnTerminationSignals();
    MessageBoxAlertSink alerts;
    app.setAlertSink(&alerts);

    TForm1 form;
    alerts.setOwner(&form);
    form.show();
    return app.exec();
}
