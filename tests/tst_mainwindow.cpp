#include "SiteWindowTest.h"
#include "TestSupport.h"
#include "about/frmAbout.h"
#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void loadShowsTheStoreInItsOrder();
    void layoutMatchesTheDesign();
    void emptyStoreAsksToRunTheWizard();
    void emptyStoreQuestionInARealMessageBox();
    void headerClicksSortThroughTheMarker();
    void headerClickOnAnEmptyStoreAsksAgain();
    void deleteSelectedRemovesEveryStoredMatch();
    void deleteWithNothingSelectedTouchesNothing();
    void storeFailuresAreReportedAndLoseNothing();
    void exitClosesEveryWindow();
    void aboutBox();

private:
    BBMain *openMain(const TestFolder &folder);
    QTreeWidget *list(BBMain *w) { return w->findChild<QTreeWidget *>(QStringLiteral("ListView1")); }
    QStringList shownNames(BBMain *w);
    void clickHeader(BBMain *w, const QString &text);
    void clickButton(QWidget *w, const char *name);
};

void TestMainWindow::initTestCase()
{
    ApplyAppearance();
    QLocale::setDefault(QLocale(QStringLiteral("en_GB")));
}

void TestMainWindow::init()
{
    MessageBox::takeShown();
}

void TestMainWindow::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        delete w;
    QVERIFY2(MessageBox::takeShown().isEmpty(), "a test left a message unchecked");
}

BBMain *TestMainWindow::openMain(const TestFolder &folder)
{
    return BBMain::showFresh(AppContext{folder.path(), QStringLiteral("http://127.0.0.1:9")});
}

QStringList TestMainWindow::shownNames(BBMain *w)
{
    QStringList names;
    for (int row = 1; row <= w->rowCount(); ++row)
        names << w->rowText(row);
    return names;
}

void TestMainWindow::clickHeader(BBMain *w, const QString &text)
{
    QTreeWidget *tree = list(w);
    for (int column = 0; column < tree->columnCount(); ++column) {
        if (tree->headerItem()->text(column) != text)
            continue;
        QHeaderView *header = tree->header();
        const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
        return;
    }
    QFAIL(qPrintable(QStringLiteral("no header ") + text));
}

void TestMainWindow::clickButton(QWidget *w, const char *name)
{
    auto *button = w->findChild<QPushButton *>(QString::fromLatin1(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

void TestMainWindow::loadShowsTheStoreInItsOrder()
{
    TestFolder folder;
    folder.seed({bidder("carol", "Yes", "05/11/2026-09:00:00", "never paid"), bidder("alice"),
                 bidder("Bob", "No", "01/12/2026-10:00:00", "")});
    BBMain *w = openMain(folder);
    QVERIFY(w && w->isVisible());
    QCOMPARE(BBMain::instance(), w);
    QCOMPARE(shownNames(w), QStringList({"carol", "alice", "Bob"}));
    QCOMPARE(w->cellText(1, 1), QStringLiteral("Yes"));
    QCOMPARE(w->cellText(1, 2), QStringLiteral("05/11/2026-09:00:00"));
    QCOMPARE(w->cellText(1, 3), QStringLiteral("never paid"));
    QCOMPARE(w->cellText(3, 3), QString());
    QCOMPARE(w->sortMarker(), QString());
    QCOMPARE(w->selectedRow(), 0);
}

void TestMainWindow::layoutMatchesTheDesign()
{
    // What the form file cannot say by itself: the fixed size, the column widths and fonts set
    // at run time, the icon from the resources, and the keyboard order through the buttons.
    TestFolder folder;
    folder.seed({bidder("alice")});
    BBMain *w = openMain(folder);
    QCOMPARE(w->size(), QSize(737, 417));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!w->windowIcon().isNull());
    QTreeWidget *tree = list(w);
    const int widths[] = {200, 40, 133, 267};
    for (int column = 0; column < 4; ++column)
        QCOMPARE(tree->header()->sectionSize(column), widths[column]);
    QCOMPARE(w->findChild<QLabel *>("Label4")->font().pointSizeF(), 26.25);
    QCOMPARE(w->findChild<QLabel *>("Label1")->font().pointSizeF(), 9.75);

    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    tree->setFocus();
    QStringList order;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(order, QStringList({"Command1", "Command5", "Command2", "Command3", "Command4", "Command8", "Command9"}));
}

void TestMainWindow::emptyStoreAsksToRunTheWizard()
{
    TestFolder folder;
    MessageBox::setNextAnswer(QMessageBox::No);
    BBMain *w = openMain(folder);
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Bidwarden"));
    QCOMPARE(shown[0].text, QStringLiteral("You have no blocked bidders, do you want to run the setup wizard?"));
    QCOMPARE(shown[0].icon, QMessageBox::Question);
    QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(w && w->isVisible(), "No leaves the empty main window open");
    QCOMPARE(w->rowCount(), 0);
}

void TestMainWindow::emptyStoreQuestionInARealMessageBox()
{
    TestFolder folder;
    QString seenTitle, seenText;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seenTitle = box->windowTitle();
        seenText = box->text();
        box->button(QMessageBox::No)->click();
    });
    BBMain *w = openMain(folder);
    MessageBox::takeShown();
    QCOMPARE(seenTitle, QStringLiteral("Bidwarden"));
    QCOMPARE(seenText, QStringLiteral("You have no blocked bidders, do you want to run the setup wizard?"));
    QVERIFY(w && w->isVisible());
}

