#include "GuiTest.h"
#include "SiteWindowTest.h"
#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"
#include "dialogs/BBidder.h"
#include "dialogs/BlockedBidder.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>

class TestDialogs : public SiteWindowTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void blockBidderLayout();
    void blockBidderSavesWhatWasTyped();
    void blockBidderNaruAnswers();
    void blockBidderCancelChangesNothing();
    void blockBidderFailuresLeaveNoRow_data();
    void blockBidderFailuresLeaveNoRow();
    void blockBidderFromTheMainWindow();

    void informationLayoutAndColours();
    void informationSavesDateAndReason();
    void informationCancelAndDuplicates();
    void informationWithoutARecord();
    void informationFromADoubleClick();

private:
    QStringList shownNames();
    QString naruPage() const { return QString::fromUtf8(m_folder->bytes(QStringLiteral("naru.htm"))); }
};

void TestDialogs::initTestCase()
{
    setUpProgram();
}

void TestDialogs::init()
{
    setUpTest();
}

void TestDialogs::cleanup()
{
    tearDownTest();
}

QStringList TestDialogs::shownNames()
{
    QStringList names;
    for (int row = 1; row <= m_main->rowCount(); ++row)
        names << m_main->rowText(row);
    return names;
}

void TestDialogs::blockBidderLayout()
{
    openMain({bidder("alice")});
    BBidder dialog(*m_main);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QVERIFY(dialog.findChild<QPushButton *>("Save")->isDefault());

    // Focus starts in the user id box and tabs through the reason to Save and Cancel.
    QStringList order;
    for (int i = 0; i < 4; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"UserName", "Reason", "Save", "Cancel"}));
    QCOMPARE(dialog.findChild<QLineEdit *>("UserName")->maxLength(), 32767);
}

void TestDialogs::blockBidderSavesWhatWasTyped()
{
    openMain({bidder("carol"), bidder("alice")});
    // A sort before the add: the new row still goes to the end.
    auto *tree = m_main->findChild<QTreeWidget *>("ListView1");
    QTest::mouseClick(tree->header()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    QCOMPARE(shownNames(), QStringList({"alice", "carol"}));

    const QString typed = QStringLiteral(" O'Brien ");
    BBidder dialog(*m_main);
    dialog.show();
    QTest::keyClicks(dialog.findChild<QLineEdit *>("UserName"), typed);
    QTest::keyClicks(dialog.findChild<QLineEdit *>("Reason"), QStringLiteral("paid with a bounced cheque"));
    // Enter in either box is Save.
    QTest::keyClick(dialog.findChild<QLineEdit *>("Reason"), Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    QCOMPARE(shownNames(), QStringList({"alice", "carol", typed}));
    const QList<Bidder> stored = m_folder->stored();
    QCOMPARE(stored.size(), 3);
    const Bidder &added = stored.last();
    QCOMPARE(added.userName, typed);
    QCOMPARE(added.naru, QStringLiteral("No"));
    QCOMPARE(added.reason, QStringLiteral("paid with a bounced cheque"));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4}-\\d\\d:\\d\\d:\\d\\d$"))
                 .match(added.dateTime)
                 .hasMatch(),
             qPrintable(added.dateTime));
    QCOMPARE(m_main->cellText(3, 1), added.naru);
    QCOMPARE(m_main->cellText(3, 2), added.dateTime);
    QCOMPARE(m_main->cellText(3, 3), added.reason);

    // The id went to the site with its spaces (encoded, so the request stays valid).
    const auto requests = m_site->requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(QString::fromStdString(requests[0].target),
             QStringLiteral("/aw-cgi/eBayISAPI.dll?MfcISAPICommand=ReturnUserIdHistory&requested=%20O%27Brien%20"));

    // The same id again, with no reason, makes a second row and a second record.
    BBidder again(*m_main);
    again.show();
    QTest::keyClicks(again.findChild<QLineEdit *>("UserName"), typed);
    QTest::mouseClick(again.findChild<QPushButton *>("Save"), Qt::LeftButton);
    QCOMPARE(shownNames(), QStringList({"alice", "carol", typed, typed}));
    QCOMPARE(m_folder->stored().size(), 4);
    QCOMPARE(m_folder->stored().last().reason, QString());
    QCOMPARE(m_main->cellText(4, 3), QString());
}

