#include "tests/support/ConsoleFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/ModalRecorder.h"
#include "ui/FileDialogs.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Whether another process finds a lock of ours on the file. Asked from a child process:
// opening and closing the file here would itself drop this process's locks on it.
bool lockedAgainstOthers(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(name.constData(), O_RDWR);
        struct flock lock
        {
        };
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const bool held = fd >= 0 && ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
        ::_exit(held ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
} // namespace

// "Esporta messaggi (&S)" and "Importa messaggi (&O)" through the main window's menu, with
// the file dialogs answered by the test hook.
class TestGuiMainMessageFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFixture> fx;
    TForm1 *form = nullptr;

    QString path(const QString &name) const { return fx->filePath(name); }

    void exportAs(const QString &name)
    {
        FileDialogs::setNextFileName(name);
        control<QAction>(*form, "mnuExport")->trigger();
    }
    void importFrom(const QString &name)
    {
        FileDialogs::setNextFileName(name);
        control<QAction>(*form, "mnuImport")->trigger();
    }

private slots:
    void init()
    {
        fx = std::make_unique<ConsoleFixture>();
        QVERIFY2(fx->error().isEmpty(), qPrintable(fx->error()));
        form = &fx->makeForm();
    }
    void cleanup()
    {
        FileDialogs::clearNextFileName();
        form = nullptr;
        fx.reset();
    }

    void exportWritesTheBytesExactly()
    {
        control<QPlainTextEdit>(*form, "memMsg")->setPlainText(u"Test 1"_s);
        exportAs(path(u"six.te2"_s));
        QCOMPARE(readBytes(path(u"six.te2"_s)), QByteArray("\x54\x65\x73\x74\x20\x31"));

        const std::optional<FileDialogs::Request> asked = FileDialogs::lastRequest();
        QVERIFY(asked);
        QCOMPARE(asked->filter, u"KRV7700files(*.te2)"_s);
        QCOMPARE(asked->startFolder, form->startFolder());
        QCOMPARE(asked->defaultSuffix, u"te2"_s);
        QVERIFY(asked->confirmOverwrite);

        // An empty message gives an empty file, replacing the old content.
        control<QPlainTextEdit>(*form, "memMsg")->clear();
        exportAs(path(u"six.te2"_s));
        QCOMPARE(readBytes(path(u"six.te2"_s)), QByteArray());

        // A name typed without an extension gets ".te2".
        control<QPlainTextEdit>(*form, "memMsg")->setPlainText(u"x"_s);
        exportAs(path(u"senza"_s));
        QCOMPARE(readBytes(path(u"senza.te2"_s)), QByteArray("x"));
        QVERIFY(!QFile::exists(path(u"senza"_s)));
        QVERIFY(fx->alerts.alerts.isEmpty());
    }

    void cancelledDialogsChangeNothing()
    {
        control<QPlainTextEdit>(*form, "memMsg")->setPlainText(u"keep"_s);
        importFrom(QString());
        exportAs(QString());
        QCOMPARE(control<QPlainTextEdit>(*form, "memMsg")->toPlainText(), u"keep"_s);
        QVERIFY(fx->alerts.alerts.isEmpty());
    }

    void importReplacesTheMessage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("two lines") << QByteArray("Riga uno\r\nRiga due") << u"Riga unoRiga due"_s;
        QTest::newRow("Latin-1 byte") << QByteArray("citt\xe0") << u"citt"_s;
        QTest::newRow("byte zero") << QByteArray("abc\0def", 7) << u"abc"_s;
        QTest::newRow("empty file") << QByteArray() << QString();
    }
    void importReplacesTheMessage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        writeBytes(path(u"in.te2"_s), bytes);
        control<QPlainTextEdit>(*form, "memMsg")->setPlainText(u"previous"_s);
        importFrom(path(u"in.te2"_s));
        QCOMPARE(control<QPlainTextEdit>(*form, "memMsg")->toPlainText(), message);
        QCOMPARE(control<QLabel>(*form, "lblLength")->text(), QString::number(message.size()));
        QVERIFY(FileDialogs::lastRequest()->mustExist);
        QVERIFY(fx->alerts.alerts.isEmpty());
    }

    void refusedFilesKeepTheMessage()
    {
        control<QPlainTextEdit>(*form, "memMsg")->setPlainText(u"mine"_s);
        const QString missing = path(u"missing.te2"_s);
        importFrom(missing);
        QCOMPARE(fx->alerts.lastText(), u"Cannot open file "_s + missing);

        writeBytes(path(u"big.te2"_s), QByteArray(1024 * 1024 + 1, 'a'));
        importFrom(path(u"big.te2"_s));
        QCOMPARE(fx->alerts.lastText(), u"Text exceeds memo capacity"_s);
        QCOMPARE(control<QPlainTextEdit>(*form, "memMsg")->toPlainText(), u"mine"_s);
        QCOMPARE(fx->alerts.alerts.size(), 2);
        QCOMPARE(fx->alerts.alerts.first().kind, RecordingAlertSink::Alert::Plain);
    }

    void aDialogOverTheDatabaseFolderKeepsTheDatabaseLocks()
    {
        // The dialog must not open the database's files to learn their types: closing them
        // would drop the connection's locks, and another program could then fold the
        // write-ahead log into the file and delete it while the console goes on writing.
        fx->addPreset(u"p"_s, u"x"_s);
        const QString index = path(Database::FileName) + u"-shm"_s;
        QVERIFY(QFile::exists(index));
        QVERIFY(lockedAgainstOthers(index));

        bool listed = false;
        bool ownDialog = false; // a desktop's native dialog would not list through our provider
        ModalRecorder modals;
        modals.onDialog = [&listed, &ownDialog](QDialog *dialog) {
            auto *files = qobject_cast<QFileDialog *>(dialog);
            ownDialog = files && files->testOption(QFileDialog::DontUseNativeDialog);
            auto *model = dialog->findChild<QFileSystemModel *>();
            if (model)
                QObject::connect(model, &QFileSystemModel::directoryLoaded, dialog, [&listed] { listed = true; });
            dialog->show();
            if (!QTest::qWaitFor([&listed] { return listed; }, 10000))
                qWarning("the folder was never listed");
            QTest::qWait(100);
            return int(QDialog::Rejected);
        };
        FileDialogs::Request request;
        request.startFolder = fx->path();
        request.filter = u"KRV7700files(*.te2)"_s;
        const QString chosen = FileDialogs::openFileName(form, request);
        QVERIFY(chosen.isEmpty());
        QVERIFY(ownDialog);
        QVERIFY(listed);
        QVERIFY(lockedAgainstOthers(index));
    }

    void exportIntoAFolderThatCannotBeWritten()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        const QString locked = path(u"locked"_s);
        QVERIFY(QDir().mkdir(locked));
        writeBytes(locked + u"/old.te2"_s, "old");
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        control<QPlainTextEdit>(*form, "memMsg")->setPlainText(u"new"_s);
        exportAs(locked + u"/old.te2"_s);
        exportAs(locked + u"/other.te2"_s);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(fx->alerts.texts(),
                 (QStringList { u"Cannot create file "_s + locked + "/old.te2",
                                u"Cannot create file "_s + locked + "/other.te2" }));
        QCOMPARE(readBytes(locked + u"/old.te2"_s), QByteArray("old"));
    }
};

QTEST_MAIN(TestGuiMainMessageFiles)
#include "test_gui_main_messagefiles.moc"
