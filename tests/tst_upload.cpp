#include "GuiTest.h"
#include "SiteWindowTest.h"
#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

class TestUpload : public SiteWindowTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void uploadSendsTheListInDisplayOrder_data();
    void uploadSendsTheListInDisplayOrder();
    void answeringNoSendsNothing();
    void unusualIdsSurviveTheRoundTrip();
    void aLongListStillFitsOnTheScreen();
    void failedUploadsAreNotReportedAsDone_data();
    void failedUploadsAreNotReportedAsDone();

private:
    void clickSave() { QTest::mouseClick(m_main->findChild<QPushButton *>("Command4"), Qt::LeftButton); }
};

void TestUpload::initTestCase()
{
    setUpProgram();
}

void TestUpload::init()
{
    setUpTest();
    m_site->setSellerList({"old1", "old2"});
}

void TestUpload::cleanup()
{
    tearDownTest();
}

void TestUpload::uploadSendsTheListInDisplayOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("headerClicks");
    QTest::addColumn<QString>("listText");
    QTest::newRow("three") << QStringList{"alice", "bob", "carol"} << 0 << "alice, bob, carol";
    QTest::newRow("one") << QStringList{"alice"} << 0 << "alice";
    QTest::newRow("none") << QStringList{} << 0 << "";
    QTest::newRow("sorted descending") << QStringList{"bob", "carol", "alice"} << 2 << "carol, bob, alice";
}

void TestUpload::uploadSendsTheListInDisplayOrder()
{
    QFETCH(QStringList, names);
    QFETCH(int, headerClicks);
    QFETCH(QString, listText);
    QList<Bidder> rows;
    for (const QString &name : names)
        rows << bidder(name);
    openMain(rows);
    auto *header = m_main->findChild<QTreeWidget *>("ListView1")->header();
    for (int i = 0; i < headerClicks; ++i)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(20, 5));

    MessageBox::setNextAnswer(QMessageBox::Yes);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    clickSave();

    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].title, QStringLiteral("Submit to eBay"));
    QCOMPARE(shown[0].text, names.isEmpty() ? QStringLiteral("Remove all your blocked bidders?")
                                            : QStringLiteral("Add ") + listText + " to your blocked bidders?");
    QCOMPARE(shown[0].icon, QMessageBox::Question);
    QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(shown[1].title, QStringLiteral("Wardenkeep"));
    QCOMPARE(shown[1].text, QStringLiteral("Added ") + listText + " to your eBay Blocked Bidders");
    QCOMPARE(shown[1].icon, QMessageBox::NoIcon);
    QCOMPARE(shown[1].buttons, QMessageBox::Ok);

    const auto requests = m_site->requests();
    QCOMPARE(requests.size(), size_t(2)); // the post, and the list read back
    QCOMPARE(QString::fromStdString(requests[0].method), QStringLiteral("POST"));
    QCOMPARE(QString::fromStdString(requests[0].target), QStringLiteral("/aw-cgi/eBayISAPI.dll"));
    QCOMPARE(QString::fromStdString(requests[0].body),
             QStringLiteral("MfcISAPICommand=BidderBlockResult&userid=&pass=&bidderlist=") + listText + "&");
    QCOMPARE(m_site->sellerList().size(), size_t(names.size()));
    QVERIFY(!m_folder->bytes(QStringLiteral("response2.htm")).isEmpty());
    // The store is not touched by an upload.
    QCOMPARE(m_folder->storedNames(), names);
}

void TestUpload::answeringNoSendsNothing()
{
    openMain({bidder("alice")});
    m_folder->write(QStringLiteral("response2.htm"), "earlier reply");
    // Answered in a real message box, to prove the question is a real Yes/No box.
    QString seenTitle;
    whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        seenTitle = box->windowTitle();
        box->button(QMessageBox::No)->click();
    });
    clickSave();
    QCOMPARE(seenTitle, QStringLiteral("Submit to eBay"));
    QCOMPARE(MessageBox::takeShown().size(), 1);
    QVERIFY(m_site->requests().empty());
    QCOMPARE(m_folder->bytes(QStringLiteral("response2.htm")), QByteArray("earlier reply"));
    QCOMPARE(m_site->sellerList(), std::vector<std::string>({"old1", "old2"}));
}