void TestDialogs::blockBidderNaruAnswers()
{
    openMain({bidder("alice")});
    m_site->setNaruIds({"ghost"});
    m_site->setHistoryPage("shouty", "<p>Not a registered user</p>\r\n");
    m_site->setHistoryPage("", "<html>no such page</html>");
    const struct
    {
        QString id;
        QString naru;
    } cases[] = {{"ghost", "Yes"}, {"shouty", "No"}, {"", "No"}};
    for (const auto &c : cases) {
        BBidder dialog(*m_main);
        dialog.show();
        QTest::keyClicks(dialog.findChild<QLineEdit *>("UserName"), c.id);
        QTest::mouseClick(dialog.findChild<QPushButton *>("Save"), Qt::LeftButton);
        QCOMPARE(m_main->rowText(m_main->rowCount()), c.id);
        QCOMPARE(m_main->cellText(m_main->rowCount(), 1), c.naru);
        QCOMPARE(m_folder->stored().last().naru, c.naru);
    }
    QCOMPARE(naruPage(), QStringLiteral("<html>no such page</html>"));
    QCOMPARE(QString::fromStdString(m_site->requests().back().target),
             QStringLiteral("/aw-cgi/eBayISAPI.dll?MfcISAPICommand=ReturnUserIdHistory&requested="));
}

