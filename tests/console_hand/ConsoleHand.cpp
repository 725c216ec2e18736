// Loaded into the built console with LD_PRELOAD by the tests that run it as a child process:
// drives the real windows by their object names, as an operator would, following the script
// named in TESMA_TEST_HAND. Every message box that opens is noted in TESMA_TEST_HAND_LOG
// ("box <text>"), so a test can act while one is open.
//
// Scripts:
//   book    every user of the user list to the send list (">>"), the message TESMA_TEST_HAND_MESSAGE
//           when it is set, then "Invia"
//   repeat  test mode (password), Times -1, direct mode to 123A12, then "Invia"
//   range   range test with a period of 1 s, "Invia", then "Start" in the range-test window
//   direct3 direct mode to 123A12, then three times: "Invia", and OK in its "Invio corretto!  " box
//   export  the report window, "Esporta CSV..." to report.csv in the working folder; "export" is
//           noted in the log once the export is under way
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

struct Step
{
    std::function<bool()> ready;
    std::function<void()> act;
};

QWidget *window(const char *name)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible())
            return w;
    }
    return nullptr;
}

template <typename T> T *child(const char *windowName, const char *name)
{
    QWidget *w = window(windowName);
    return w ? w->findChild<T *>(QLatin1String(name)) : nullptr;
}

// Triggers later, from the event loop, so an action that opens a modal window never blocks
// the steps.
void triggerLater(const char *name)
{
    if (QAction *a = child<QAction>("Form1", name))
        QTimer::singleShot(0, a, &QAction::trigger);
}

void clickLater(const char *windowName, const char *name)
{
    if (QAbstractButton *b = child<QAbstractButton>(windowName, name))
        QTimer::singleShot(0, b, &QAbstractButton::click);
}

void setText(const char *name, const QString &text)
{
    if (QLineEdit *e = child<QLineEdit>("Form1", name))
        e->setText(text);
}

QFileDialog *fileDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QFileDialog *>(w); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

void note(const QByteArray &line)
{
    QFile file(QString::fromLocal8Bit(qgetenv("TESMA_TEST_HAND_LOG")));
    if (file.open(QIODevice::Append))
        file.write(line + '\n');
}

bool mainWindowReady()
{
    QListWidget *users = child<QListWidget>("Form1", "ListBox1");
    return users && users->count() > 0;
}

// The message box showing this text, when one is open.
QMessageBox *box(const QString &text)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *b = qobject_cast<QMessageBox *>(w); b && b->isVisible() && b->text() == text)
            return b;
    }
    return nullptr;
}

QList<Step> script(const QByteArray &name)
{
    if (name == "book") {
        return { { mainWindowReady,
                   [] {
                       child<QTabWidget>("Form1", "PageControl1")->setCurrentIndex(0);
                       child<QListWidget>("Form1", "ListBox1")->selectAll();
                       clickLater("Form1", "Button2");
                       const QString message = QString::fromLatin1(qgetenv("TESMA_TEST_HAND_MESSAGE"));
                       if (!message.isEmpty())
                           child<QPlainTextEdit>("Form1", "memMsg")->setPlainText(message);
                   } },
                 { [] { return child<QListWidget>("Form1", "ListBox2")->count() > 0; },
                   [] { triggerLater("mnuTransmit"); } } };
    }
    if (name == "repeat") {
        return { { [] { return window("Form1") != nullptr; }, [] { triggerLater("TestMode1"); } },
                 { [] { return window("PasswordDlg") != nullptr; },
                   [] {
                       child<QLineEdit>("PasswordDlg", "Password")->setText(QStringLiteral("Mint_Owl"));
                       clickLater("PasswordDlg", "OKBtn");
                   } },
                 { [] { return window("PasswordDlg") == nullptr && child<QWidget>("Form1", "Panel5")->isVisible(); },
                   [] {
                       setText("Edit5", QStringLiteral("-1"));
                       child<QTabWidget>("Form1", "PageControl1")->setCurrentIndex(1);
                       setText("edtID", QStringLiteral("123A12"));
                       child<QPlainTextEdit>("Form1", "memMsg")->setPlainText(QStringLiteral("HI"));
                       triggerLater("mnuTransmit");
                   } } };
    }
    if (name == "direct3") {
        const QString sent = QStringLiteral("Invio corretto!  ");
        QList<Step> steps { { [] { return window("Form1") != nullptr; },
                              [] {
                                  child<QTabWidget>("Form1", "PageControl1")->setCurrentIndex(1);
                                  setText("edtID", QStringLiteral("123A12"));
                                  child<QPlainTextEdit>("Form1", "memMsg")->setPlainText(QStringLiteral("HI"));
                              } } };
        for (int run = 0; run < 3; ++run) {
            steps.append({ [sent] {
                              QAction *transmit = child<QAction>("Form1", "mnuTransmit");
                              return transmit && transmit->isEnabled() && box(sent) == nullptr;
                          },
                           [] { triggerLater("mnuTransmit"); } });
            steps.append({ [sent] { return box(sent) != nullptr; },
                           [sent] { QTimer::singleShot(0, box(sent), &QMessageBox::accept); } });
        }
        return steps;
    }
    if (name == "range") {
        return { { [] { return window("Form1") != nullptr; },
                   [] {
                       child<QAction>("Form1", "RangeTest1")->trigger();
                       setText("edtHeartbeat", QStringLiteral("1"));
                       setText("edtID", QStringLiteral("123A12"));
                       triggerLater("mnuTransmit");
                   } },
                 { [] { return window("frmRange") != nullptr; }, [] { clickLater("frmRange", "Button2"); } } };
    }
    if (name == "export") {
        return { { mainWindowReady, [] { triggerLater("OpenHistory1"); } },
                 { [] { return window("frmHis") != nullptr; }, [] { clickLater("frmHis", "btnExportCsv"); } },
                 { [] { return fileDialog() != nullptr; },
                   [] {
                       // Typed into the name field, as an operator would.
                       QFileDialog *dialog = fileDialog();
                       if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                           name->setText(QStringLiteral("report.csv"));
                       QTimer::singleShot(0, dialog, &QDialog::accept);
                   } },
                 // The busy cursor is on while the export has its first second.
                 { [] { return QApplication::overrideCursor() != nullptr; }, [] { note("export"); } } };
    }
    return {};
}

class BoxWatcher final : public QObject
{
public:
    BoxWatcher(const QString &logPath, QObject *parent)
        : QObject(parent)
        , m_log(logPath)
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched); box && !m_log.isEmpty()) {
                QFile file(m_log);
                if (file.open(QIODevice::Append))
                    file.write("box " + box->text().toUtf8() + '\n');
            }
        }
        return false;
    }

private:
    QString m_log;
};

void startHand()
{
    const QByteArray name = qgetenv("TESMA_TEST_HAND");
    if (name.isEmpty())
        return;
    qApp->installEventFilter(new BoxWatcher(QString::fromLocal8Bit(qgetenv("TESMA_TEST_HAND_LOG")), qApp));
    auto steps = std::make_shared<QList<Step>>(script(name));
    auto *timer = new QTimer(qApp);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, qApp, [steps, timer] {
        if (steps->isEmpty()) {
            timer->stop();
            return;
        }
        if (!steps->first().ready())
            return;
        const Step step = steps->takeFirst();
        step.act();
    });
    // The timer is started once the event loop runs (the start-up has no windows yet).
    QTimer::singleShot(0, timer, [timer] { timer->start(); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startHand)
