// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "app/SingleInstance.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <unistd.h>

namespace {

const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// The real program, copied so that the test's folder is its application folder.
QString installProgram(const TestFolder &folder)
{
    const QString program = folder.file(QStringLiteral("bidwarden"));
    if (!QFile::copy(QStringLiteral(BIDWARDEN_EXECUTABLE), program))
        QTest::qFail("cannot copy " BIDWARDEN_EXECUTABLE, __FILE__, __LINE__);
    return program;
}

qint64 lockOwner(const TestFolder &folder)
{
    qint64 pid = 0;
    QLockFile(folder.file(QString::fromLatin1(SingleInstance::LockFileName))).getLockInfo(&pid, nullptr, nullptr);
    return pid;
}

void stop(QProcess &program)
{
    program.kill();
    program.waitForFinished();
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;
    QString m_run;

private slots:
    void initTestCase()
    {
        // The programs' sockets go in a folder of the test's, so the killed ones leave nothing behind.
        // The runtime folder lies in the temporary one, as a test's may: it is still the runtime folder.
        QVERIFY(m_temp.isValid() && QDir(m_temp.path()).mkpath("tmp/run"));
        QVERIFY(QFile::setPermissions(m_run = m_temp.filePath("tmp/run"), ownerOnly));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_run));
        qputenv("TMPDIR", QFile::encodeName(m_temp.filePath("tmp")));
    }

    void startsOnItsListAndStaysUp()
    {
        TestFolder folder;
        // What a killed run left: cookie store copies (only those in the runtime folder are its) and a page file.
        QProcess gone;
        gone.start("true");
        QVERIFY(gone.waitForStarted()); // its id is 0 once it has finished
        const QString stale = QStringLiteral("/bidwarden-cookies-%1-abcdef").arg(gone.processId());
        QVERIFY(gone.waitForFinished());
        QVERIFY(QDir().mkpath(m_run + stale) && QDir().mkpath(folder.path() + stale));
        folder.write(QStringLiteral("naru.htm.Xy12Ab"), "half a page");
        // A store made the plain way: the program switches it to write-ahead logging as it opens it.
        folder.sql("CREATE TABLE Bidders (UserName, NARU, dateTime, Reason);"
                   "INSERT INTO Bidders VALUES ('alice', 'No', '01/12/2026-10:00:00', 'x')");
        QProcess program;
        program.start(installProgram(folder));
        QVERIFY2(!program.waitForFinished(2000), program.readAllStandardError().constData());
        QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")).at(18), char(2));
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("naru.htm.Xy12Ab"))));
        QVERIFY(!QFileInfo::exists(m_run + stale) && QFileInfo::exists(folder.path() + stale));
        stop(program);
    }

    // An installed program, whose folder its user may not write, keeps its lock and list in the user's data
    // folder, made private; which folders qualify is the store's to say.
    void keepsItsFilesWhereItsUserMayWrite()
    {
        // Root may write anywhere, so the program runs as an ordinary user (nobody's ids).
        const bool root = geteuid() == 0;
        if (root && QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("running as root without setpriv: cannot start the program as an ordinary user");
        const uid_t user = root ? 65534 : geteuid();
        // In the test's own temporary folder, which the other user must be able to cross.
        QFile::setPermissions(m_temp.path(), ownerOnly | QFile::ExeOther);
        const auto all = ownerOnly | QFile::ReadOther | QFile::ExeOther;
        QTemporaryDir top;
        const QString bin = top.filePath("bin"), home = top.filePath("home"), data = home + "/.local/share/bidwarden";
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(home) && QFile::copy(BIDWARDEN_EXECUTABLE, bin + "/bidwarden"));
        QVERIFY(::chown(QFile::encodeName(home), user, user) == 0 && ::chown(QFile::encodeName(bin), user, user) == 0);
        QFile::setPermissions(top.path(), all);
        QFile::setPermissions(home, ownerOnly);
        QFile::setPermissions(bin, all & ~QFile::WriteOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_DATA_HOME");
        for (const char *name : {"HOME", "TMPDIR", "XDG_RUNTIME_DIR"})
            env.insert(name, home);
        QProcess program;
        program.setProcessEnvironment(env);
        QStringList command{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", bin + "/bidwarden"};
        program.start(command.mid(root ? 0 : 4).first(), command.mid(root ? 1 : 5));
        QTRY_VERIFY_WITH_TIMEOUT(
            QFileInfo::exists(data + "/bidwarden.lock") && QFileInfo::exists(data + "/bidders.mdb"), 10000);
        QVERIFY2(program.state() == QProcess::Running, program.readAllStandardError().constData());
        stop(program);
        QCOMPARE(QFileInfo(data + "/bidders.mdb").ownerId(), user);
        QCOMPARE(QFileInfo(data).permissions() & 0x7077, ownerOnly);
        QFile::setPermissions(bin, all);
    }

    void reportsAListItCannotUseAndLeavesIt()
    {
        TestFolder folder;
        QByteArray access("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        access.append(2048, 'z');
        folder.write(QStringLiteral("bidders.mdb"), access);
        QProcess program;
        program.start(installProgram(folder));
        // The report waits for the user in its message box; its text also goes to the log.
        QByteArray log;
        for (int i = 0; i < 50 && !log.contains("Microsoft Access"); ++i) {
            program.waitForReadyRead(100);
            log += program.readAllStandardError();
        }
        QVERIFY2(log.contains("Bidwarden cannot use its list of blocked bidders"), log.constData());
        stop(program);
        QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")), access);
    }

    // A second start brings the running program forward and ends, also once the lock, and socket, of a crashed
    // run were taken over.
    void secondStartRaisesTheFirstAndEnds()
    {
        TestFolder folder;
        folder.seed({bidder(QStringLiteral("a"))});
        const QString program = installProgram(folder);
        QProcess crashed, second;
        crashed.start(program);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(SingleInstance::serverName(folder.path())), 10000);
        QCOMPARE(lockOwner(folder), crashed.processId());
        stop(crashed);
        SingleInstance first(folder.path());
        QVERIFY(first.claim());
        QWidget window;
        window.showMinimized();
        second.start(program);
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(!window.isMinimized() && window.isActiveWindow());
    }

    void socketNameThatCannotBeHadIsTold()
    {
        TestFolder folder;
        const QString name = SingleInstance::serverName(folder.path());
        QVERIFY(name.startsWith(m_run + '/') && QDir().mkpath(name + "/taken"));
        SingleInstance first(folder.path());
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QVERIFY(first.claim()); // the list is safe under the lock: the program goes on
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QVERIFY(shown.size() == 1 && shown[0].text.contains(name));
    }

    void aHolderThatDoesNotSayRaisedIsNoHandOver()
    {
        // The lock is held, and something answers at the socket, but not as a running Bidwarden does.
        TestFolder folder;
        QLockFile held(folder.file(QString::fromLatin1(SingleInstance::LockFileName)));
        QVERIFY(held.tryLock(0));
        std::unique_ptr<QThread> holder(QThread::create([name = SingleInstance::serverName(folder.path())] {
            QLocalServer server;
            if (server.listen(name) && server.waitForNewConnection(10000)) {
                QLocalSocket *socket = server.nextPendingConnection();
                socket->write("busy\n");
                socket->waitForDisconnected(3000);
            }
        }));
        holder->start();
        SingleInstance second(folder.path());
        MessageBox::setNextAnswer(QMessageBox::Ok);
        const bool claimed = second.claim();
        holder->wait();
        QVERIFY(!claimed && second.exitCode() == 1);
        QVERIFY(MessageBox::takeShown().value(0).text.contains(QStringLiteral("already running")));
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