void TestDialogs::blockBidderCancelChangesNothing()
{
    openMain({bidder("alice")});
    m_folder->write(QStringLiteral("naru.htm"), "earlier reply");
    for (const bool escape : {false, true}) {
        BBidder dialog(*m_main);
        dialog.show();
        QTest::keyClicks(dialog.findChild<QLineEdit *>("UserName"), QStringLiteral("bob"));
        QTest::keyClicks(dialog.findChild<QLineEdit *>("Reason"), QStringLiteral("why"));
        if (escape)
            QTest::keyClick(dialog.findChild<QLineEdit *>("Reason"), Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QPushButton *>("Cancel"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QCOMPARE(shownNames(), QStringList{"alice"});
    QCOMPARE(m_folder->storedNames(), QStringList{"alice"});
    QCOMPARE(naruPage(), QStringLiteral("earlier reply"));
    QVERIFY(m_site->requests().empty());
}

void TestDialogs::blockBidderFailuresLeaveNoRow_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("says");
    QTest::newRow("site refuses the connection") << "refused"
                                                 << "127.0.0.1";
    QTest::newRow("site answers with an error") << "status"
                                                << "503";
    QTest::newRow("store unusable") << "store"
                                    << "bidders.mdb";
}

void TestDialogs::blockBidderFailuresLeaveNoRow()
{
    QFETCH(QString, failure);
    QFETCH(QString, says);
    openMain({bidder("alice")});
    if (failure == QLatin1String("refused"))
        m_site->stop();
    if (failure == QLatin1String("status"))
        m_site->setFault({503, 0, false});
    const QByteArray garbage(2048, 'g');
    if (failure == QLatin1String("store")) {
        QFile::remove(m_folder->storePath());
        m_folder->write(QStringLiteral("bidders.mdb"), garbage);
    }

    BBidder dialog(*m_main);
    dialog.show();
    QTest::keyClicks(dialog.findChild<QLineEdit *>("UserName"), QStringLiteral("bob"));
    QTest::keyClicks(dialog.findChild<QLineEdit *>("Reason"), QStringLiteral("kept"));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(dialog.findChild<QPushButton *>("Save"), Qt::LeftButton);

    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Bidwarden"));
    QVERIFY2(shown[0].text.contains(says), qPrintable(shown[0].text));
    QCOMPARE(shownNames(), QStringList{"alice"});
    // What was typed is still there to try again.
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.findChild<QLineEdit *>("UserName")->text(), QStringLiteral("bob"));
    QCOMPARE(dialog.findChild<QLineEdit *>("Reason")->text(), QStringLiteral("kept"));
    if (failure == QLatin1String("store"))
        QCOMPARE(m_folder->bytes(QStringLiteral("bidders.mdb")), garbage);
    else
        QCOMPARE(m_folder->storedNames(), QStringList{"alice"});
}

void TestDialogs::blockBidderFromTheMainWindow()
{
    openMain({bidder("alice")});
    whenModal([](QWidget *dialog) {
        QTest::keyClicks(dialog->findChild<QLineEdit *>("UserName"), QStringLiteral("zed"));
        QTest::keyClick(dialog->findChild<QLineEdit *>("UserName"), Qt::Key_Enter);
    });
    QTest::mouseClick(m_main->findChild<QPushButton *>("Command5"), Qt::LeftButton);
    QCOMPARE(shownNames(), QStringList({"alice", "zed"}));
    QCOMPARE(m_folder->storedNames(), QStringList({"alice", "zed"}));
}

void TestDialogs::informationLayoutAndColours()
{
    openMain({bidder("yes", "Yes"), bidder("no", "No"), bidder("empty", ""), bidder("lower", "yes")});
    const QColor normal = QLineEdit().palette().color(QPalette::Text);
    const QColor expected[] = {QColor(255, 0, 0), normal, normal, normal};
    for (int row = 1; row <= 4; ++row) {
        m_main->selectRow(row);
        BlockedBidder dialog(*m_main);
        QVERIFY(dialog.Form_Load());
        auto *naru = dialog.findChild<QLineEdit *>("NARU");
        QCOMPARE(naru->palette().color(QPalette::Text), expected[row - 1]);
        if (row > 1)
            continue;
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        // Shown as "Date & Time:": a label without a buddy shows a single ampersand as it is.
        QCOMPARE(dialog.findChild<QLabel *>("DateTimeL")->text(), QStringLiteral("Date & Time:"));
        QVERIFY(dialog.findChild<QLineEdit *>("UserName")->isReadOnly());
        QVERIFY(naru->isReadOnly());
        QStringList order;
        for (int i = 0; i < 4; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, QStringList({"Command1", "DateTime", "Reason", "Command2"}));
    }
}

void TestDialogs::informationSavesDateAndReason()
{
    openMain({bidder("alice"), bidder("bob", "Yes", "05/11/2026-09:00:00", "old reason"), bidder("carol")});
    m_main->selectRow(2);
    {
        BlockedBidder dialog(*m_main);
        QVERIFY(dialog.Form_Load());
        QCOMPARE(dialog.findChild<QLineEdit *>("UserName")->text(), QStringLiteral("bob"));
        QCOMPARE(dialog.findChild<QLineEdit *>("NARU")->text(), QStringLiteral("Yes"));
        QCOMPARE(dialog.findChild<QLineEdit *>("DateTime")->text(), QStringLiteral("05/11/2026-09:00:00"));
        QCOMPARE(dialog.findChild<QLineEdit *>("Reason")->text(), QStringLiteral("old reason"));
        dialog.show();
        dialog.findChild<QLineEdit *>("DateTime")->setText(QStringLiteral("sometime last winter"));
        dialog.findChild<QLineEdit *>("Reason")->setText(QStringLiteral("it's a new reason"));
        QTest::mouseClick(dialog.findChild<QPushButton *>("Command1"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(m_folder->stored().at(1), bidder("bob", "Yes", "sometime last winter", "it's a new reason"));
    QCOMPARE(m_main->rowText(2), QStringLiteral("bob"));
    QCOMPARE(m_main->cellText(2, 1), QStringLiteral("Yes"));
    QCOMPARE(m_main->cellText(2, 2), QStringLiteral("sometime last winter"));
    QCOMPARE(m_main->cellText(2, 3), QStringLiteral("it's a new reason"));

    // Enter right after opening is Save, writing the same texts back.
    const QList<Bidder> before = m_folder->stored();
    BlockedBidder again(*m_main);
    QVERIFY(again.Form_Load());
    again.show();
    again.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&again));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!again.isVisible());
    QCOMPARE(again.result(), int(QDialog::Accepted));
    QCOMPARE(m_folder->stored(), before);
}

void TestDialogs::informationCancelAndDuplicates()
{
    openMain({bidder("dup", "No", "d1", "first"), bidder("DUP", "Yes", "d2", "second"),
              bidder("ghost", "Yes", "d3", "marked")});
    const QList<Bidder> before = m_folder->stored();

    // Cancel, Escape: nothing written anywhere.
    m_main->selectRow(1);
    for (const bool escape : {false, true}) {
        BlockedBidder dialog(*m_main);
        QVERIFY(dialog.Form_Load());
        dialog.show();
        dialog.findChild<QLineEdit *>("Reason")->setText(QStringLiteral("changed"));
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QPushButton *>("Command2"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(m_folder->stored(), before);
    QCOMPARE(m_main->cellText(1, 3), QStringLiteral("first"));

    // The second row shows and edits the first record of that name; the other is untouched.
    m_main->selectRow(2);
    BlockedBidder dialog(*m_main);
    QVERIFY(dialog.Form_Load());
    QCOMPARE(dialog.findChild<QLineEdit *>("Reason")->text(), QStringLiteral("first"));
    dialog.findChild<QLineEdit *>("Reason")->setText(QStringLiteral("edited"));
    QTest::mouseClick(dialog.findChild<QPushButton *>("Command1"), Qt::LeftButton);
    QCOMPARE(m_folder->stored().at(0).reason, QStringLiteral("edited"));
    QCOMPARE(m_folder->stored().at(1).reason, QStringLiteral("second"));
    QCOMPARE(m_main->cellText(2, 3), QStringLiteral("edited"));

    // A row marked " [NARU]" is looked up by the id alone.
    const int marked = m_main->appendRow(QStringLiteral("ghost [NARU]"));
    m_main->selectRow(marked);
    BlockedBidder naru(*m_main);
    QVERIFY(naru.Form_Load());
    QCOMPARE(naru.findChild<QLineEdit *>("UserName")->text(), QStringLiteral("ghost"));
    QCOMPARE(BlockedBidder::lookupId(QStringLiteral("a [NARU] b")), QStringLiteral("a [NARU] b"));
    QCOMPARE(BlockedBidder::lookupId(QStringLiteral("a [naru]")), QStringLiteral("a [naru]"));
}

void TestDialogs::informationWithoutARecord()
{
    openMain({bidder("alice"), bidder("o'brien")});
    // An apostrophe is just a character.
    m_main->selectRow(2);
    {
        BlockedBidder dialog(*m_main);
        QVERIFY(dialog.Form_Load());
        QCOMPARE(dialog.findChild<QLineEdit *>("UserName")->text(), QStringLiteral("o'brien"));
    }

    // The record went behind the list's back: the user is told, nothing is shown or saved.
    BidderStore(m_folder->storePath()).removeUser(QStringLiteral("alice"));
    m_main->selectRow(1);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    BlockedBidder dialog(*m_main);
    QVERIFY(!dialog.Form_Load());
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Bidwarden"));
    QVERIFY2(shown[0].text.contains(QStringLiteral("\"alice\"")), qPrintable(shown[0].text));
    QCOMPARE(m_folder->storedNames(), QStringList{"o'brien"});
    QCOMPARE(m_main->cellText(1, 3), QStringLiteral("reason for alice"));
}

void TestDialogs::informationFromADoubleClick()
{
    openMain({bidder("alice"), bidder("bob")});
    auto *tree = m_main->findChild<QTreeWidget *>("ListView1");
    const QRect second = tree->visualItemRect(tree->topLevelItem(1));
    QString shownUser;
    whenModal([&](QWidget *dialog) {
        shownUser = dialog->findChild<QLineEdit *>("UserName")->text();
        dialog->findChild<QLineEdit *>("Reason")->setText(QStringLiteral("from the list"));
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(shownUser, QStringLiteral("bob"));
    QCOMPARE(m_main->cellText(2, 3), QStringLiteral("from the list"));
    QCOMPARE(m_folder->stored().at(1).reason, QStringLiteral("from the list"));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