void TestUpload::unusualIdsSurviveTheRoundTrip()
{
    const QStringList names = {"plain.id_1-x*", "two words", "fish&chips", "Zoë"};
    QList<Bidder> rows;
    for (const QString &name : names)
        rows << bidder(name);
    openMain(rows);
    MessageBox::setNextAnswer(QMessageBox::Yes);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    clickSave();
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].text, QStringLiteral("Add plain.id_1-x*, two words, fish&chips, Zoë to your blocked bidders?"));
    // Ids the site accepts today go byte for byte; anything else is encoded so that it cannot
    // break the form or ask about another id.
    QCOMPARE(QString::fromStdString(m_site->requests().at(0).body),
             QStringLiteral("MfcISAPICommand=BidderBlockResult&userid=&pass=&bidderlist="
                            "plain.id_1-x*, two%20words, fish%26chips, Zo%C3%AB&"));
    QStringList onSite;
    for (const std::string &id : m_site->sellerList())
        onSite << QString::fromStdString(id);
    QCOMPARE(onSite, names);
}

void TestUpload::aLongListStillFitsOnTheScreen()
{
    QList<Bidder> rows;
    for (int i = 0; i < 2000; ++i)
        rows << bidder(QStringLiteral("bidder_%1_uk").arg(i));
    openMain(rows);

    // Both the question and the notice name every bidder; answered by clicking, as a user would.
    struct Seen
    {
        QString title, text;
        int height = 0;
        bool fits = false;
    } question, notice;
    auto look = [](QWidget *modal, Seen *seen) {
        seen->title = modal->windowTitle();
        if (auto *text = modal->findChild<QPlainTextEdit *>())
            seen->text = text->toPlainText();
        seen->height = modal->height();
        seen->fits = modal->screen()->availableGeometry().height() >= modal->frameGeometry().height();
    };
    whenModal([&](QWidget *modal) {
        look(modal, &question);
        whenModal([&](QWidget *second) {
            look(second, &notice);
            QTest::keyClick(second, Qt::Key_Return);
        });
        for (auto *button : modal->findChildren<QPushButton *>())
            if (button->text().remove(QLatin1Char('&')) == QLatin1String("Yes"))
                button->click();
    });
    clickSave();
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[1].title == QStringLiteral("Wardenkeep"), qPrintable(shown[1].text));

    QCOMPARE(question.title, QStringLiteral("Submit to eBay"));
    QVERIFY(question.text.startsWith(QStringLiteral("Add bidder_0_uk, bidder_1_uk, ")));
    QVERIFY(question.text.endsWith(QStringLiteral(", bidder_1999_uk to your blocked bidders?")));
    QVERIFY2(question.fits, qPrintable(QString::number(question.height)));
    QVERIFY2(notice.title == QStringLiteral("Wardenkeep"), qPrintable(notice.text.left(300)));
    QVERIFY(notice.text.endsWith(QStringLiteral(", bidder_1999_uk to your eBay Blocked Bidders")));
    QVERIFY(notice.fits);
    QCOMPARE(m_site->sellerList().size(), size_t(2000));
}

void TestUpload::failedUploadsAreNotReportedAsDone_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("says");
    QTest::newRow("refused") << "refused"
                             << "127.0.0.1";
    QTest::newRow("error status") << "status"
                                  << "status 500";
    QTest::newRow("dropped") << "drop"
                             << "127.0.0.1";
    // A session that expired sends the post to the sign-in page, which answers 200 to a GET.
    QTest::newRow("redirected to sign in") << "redirect"
                                           << "status 302";
}

void TestUpload::failedUploadsAreNotReportedAsDone()
{
    QFETCH(QString, failure);
    QFETCH(QString, says);
    openMain({bidder("alice")});
    m_folder->write(QStringLiteral("response2.htm"), "earlier reply");
    if (failure == QLatin1String("refused"))
        m_site->stop();
    if (failure == QLatin1String("status"))
        m_site->setFault({500, 0, false});
    if (failure == QLatin1String("drop"))
        m_site->setFault({0, 0, true});
    if (failure == QLatin1String("redirect"))
        m_site->setUploadFault({302, 0, false}, "/aw-cgi/eBayISAPI.dll?BidderBlockLogin");

    MessageBox::setNextAnswer(QMessageBox::Yes);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    clickSave();
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1].title, QStringLiteral("Bidwarden"));
    QVERIFY2(!shown[1].text.startsWith(QStringLiteral("Added")), qPrintable(shown[1].text));
    QVERIFY2(shown[1].text.contains(says), qPrintable(shown[1].text));
    QCOMPARE(m_site->sellerList(), std::vector<std::string>({"old1", "old2"}));
    // A reply that came back is kept for the user to read; otherwise the earlier one stays.
    if (failure == QLatin1String("status") || failure == QLatin1String("redirect"))
        QVERIFY(m_folder->bytes(QStringLiteral("response2.htm")) != "earlier reply");
    else
        QCOMPARE(m_folder->bytes(QStringLiteral("response2.htm")), QByteArray("earlier reply"));
}

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
