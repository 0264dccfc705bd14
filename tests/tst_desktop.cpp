// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "app/MessageBox.h"
#include "app/SingleInstance.h"
#include "store/StoreBackup.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QTest>
#include <QWidget>

namespace {

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

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The programs' sockets go in a folder of the test's, so the killed ones leave nothing behind.
        // The runtime folder lies in the temporary one, as a test's may: it is still the runtime folder.
        QVERIFY(m_temp.isValid() && QDir(m_temp.path()).mkpath("tmp/run"));
        QVERIFY(QFile::setPermissions(m_run = m_temp.filePath("tmp/run"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_run));
        qputenv("TMPDIR", QFile::encodeName(m_temp.filePath("tmp")));
    }
    void startsOnItsListAndStaysUp();
    void reportsAListItCannotUseAndLeavesIt();
    void secondStartRaisesTheFirstAndEnds();
    void lockLeftByACrashIsTakenOver();
    void socketNameThatCannotBeHadIsTold();
    void backupIsAConsistentCopyAndTheNewestTenAreKept();
    void backupOfAnEmptyStoreIsNotNeededAndFailuresChangeNothing();

private:
    QTemporaryDir m_temp;
    QString m_run;
};

void TestDesktop::startsOnItsListAndStaysUp()
{
    TestFolder folder;
    // What a killed run left: copies of cookie stores, in the runtime folder and the program's own;
    // and a running program's, which stay.
    QProcess gone;
    gone.start("true");
    QVERIFY(gone.waitForFinished());
    const QString stale = QStringLiteral("/bidwarden-cookies-%1-abcdef").arg(gone.processId());
    const QString running =
        m_run + QStringLiteral("/bidwarden-cookies-%1-abcdef").arg(QCoreApplication::applicationPid());
    QVERIFY(QDir().mkpath(m_run + stale) && QDir().mkpath(folder.path() + stale) && QDir().mkpath(running));
    // A store made the plain way: the program switches it to write-ahead logging as it opens it.
    folder.sql("CREATE TABLE Bidders (UserName, NARU, dateTime, Reason);"
               "INSERT INTO Bidders VALUES ('alice', 'No', '01/12/2026-10:00:00', 'x')");
    QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")).at(18), char(1));
    QProcess program;
    program.start(installProgram(folder));
    QVERIFY2(!program.waitForFinished(2000), program.readAllStandardError().constData());
    QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")).at(18), char(2));
    QVERIFY(!QFileInfo::exists(m_run + stale) && !QFileInfo::exists(folder.path() + stale) &&
            QFileInfo::exists(running));
    program.kill();
    program.waitForFinished();
}

void TestDesktop::reportsAListItCannotUseAndLeavesIt()
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
    program.kill();
    program.waitForFinished();
    QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")), access);
}

void TestDesktop::secondStartRaisesTheFirstAndEnds()
{
    TestFolder folder;
    folder.seed({bidder(QStringLiteral("a"))});
    const QString program = installProgram(folder);
    SingleInstance first(folder.path());
    QVERIFY(first.claim());
    QWidget window;
    window.showMinimized();

    QProcess second;
    second.start(program);
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY(!window.isMinimized() && window.isActiveWindow());
}

void TestDesktop::lockLeftByACrashIsTakenOver()
{
    TestFolder folder;
    folder.seed({bidder(QStringLiteral("a"))});
    const QString program = installProgram(folder);
    QProcess crashed, next, later;
    crashed.start(program);
    QTRY_COMPARE_WITH_TIMEOUT(lockOwner(folder), crashed.processId(), 10000);
    crashed.kill();
    QVERIFY(crashed.waitForFinished());

    // Something at the name the socket had in the shared temporary folder, as another user could
    // plant there, that cannot be removed: it no longer matters.
    const QByteArray hash =
        QCryptographicHash::hash(QFileInfo(folder.path()).canonicalFilePath().toUtf8(), QCryptographicHash::Sha256);
    const QString oldName = m_temp.filePath("tmp/bidwarden-" + hash.toHex().left(24));
    QFile::remove(oldName);
    QVERIFY(QDir().mkpath(oldName + "/taken"));
    next.start(program);
    QTRY_COMPARE_WITH_TIMEOUT(lockOwner(folder), next.processId(), 10000);
    // The crashed program's socket was replaced too: a later start reaches the new owner.
    later.start(program);
    QVERIFY(later.waitForFinished(10000));
    QCOMPARE(later.exitCode(), 0);
    next.kill();
    next.waitForFinished();
}

void TestDesktop::socketNameThatCannotBeHadIsTold()
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

void TestDesktop::backupIsAConsistentCopyAndTheNewestTenAreKept()
{
    TestFolder folder;
    // Kept open, so the rows are still in the write-ahead log and not yet in bidders.mdb itself.
    BidderStore writer(folder.storePath());
    const QList<Bidder> rows{bidder(QStringLiteral("alpha")), bidder(QStringLiteral("beta"), QStringLiteral("Yes"))};
    for (const Bidder &row : rows)
        QVERIFY(writer.add(row));
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("backups")));
    folder.write(QStringLiteral("backups/bidders-20200101-000000.mdb"), "oldest");
    folder.write(QStringLiteral("backups/notes.txt"), "not a backup");

    const QDateTime when(QDate(2026, 5, 12), QTime(12, 1, 17));
    StoreBackupResult last;
    for (int i = 0; i < 11; ++i) {
        last = BackUpStore(folder.storePath(), when);
        QCOMPARE(last.outcome, StoreBackupResult::Outcome::Saved);
    }
    // Eleven in the same second, each under its own name; the oldest planted one and the first
    // of the eleven make way.
    QStringList expected{QStringLiteral("notes.txt")};
    for (int suffix = 2; suffix <= 11; ++suffix)
        expected << QStringLiteral("bidders-20260512-120117-%1.mdb").arg(suffix);
    expected.sort();
    QCOMPARE(QDir(folder.file(QStringLiteral("backups"))).entryList(QDir::Files, QDir::Name), expected);
    QCOMPARE(last.backupPath, folder.file(QStringLiteral("backups/bidders-20260512-120117-11.mdb")));
    QCOMPARE(folder.bytes(QStringLiteral("backups/bidders-20260512-120117-11.mdb")).at(18), char(1)); // not in WAL mode
    QCOMPARE(*BidderStore(last.backupPath).readAll(), rows);
}

void TestDesktop::backupOfAnEmptyStoreIsNotNeededAndFailuresChangeNothing()
{
    TestFolder folder;
    QVERIFY(BidderStore(folder.storePath()).open());
    QCOMPARE(BackUpStore(folder.storePath()).outcome, StoreBackupResult::Outcome::NotNeeded);
    QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("backups"))));

    folder.seed({bidder(QStringLiteral("a"))});
    folder.write(QStringLiteral("backups"), "a file where the folder should be");
    const StoreBackupResult failed = BackUpStore(folder.storePath());
    QCOMPARE(failed.outcome, StoreBackupResult::Outcome::Failed);
    QVERIFY2(failed.message.contains(folder.file(QStringLiteral("backups"))), qPrintable(failed.message));
    QCOMPARE(folder.bytes(QStringLiteral("backups")), QByteArray("a file where the folder should be"));
    QCOMPARE(folder.storedNames(), QStringList{QStringLiteral("a")});
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