void TestMainWindow::headerClicksSortThroughTheMarker()
{
    TestFolder folder;
    folder.seed({bidder("bob", "Yes", "05/11/2026-09:00:00", "b reason"),
                 bidder("Alice", "No", "01/12/2026-08:00:00", "c"), bidder("carol", "No", "02/12/2026-07:00:00", "A")});
    BBMain *w = openMain(folder);

    const struct
    {
        const char *header;
        const char *marker;
        QStringList names;
    } steps[] = {
        {"UserName", "UserName", {"Alice", "bob", "carol"}},
        {"UserName", "UserNameDESC", {"carol", "bob", "Alice"}},
        {"UserName", "UserName", {"Alice", "bob", "carol"}},
        {"NARU", "NARU", {"Alice", "carol", "bob"}},
        {"UserName", "UserName", {"Alice", "bob", "carol"}},
        {"Reason", "Reason", {"carol", "bob", "Alice"}},
        {"Reason", "ReasonDESC", {"Alice", "bob", "carol"}},
        {"Reason", "Reason", {"carol", "bob", "Alice"}},
        {"Date Added", "dateTime", {"Alice", "carol", "bob"}},
        {"Date Added", "dateTimeDESC", {"bob", "carol", "Alice"}},
        {"NARU", "NARU", {"Alice", "carol", "bob"}},
        {"NARU", "NARUDESC", {"bob", "Alice", "carol"}},
    };
    for (const auto &step : steps) {
        clickHeader(w, QString::fromLatin1(step.header));
        QCOMPARE(w->sortMarker(), QString::fromLatin1(step.marker));
        QCOMPARE(shownNames(w), step.names);
    }
    // The cells travel with their row.
    QCOMPARE(w->cellText(1, 2), QStringLiteral("05/11/2026-09:00:00"));
    QCOMPARE(w->cellText(1, 3), QStringLiteral("b reason"));

    // A row added after a sort stays at the end until the next header click.
    const int row = w->appendRow(QStringLiteral("aaron"));
    QCOMPARE(row, 4);
    QCOMPARE(w->rowText(4), QStringLiteral("aaron"));
}

void TestMainWindow::headerClickOnAnEmptyStoreAsksAgain()
{
    TestFolder folder;
    folder.seed({bidder("alice")});
    BBMain *w = openMain(folder);
    folder.seed({});
    MessageBox::setNextAnswer(QMessageBox::No);
    clickHeader(w, QStringLiteral("Reason"));
    QCOMPARE(MessageBox::takeShown().size(), 1);
    QCOMPARE(w->rowCount(), 0);
    QCOMPARE(w->sortMarker(), QStringLiteral("Reason"));
    QVERIFY(w->isVisible());
}

