#include "GuiTest.h"
#include "SiteWindowTest.h"
#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"
#include "site/SiteOperations.h"
#include "wizard/Setup1.h"
#include "wizard/Setup2.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

// Records the bar's value each time it is painted.
class TestWizard : public SiteWindowTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void focusOrderAndLink();
    void downloadImportsTheSiteList();
    void entriesAreStoredAsTheSiteListsThem();
    void clicksDuringTheImportAreDropped();
    void progressBarAdvancesDuringTheImport_data();
    void progressBarAdvancesDuringTheImport();
    void failedDownloadsKeepTheOldList_data();
    void failedDownloadsKeepTheOldList();
    void wizardReplacesTheMainWindow_data();
    void wizardReplacesTheMainWindow();
    void nextAndBackReplaceTheWindows();
    void nextWithAnEmptyStoreAsksAgain_data();
    void nextWithAnEmptyStoreAsksAgain();
    // Last: ending the program leaves the application unable to run another modal loop.
    void exitEndsTheProgram_data();
    void exitEndsTheProgram();

private:
    Setup1 *openStep1();
    Setup2 *openStep2();
    static void click(QWidget *window, const char *button);
    static QStringList lines(Setup2 *step2);
    static QProgressBar *bar(Setup2 *step2) { return step2->findChild<QProgressBar *>("ProgressBar1"); }
    // The program's windows once pending deletions are done; none should linger hidden.
    static QStringList windows();
    template <typename T> static T *window()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<T *>(w))
                return found;
        return nullptr;
    }
};

void TestWizard::initTestCase()
{
    setUpProgram();
}

void TestWizard::init()
{
    setUpTest();
}

void TestWizard::cleanup()
{
    tearDownTest();
}

Setup1 *TestWizard::openStep1()
{
    auto *step1 = new Setup1(context());
    step1->show();
    return step1;
}

Setup2 *TestWizard::openStep2()
{
    click(openStep1(), "Next");
    return window<Setup2>();
}

void TestWizard::click(QWidget *window, const char *button)
{
    QTest::mouseClick(window->findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);
}

QStringList TestWizard::lines(Setup2 *step2)
{
    auto *list = step2->findChild<QListWidget *>("List1");
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QStringList TestWizard::windows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList names;
    for (QWidget *w : QApplication::topLevelWidgets())
        names << w->objectName() + (w->isVisible() ? QString() : QStringLiteral(" (hidden)"));
    return names;
}

void TestWizard::focusOrderAndLink()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    Setup1 *step1 = openStep1();
    const QString address = context().siteUrl + QStringLiteral("/aw-cgi/eBayISAPI.dll?bidderblocklogin");
    auto *link = step1->findChild<QLabel *>("Label2");
    QCOMPARE(link->text(), address);
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(link, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(recorder.opened, QList<QUrl>(3, QUrl(address)));
    QCOMPARE(windows(), QStringList{"Setup1"});

    // Enter on the first focus goes on to step 2, which starts on Download.
    step1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(step1));
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Next"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(windows(), QStringList{"Setup2"});
    Setup2 *step2 = window<Setup2>();
    step2->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(step2));
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"Command1", "List1", "Next", "Exit", "Back", "Command1"}));
    step2->findChild<QListWidget *>("List1")->setFocus();
    QVERIFY(step2->findChild<QPushButton *>("Next")->isDefault());
    QVERIFY(m_site->requests().empty());
}

void TestWizard::downloadImportsTheSiteList()
{
    m_folder->seed({bidder("local")});
    m_site->setSellerList({"alpha", "beta"});
    m_site->setNaruIds({"beta"});
    Setup2 *step2 = openStep2();
    for (int round = 0; round < 2; ++round) {
        click(step2, "Command1");
        QCOMPARE(lines(step2), QStringList({"alpha", "beta (NARU)"}));
        const QList<Bidder> rows = m_folder->stored();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].userName + rows[0].naru, QStringLiteral("alphaNo"));
        QCOMPARE(rows[1].userName + rows[1].naru, QStringLiteral("betaYes"));
        for (const Bidder &row : rows) {
            QCOMPARE(row.reason, QStringLiteral("Auto Added by Wizard"));
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4}-\\d\\d:\\d\\d:\\d\\d$"))
                         .match(row.dateTime)
                         .hasMatch(),
                     qPrintable(row.dateTime));
        }
    }
    QCOMPARE(m_site->requests().size(), size_t(6));
    QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("response.htm"))));
    QVERIFY(m_folder->bytes(QStringLiteral("naru.htm")).contains("<b>beta</b>, is not a registered user"));

    // The site's empty list is a text area with nothing in it, and it empties the store.
    m_site->setSellerList({});
    SiteClient probe(context().siteUrl, m_folder->path(), BrowserCookies());
    const SiteResult<QStringList> empty = DownloadBlockedList(probe);
    QVERIFY(empty && empty->isEmpty());
    click(step2, "Command1");
    QVERIFY(m_folder->stored().isEmpty());
    QVERIFY(lines(step2).isEmpty());
    QVERIFY(MessageBox::takeShown().isEmpty());
}

