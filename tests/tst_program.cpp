#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTest>

// Starts the real program from a folder of its own, as a user would.
class TestProgram : public QObject
{
    Q_OBJECT

    static void start(QProcess &program, const TestFolder &folder)
    {
        const QString copy = folder.file(QStringLiteral("bidwarden"));
        QVERIFY(QFile::copy(QStringLiteral(BIDWARDEN_EXECUTABLE), copy));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), folder.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("bidwarden.*=true"));
        program.setProcessEnvironment(env);
        program.start(copy, {});
        QVERIFY(program.waitForStarted());
    }

private slots:
    void startsOnItsListAndStaysUp()
    {
        TestFolder folder;
        // A store made the plain way: the program switches it to write-ahead logging as it opens it.
        folder.sql("CREATE TABLE Bidders (UserName, NARU, dateTime, Reason);"
                   "INSERT INTO Bidders VALUES ('alice', 'No', '01/12/2026-10:00:00', 'x')");
        QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")).at(18), char(1));
        QProcess program;
        start(program, folder);
        QVERIFY2(!program.waitForFinished(2000), program.readAllStandardError().constData());
        QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")).at(18), char(2));
        program.kill();
        program.waitForFinished();
    }

    void reportsAListItCannotUseAndLeavesIt()
    {
        TestFolder folder;
        QByteArray access("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        access.append(2048, 'z');
        folder.write(QStringLiteral("bidders.mdb"), access);
        QProcess program;
        start(program, folder);
        // The report waits for the user in its message box; its text also goes to the log.
        QByteArray log;
        for (int i = 0; i < 50 && !log.contains("Microsoft Access"); ++i) {
            program.waitForReadyRead(100);
            log += program.readAllStandardError();
        }
        QVERIFY2(log.contains("Bidwarden cannot use its list of blocked bidders"), log.constData());
        program.kill();
        program.waitForFinished();
        QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")), access);
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
