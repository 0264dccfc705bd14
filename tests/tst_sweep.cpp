#include "GuiTest.h"
#include "SiteWindowTest.h"
#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"
#include "sweep/NARU.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

class TestSweep : public SiteWindowTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sweepRechecksEveryRowInListOrder();
    void duplicatesAndRowsWithoutARecord();
    void failedLookupStopsTheSweep_data();
    void failedLookupStopsTheSweep();
    void emptyListMakesNoRequest();
    void closingBeforeTheStartMakesNoRequest();

private:
    // Runs one sweep the way the main window does; returns the progress positions it showed.
    QList<int> runSweep(int *maximum = nullptr);
    QStringList requestedIds();
    QStringList naruColumn();
};

void TestSweep::initTestCase()
{
    setUpProgram();
}

void TestSweep::init()
{
    setUpTest();
}

void TestSweep::cleanup()
{
    tearDownTest();
}

QList<int> TestSweep::runSweep(int *maximum)
{
    NARU sweep(*m_main);
    auto *bar = sweep.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    QList<int> positions;
    connect(bar, &QProgressBar::valueChanged, bar, [&positions](int value) { positions << value; });
    if (maximum)
        *maximum = bar->maximum();
    // The sweep never returns to the event loop: each position must be painted there and then.
    PaintRecorder painted;
    bar->installEventFilter(&painted);
    sweep.exec();
    for (int position : positions)
        if (!painted.values.contains(position))
            QTest::qFail(qPrintable(QStringLiteral("position %1 was never painted").arg(position)), __FILE__, __LINE__);
    return positions;
}

QStringList TestSweep::requestedIds()
{
    QStringList ids;
    const QString prefix = QStringLiteral("/aw-cgi/eBayISAPI.dll?MfcISAPICommand=ReturnUserIdHistory&requested=");
    for (const auto &request : m_site->requests())
        ids << QString::fromStdString(request.target).remove(prefix);
    return ids;
}

QStringList TestSweep::naruColumn()
{
    QStringList values;
    for (int row = 1; row <= m_main->rowCount(); ++row)
        values << m_main->cellText(row, 1);
    return values;
}

void TestSweep::sweepRechecksEveryRowInListOrder()
{
    openMain({bidder("carol", "Yes"), bidder("alice", "No"), bidder("bob", "No")});
    m_site->setNaruIds({"alice"});
    m_site->setHistoryPage("bob", "<b>Not a registered user</b>");

    MessageBox::setNextAnswer(QMessageBox::Ok);
    int maximum = 0;
    const QList<int> positions = runSweep(&maximum);

    QCOMPARE(maximum, 3);
    QCOMPARE(positions, QList<int>({1, 2, 3}));
    QCOMPARE(requestedIds(), QStringList({"carol", "alice", "bob"}));
    QCOMPARE(naruColumn(), QStringList({"No", "Yes", "No"}));
    QCOMPARE(m_folder->stored(), QList<Bidder>({bidder("carol", "No"), bidder("alice", "Yes"), bidder("bob", "No")}));
    QCOMPARE(m_folder->bytes(QStringLiteral("naru.htm")), QByteArray("<b>Not a registered user</b>"));

    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Bidwarden Management"));
    QCOMPARE(shown[0].text, QStringLiteral("All usernames checked."));
    QCOMPARE(shown[0].icon, QMessageBox::Information);
    QCOMPARE(shown[0].buttons, QMessageBox::Ok);
}

void TestSweep::duplicatesAndRowsWithoutARecord()
{
    openMain({bidder("dup", "No", "d1"), bidder("o'brien", "No"), bidder("DUP", "No", "d2"), bidder("gone", "No")});
    // "gone" leaves the store behind the list's back.
    BidderStore(m_folder->storePath()).removeUser(QStringLiteral("gone"));
    m_site->setNaruIds({"dup", "DUP", "o'brien", "gone"});

    MessageBox::setNextAnswer(QMessageBox::Ok);
    QCOMPARE(runSweep(), QList<int>({1, 2, 3, 4}));
    QCOMPARE(MessageBox::takeShown().size(), 1);
    QCOMPARE(naruColumn(), QStringList({"Yes", "Yes", "Yes", "Yes"}));
    // Only the first stored row of a name is changed, however many list rows carry it.
    QCOMPARE(m_folder->stored(),
             QList<Bidder>({bidder("dup", "Yes", "d1"), bidder("o'brien", "Yes"), bidder("DUP", "No", "d2")}));
}

void TestSweep::failedLookupStopsTheSweep_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("drop");
    QTest::newRow("error status") << 503 << false;
    QTest::newRow("dropped connection") << 0 << true;
}

void TestSweep::failedLookupStopsTheSweep()
{
    QFETCH(int, status);
    QFETCH(bool, drop);
    openMain({bidder("alice", "No"), bidder("bob", "No"), bidder("carol", "No")});
    // bob's history page has no phrase, so an error status cannot pass for an answer.
    m_site->setNaruIds({"alice", "carol"});
    m_site->setLookupFault("bob", {status, 0, drop});

    MessageBox::setNextAnswer(QMessageBox::Ok);
    QCOMPARE(runSweep(), QList<int>({1}));
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Bidwarden"));
    QVERIFY2(shown[0].text.contains(QStringLiteral("\"bob\"")), qPrintable(shown[0].text));
    QCOMPARE(requestedIds(), QStringList({"alice", "bob", "bob", "bob"})); // bob tried 3 times
    QCOMPARE(naruColumn(), QStringList({"Yes", "No", "No"}));
    QCOMPARE(m_folder->stored(), QList<Bidder>({bidder("alice", "Yes"), bidder("bob", "No"), bidder("carol", "No")}));
}

void TestSweep::emptyListMakesNoRequest()
{
    openMain({});
    MessageBox::setNextAnswer(QMessageBox::Ok);
    int maximum = 0;
    QVERIFY(runSweep(&maximum).isEmpty());
    QVERIFY(maximum > 0);
    QVERIFY(m_site->requests().empty());
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("All usernames checked."));
}

void TestSweep::closingBeforeTheStartMakesNoRequest()
{
    openMain({bidder("alice")});
    {
        NARU sweep(*m_main);
        sweep.show();
        sweep.close();
    }
    QTest::qWait(700);
    QVERIFY(m_site->requests().empty());
    QVERIFY(MessageBox::takeShown().isEmpty());

    // From the main window's button: the window comes and goes by itself.
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(m_main->findChild<QPushButton *>("Command3"), Qt::LeftButton);
    QCOMPARE(MessageBox::takeShown().size(), 1);
    QCOMPARE(m_site->requests().size(), size_t(1));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestSweep)
#include "tst_sweep.moc"