void TestMainWindow::deleteSelectedRemovesEveryStoredMatch()
{
    TestFolder folder;
    folder.seed({bidder("alice"), bidder("bob"), bidder("carol"), bidder("BOB"), bidder("o'brien")});
    BBMain *w = openMain(folder);

    w->selectRow(2);
    QCOMPARE(w->selectedRow(), 2);
    clickButton(w, "Command2");
    // Both stored rows go; only the selected list row goes until the list is next read.
    QCOMPARE(folder.storedNames(), QStringList({"alice", "carol", "o'brien"}));
    QCOMPARE(shownNames(w), QStringList({"alice", "carol", "BOB", "o'brien"}));

    w->selectRow(4);
    clickButton(w, "Command2");
    QCOMPARE(folder.storedNames(), QStringList({"alice", "carol"}));
    QCOMPARE(shownNames(w), QStringList({"alice", "carol", "BOB"}));

    // A row whose bidder is already gone from the store still leaves the list.
    w->selectRow(3);
    clickButton(w, "Command2");
    QCOMPARE(shownNames(w), QStringList({"alice", "carol"}));
    QCOMPARE(folder.storedNames(), QStringList({"alice", "carol"}));
    QVERIFY(MessageBox::takeShown().isEmpty());
}

void TestMainWindow::deleteWithNothingSelectedTouchesNothing()
{
    TestFolder folder;
    folder.seed({bidder("alice"), bidder("bob")});
    BBMain *w = openMain(folder);
    clickButton(w, "Command2");
    QCOMPARE(shownNames(w), QStringList({"alice", "bob"}));
    QCOMPARE(folder.storedNames(), QStringList({"alice", "bob"}));

    // With an empty list the store is not even opened: a missing file stays missing.
    QFile::remove(folder.storePath());
    MessageBox::setNextAnswer(QMessageBox::No);
    clickHeader(w, QStringLiteral("UserName"));
    MessageBox::takeShown();
    QFile::remove(folder.storePath());
    clickButton(w, "Command2");
    QVERIFY(!QFile::exists(folder.storePath()));
}

void TestMainWindow::storeFailuresAreReportedAndLoseNothing()
{
    TestFolder folder;
    folder.seed({bidder("alice"), bidder("bob")});
    BBMain *w = openMain(folder);
    clickHeader(w, QStringLiteral("UserName"));

    // The file is replaced behind the program's back by one it cannot use.
    QFile::remove(folder.storePath());
    const QByteArray garbage(4096, 'x');
    folder.write(QStringLiteral("bidders.mdb"), garbage);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    clickHeader(w, QStringLiteral("UserName"));
    auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Bidwarden"));
    QVERIFY2(shown[0].text.contains(QStringLiteral("bidders.mdb")), qPrintable(shown[0].text));
    QCOMPARE(shownNames(w), QStringList({"alice", "bob"}));
    QCOMPARE(w->sortMarker(), QStringLiteral("UserName"));

    w->selectRow(1);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    clickButton(w, "Command2");
    shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shownNames(w), QStringList({"alice", "bob"}));
    QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")), garbage);
}

void TestMainWindow::exitClosesEveryWindow()
{
    TestFolder folder;
    folder.seed({bidder("alice")});
    BBMain *w = openMain(folder);
    QPointer<BBMain> guard(w);
    clickButton(w, "Command9");
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
    for (QWidget *top : QApplication::topLevelWidgets())
        QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
    QVERIFY(MessageBox::takeShown().isEmpty());
}

void TestMainWindow::aboutBox()
{
    QCOMPARE(frmAbout::versionLine(1, 1, 0), QStringLiteral("Version: 1.1 Beta - Build 0"));
    QCOMPARE(frmAbout::versionLine(2, 10, 7), QStringLiteral("Version: 2.10 Beta - Build 7"));

    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    frmAbout about;
    about.show();
    QCOMPARE(about.findChild<QLabel *>("lblVersion")->text(), QStringLiteral("Version: 1.1 Beta - Build 0"));
    for (const char *link : {"lblProduct", "lblURL", "lblURL", "lblCopyright"})
        QTest::mouseClick(about.findChild<QLabel *>(link), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(recorder.opened.size(), 4);
    QCOMPARE(recorder.opened.first(), QUrl(about.findChild<QLabel *>("lblURL")->text()));
    QVERIFY(about.isVisible());

    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(!about.isVisible());
    about.show();
    QTest::keyClick(&about, Qt::Key_Return);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