void TestWizard::entriesAreStoredAsTheSiteListsThem()
{
    // Separators as the site may leave them: an empty entry, and an id listed twice.
    m_site->setBlockPage("<html>\r\n<textarea name=bidderlist>alpha,,,beta, Alpha;alpha</textarea>\r\n</html>\r\n");
    m_site->setNaruIds({""});
    Setup2 *step2 = openStep2();
    click(step2, "Command1");
    QVERIFY(MessageBox::takeShown().isEmpty());
    QCOMPARE(m_folder->storedNames(), QStringList({"alpha", "", "beta", "Alpha", "alpha"}));
    QCOMPARE(lines(step2), QStringList({"alpha", " (NARU)", "beta", "Alpha", "alpha"}));
}

void TestWizard::clicksDuringTheImportAreDropped()
{
    m_site->setSellerList({"alpha", "beta"});
    Setup2 *step2 = openStep2();
    // A second click on Download, one on Next, Escape and the frame's close button, all made
    // while the import blocks the window: they reach the window only once the import is over.
    for (const char *name : {"Command1", "Next"}) {
        QWidget *button = step2->findChild<QPushButton *>(QString::fromLatin1(name));
        const QPointF centre = QRectF(button->rect()).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(button, new QMouseEvent(type, centre, button->mapToGlobal(centre),
                                                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    }
    QCoreApplication::postEvent(step2, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::postEvent(step2, new QCloseEvent);
    click(step2, "Command1");
    QTest::qWait(50);
    QCOMPARE(m_site->requests().size(), size_t(3));
    QCOMPARE(windows(), QStringList{"Setup2"});
    QVERIFY(step2->findChild<QPushButton *>("Command1")->isEnabled());
    QCOMPARE(lines(step2), QStringList({"alpha", "beta"}));
}

void TestWizard::progressBarAdvancesDuringTheImport_data()
{
    QTest::addColumn<int>("entries");
    for (int entries : {0, 1, 2, 6})
        QTest::addRow("%d entries", entries) << entries;
}

void TestWizard::progressBarAdvancesDuringTheImport()
{
    QFETCH(int, entries);
    std::vector<std::string> ids;
    for (int i = 0; i < entries; ++i)
        ids.push_back("id" + std::to_string(i));
    m_site->setSellerList(ids);
    Setup2 *step2 = openStep2();
    QVERIFY(QTest::qWaitForWindowExposed(step2));
    PaintRecorder painted;
    bar(step2)->installEventFilter(&painted);
    click(step2, "Command1");
    bar(step2)->removeEventFilter(&painted);

    QCOMPARE(m_folder->stored().size(), entries);
    QVERIFY2(bar(step2)->maximum() > bar(step2)->minimum(), "a busy indicator instead of a bar");
    // Painted while the import ran (it never returns to the event loop), on to full.
    QCOMPARE(bar(step2)->value(), entries ? bar(step2)->maximum() : 0);
    // The window also repaints as its buttons come back on; only the positions shown count.
    QList<int> shown;
    for (int value : painted.values)
        if (value != (shown.isEmpty() ? 0 : shown.last()))
            shown << value;
    QCOMPARE(shown.size(), qMax(0, entries - 1) + (entries == 1));
    for (int i = 0; i < shown.size(); ++i)
        QCOMPARE(shown[i], i + 1);
}

void TestWizard::failedDownloadsKeepTheOldList_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("says");
    QTest::newRow("connection refused") << "refused" << QStringList{"could not download", "127.0.0.1"};
    QTest::newRow("sign-in page") << "signin" << QStringList{"did not show a blocked bidder list", "sign in", "step 1"};
    QTest::newRow("third of five lookups fails") << "lookup" << QStringList{"\"c%2\" (entry 3 of 5)", "left as it was"};
    QTest::newRow("store unusable") << "store" << QStringList{"bidders.mdb"};
}

void TestWizard::failedDownloadsKeepTheOldList()
{
    QFETCH(QString, failure);
    QFETCH(QStringList, says);
    // An earlier import; the failing Download must leave the store and the window as it left them.
    m_site->setSellerList({"p", "q"});
    Setup2 *step2 = openStep2();
    click(step2, "Command1");
    const QList<Bidder> before = m_folder->stored();
    QCOMPARE(before.size(), 2);

    m_site->setSellerList({"a", "b", "c%2", "d", "e"});
    const QByteArray garbage(2048, 'g');
    if (failure == QLatin1String("refused"))
        m_site->stop();
    else if (failure == QLatin1String("signin"))
        m_site->setRequiredCookie("sid", "secret");
    else if (failure == QLatin1String("lookup"))
        m_site->setLookupFault("c%2", {0, 0, true});
    else if (QFile::remove(m_folder->storePath()))
        m_folder->write(QStringLiteral("bidders.mdb"), garbage);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    click(step2, "Command1");
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Bidwarden"));
    for (const QString &text : says)
        QVERIFY2(shown[0].text.contains(text), qPrintable(shown[0].text));
    if (failure == QLatin1String("store"))
        QCOMPARE(m_folder->bytes(QStringLiteral("bidders.mdb")), garbage);
    else
        QCOMPARE(m_folder->stored(), before);
    QCOMPARE(lines(step2), QStringList({"p", "q"}));
    QCOMPARE(bar(step2)->value(), bar(step2)->maximum());
    QCOMPARE(bar(step2)->maximum(), 1);
    QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("response.htm"))));
    QCOMPARE(windows(), QStringList{"Setup2"});
}

void TestWizard::wizardReplacesTheMainWindow_data()
{
    QTest::addColumn<bool>("storeEmpty");
    QTest::newRow("Setup Wizard button, no question") << false;
    QTest::newRow("empty store at start, Yes") << true;
}

void TestWizard::wizardReplacesTheMainWindow()
{
    QFETCH(bool, storeEmpty);
    m_folder->seed(storeEmpty ? QList<Bidder>() : QList<Bidder>{bidder("alice")});
    if (storeEmpty)
        MessageBox::setNextAnswer(QMessageBox::Yes);
    BBMain *main = BBMain::showFresh(context());
    QCOMPARE(main == nullptr, storeEmpty);
    if (main)
        click(main, "Command1");
    QCOMPARE(MessageBox::takeShown().size(), storeEmpty ? 1 : 0);
    QCOMPARE(windows(), QStringList{"Setup1"});
}

void TestWizard::nextAndBackReplaceTheWindows()
{
    m_site->setSellerList({"alpha", "beta"});
    Setup2 *step2 = openStep2();
    QCOMPARE(windows(), QStringList{"Setup2"});
    click(step2, "Command1");

    // Back loses the shown list, not the stored rows; step 2 comes back fresh.
    click(step2, "Back");
    QCOMPARE(windows(), QStringList{"Setup1"});
    click(window<Setup1>(), "Next");
    QCOMPARE(windows(), QStringList{"Setup2"});
    step2 = window<Setup2>();
    QVERIFY(lines(step2).isEmpty());
    QCOMPARE(bar(step2)->maximum(), 100);
    QCOMPARE(bar(step2)->value(), 0);

    // Next: a fresh main window showing what the import stored, and no question.
    click(step2, "Next");
    QVERIFY(MessageBox::takeShown().isEmpty());
    QCOMPARE(windows(), QStringList{"BBMain"});
    BBMain *main = window<BBMain>();
    QCOMPARE(BBMain::instance(), main);
    QCOMPARE(main->rowCount(), 2);
    QCOMPARE(main->rowText(1) + main->rowText(2), QStringLiteral("alphabeta"));
    QCOMPARE(main->cellText(2, 3), QStringLiteral("Auto Added by Wizard"));
}

void TestWizard::nextWithAnEmptyStoreAsksAgain_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
}

void TestWizard::nextWithAnEmptyStoreAsksAgain()
{
    QFETCH(bool, yes);
    Setup2 *step2 = openStep2();
    MessageBox::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
    click(step2, "Next");
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("You have no blocked bidders, do you want to run the setup wizard?"));
    QCOMPARE(windows(), QStringList{yes ? "Setup1" : "BBMain"});
    if (!yes)
        QCOMPARE(window<BBMain>()->rowCount(), 0);
}

void TestWizard::exitEndsTheProgram_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("how");
    QTest::newRow("step 1, Exit") << 1 << "Exit";
    QTest::newRow("step 1, Escape") << 1 << "Escape";
    QTest::newRow("step 1, Enter on Exit") << 1 << "Enter on Exit";
    QTest::newRow("step 2, Exit") << 2 << "Exit";
    QTest::newRow("step 2, Escape") << 2 << "Escape";
    QTest::newRow("step 2, window frame") << 2 << "frame";
}

void TestWizard::exitEndsTheProgram()
{
    QFETCH(int, step);
    QFETCH(QString, how);
    m_folder->seed({bidder("alice")});
    QWidget *shown = step == 1 ? static_cast<QWidget *>(openStep1()) : openStep2();
    shown->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(shown));
    if (how == QLatin1String("Exit")) {
        click(shown, "Exit");
    } else if (how == QLatin1String("Escape")) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    } else if (how == QLatin1String("Enter on Exit")) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    } else {
        shown->close();
    }
    QCOMPARE(windows(), QStringList());
    QCOMPARE(m_folder->storedNames(), QStringList{"alice"});
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
