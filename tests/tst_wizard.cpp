#include "StandinSite.h"
#include "TestSupport.h"
#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"
#include "site/SiteOperations.h"
#include "wizard/Setup1.h"
#include "wizard/Setup2.h"

#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>

// Records the addresses handed to the browser.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

// Records the bar's value each time it is painted.
class PaintRecorder : public QObject
{
public:
    QList<int> values;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            values << static_cast<QProgressBar *>(watched)->value();
        return false;
    }
};

class TestWizard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutsMatchTheDesign();
    void linkOpensTheSignInPage();
    void downloadImportsTheSiteList();
    void entriesAreStoredAsTheSiteListsThem();
    void emptySiteListEmptiesTheStore();
    void progressBarAdvancesDuringTheImport_data();
    void progressBarAdvancesDuringTheImport();
    void failedDownloadsKeepTheOldList_data();
    void failedDownloadsKeepTheOldList();

    void mainWindowButtonOpensTheWizard();
    void emptyStoreYesAtStartOpensTheWizard();
    void nextAndBackReplaceTheWindows();
    void nextWithAnEmptyStoreAsksAgain_data();
    void nextWithAnEmptyStoreAsksAgain();
    // Last: ending the program leaves the application unable to run another modal loop.
    void step1EnterAndEscape();
    void exitEndsTheProgram_data();
    void exitEndsTheProgram();

private:
    AppContext context() const { return {m_folder->path(), QString::fromStdString(m_site->baseUrl())}; }
    Setup1 *openStep1();
    Setup2 *openStep2();
    void click(QWidget *window, const char *button);
    void download(Setup2 *step2) { click(step2, "Command1"); }
    static QStringList lines(Setup2 *step2);
    static QProgressBar *bar(Setup2 *step2) { return step2->findChild<QProgressBar *>(QStringLiteral("ProgressBar1")); }
    // The program's windows after pending deletions: hidden ones are marked, as none should linger.
    static QStringList windows();
    template <typename T> static T *window()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<T *>(w))
                return found;
        return nullptr;
    }

    QTemporaryDir m_home;
    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<StandinSite> m_site;
};

void TestWizard::initTestCase()
{
    // The site requests must never carry the developer's own browser cookies.
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    ApplyAppearance();
    QLocale::setDefault(QLocale(QStringLiteral("en_GB")));
}

void TestWizard::init()
{
    m_folder = std::make_unique<TestFolder>();
    m_site = std::make_unique<StandinSite>();
    QVERIFY(m_site->start());
    MessageBox::takeShown();
}

void TestWizard::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        delete w;
    m_site.reset();
    m_folder.reset();
    QVERIFY2(MessageBox::takeShown().isEmpty(), "a test left a message unchecked");
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
    auto *found = window->findChild<QPushButton *>(QString::fromLatin1(button));
    QVERIFY2(found, button);
    QTest::mouseClick(found, Qt::LeftButton);
}

QStringList TestWizard::lines(Setup2 *step2)
{
    auto *list = step2->findChild<QListWidget *>(QStringLiteral("List1"));
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
    names.sort();
    return names;
}

void TestWizard::layoutsMatchTheDesign()
{
    Setup1 *step1 = openStep1();
    QVERIFY(QTest::qWaitForWindowExposed(step1));
    QCOMPARE(step1->windowTitle(), QStringLiteral("Bidwarden - Setup Step 1"));
    QCOMPARE(step1->size(), QSize(456, 301));
    QCOMPARE(step1->minimumSize(), step1->maximumSize());
    QCOMPARE(step1->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(step1->findChild<QLabel *>("Label4")->text(), QStringLiteral("Bidwarden Setup"));
    QCOMPARE(step1->findChild<QLabel *>("Label4")->font().pointSizeF(), 24.0);
    QCOMPARE(step1->findChild<QLabel *>("Label1")->text(),
             QStringLiteral("Welcome to the Bidwarden Setup. If you have not already done so, please visit the link "
                            "below, and sign into the blocked bidder page. Please make sure you select the \"Keep me "
                            "signed in on this computer unless I sign out.\" option."));
    QCOMPARE(step1->findChild<QLabel *>("Label3")->text(),
             QStringLiteral("When you have done that, please click Next."));
    auto *link = step1->findChild<QLabel *>("Label2");
    QCOMPARE(link->text(), context().siteUrl + QStringLiteral("/aw-cgi/eBayISAPI.dll?bidderblocklogin"));
    QCOMPARE(link->geometry(), QRect(8, 128, 353, 17));
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(link->font().pointSizeF(), 9.75);
    QVERIFY(step1->findChild<QPushButton *>("Next")->isDefault());
    QCOMPARE(step1->findChild<QPushButton *>("Exit")->geometry(), QRect(376, 264, 73, 25));
    QVERIFY(step1->findChild<QPushButton *>("Exit")->font().bold());

    click(step1, "Next");
    Setup2 *step2 = window<Setup2>();
    QVERIFY(QTest::qWaitForWindowExposed(step2));
    step2->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(step2));
    QCOMPARE(step2->windowTitle(), QStringLiteral("Bidwarden - Setup Step 2"));
    QCOMPARE(step2->size(), QSize(454, 299));
    QCOMPARE(step2->minimumSize(), step2->maximumSize());
    QCOMPARE(step2->findChild<QLabel *>("Label1")->text(),
             QStringLiteral("We will now download your current blocked bidder list if you have one. To Proceed, Click "
                            "Download below."));
    QCOMPARE(step2->findChild<QPushButton *>("Command1")->text(), QStringLiteral("Download"));
    QCOMPARE(bar(step2)->geometry(), QRect(104, 96, 345, 25));
    QCOMPARE(step2->findChild<QListWidget *>("List1")->geometry(), QRect(8, 128, 441, 134));
    QCOMPARE(step2->findChild<QPushButton *>("Back")->geometry(), QRect(216, 264, 73, 25));

    QStringList order;
    for (int i = 0; i < 6; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"Command1", "List1", "Next", "Exit", "Back", "Command1"}));
    // Away from the buttons, Enter is Next.
    step2->findChild<QListWidget *>("List1")->setFocus();
    QVERIFY(step2->findChild<QPushButton *>("Next")->isDefault());
}

void TestWizard::linkOpensTheSignInPage()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    Setup1 *step1 = openStep1();
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(step1->findChild<QLabel *>("Label2"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(recorder.opened.size(), 3);
    for (const QUrl &url : recorder.opened)
        QCOMPARE(url.toString(), context().siteUrl + QStringLiteral("/aw-cgi/eBayISAPI.dll?bidderblocklogin"));
    QCOMPARE(windows(), QStringList{"Setup1"});
    QVERIFY(m_site->requests().empty());
}

void TestWizard::downloadImportsTheSiteList()
{
    m_folder->seed({bidder("local", "No", "01/01/2026-09:00:00", "kept by hand")});
    m_site->setSellerList({"alpha", "beta"});
    m_site->setNaruIds({"beta"});
    Setup2 *step2 = openStep2();

    for (int round = 0; round < 2; ++round) {
        download(step2);
        QVERIFY(MessageBox::takeShown().isEmpty());
        QCOMPARE(lines(step2), QStringList({"alpha", "beta (NARU)"}));
        const QList<Bidder> rows = m_folder->stored();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].userName, QStringLiteral("alpha"));
        QCOMPARE(rows[0].naru, QStringLiteral("No"));
        QCOMPARE(rows[1].userName, QStringLiteral("beta"));
        QCOMPARE(rows[1].naru, QStringLiteral("Yes"));
        for (const Bidder &row : rows) {
            QCOMPARE(row.reason, QStringLiteral("Auto Added by Wizard"));
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4}-\\d\\d:\\d\\d:\\d\\d$"))
                         .match(row.dateTime)
                         .hasMatch(),
                     qPrintable(row.dateTime));
        }
        QCOMPARE(bar(step2)->value(), bar(step2)->maximum());
    }

    // Each round: the list page, then one lookup per entry in list order.
    QStringList targets;
    for (const auto &request : m_site->requests())
        targets << QString::fromStdString(request.target);
    const QString lookup = QStringLiteral("/aw-cgi/eBayISAPI.dll?MfcISAPICommand=ReturnUserIdHistory&requested=");
    const QStringList round = {"/aw-cgi/eBayISAPI.dll?BidderBlockLogin", lookup + "alpha", lookup + "beta"};
    QCOMPARE(targets, round + round);
    QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("response.htm"))));
    const QByteArray lastReply = m_folder->bytes(QStringLiteral("naru.htm"));
    QVERIFY2(lastReply.contains("<b>beta</b>, is not a registered user"), lastReply.constData());
    QCOMPARE(windows(), QStringList{"Setup2"});
}

void TestWizard::entriesAreStoredAsTheSiteListsThem()
{
    // Separators as the site may leave them: an empty entry, and an id listed twice.
    m_site->setBlockPage("<html>\r\n<textarea name=bidderlist>alpha,,,beta, Alpha;alpha</textarea>\r\n</html>\r\n");
    m_site->setNaruIds({""});
    Setup2 *step2 = openStep2();
    download(step2);
    QVERIFY(MessageBox::takeShown().isEmpty());
    QCOMPARE(m_folder->storedNames(), QStringList({"alpha", "", "beta", "Alpha", "alpha"}));
    QCOMPARE(lines(step2), QStringList({"alpha", " (NARU)", "beta", "Alpha", "alpha"}));
    QCOMPARE(m_folder->stored().at(1).naru, QStringLiteral("Yes"));
}

void TestWizard::emptySiteListEmptiesTheStore()
{
    m_folder->seed({bidder("alice"), bidder("bob")});
    m_site->setSellerList({});
    // The site's empty list is a present but empty text area, not a page without one.
    SiteClient probe(context().siteUrl, m_folder->path(), BrowserCookies());
    const std::optional<BlockedList> shown = DownloadBlockedList(probe);
    QVERIFY(shown && shown->hasListArea && shown->entries.isEmpty());
    QFile::remove(m_folder->file(QStringLiteral("response.htm")));
    m_site->clearRequests();

    Setup2 *step2 = openStep2();
    download(step2);
    QVERIFY(MessageBox::takeShown().isEmpty());
    QVERIFY(m_folder->stored().isEmpty());
    QVERIFY(lines(step2).isEmpty());
    QCOMPARE(m_site->requests().size(), size_t(1));
    QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("response.htm"))));
}

void TestWizard::progressBarAdvancesDuringTheImport_data()
{
    QTest::addColumn<int>("entries");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("two") << 2;
    QTest::newRow("six") << 6;
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
    QProgressBar *progress = bar(step2);
    PaintRecorder painted;
    progress->installEventFilter(&painted);

    download(step2);
    progress->removeEventFilter(&painted);
    QCOMPARE(m_folder->stored().size(), entries);
    QVERIFY2(progress->maximum() > progress->minimum(), "a busy indicator instead of a bar");
    if (entries == 0) {
        QVERIFY(painted.values.isEmpty());
        QCOMPARE(progress->value(), 0);
        return;
    }
    // Painted while the import ran (it never returned to the event loop), moving on to full.
    QVERIFY(!painted.values.isEmpty());
    QCOMPARE(painted.values.last(), progress->maximum());
    QCOMPARE(progress->value(), progress->maximum());
    for (int i = 1; i < painted.values.size(); ++i)
        QVERIFY(painted.values[i] > painted.values[i - 1]);
    if (entries > 2)
        QCOMPARE(painted.values.size(), entries - 1);
}

void TestWizard::failedDownloadsKeepTheOldList_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("says");
    QTest::newRow("connection refused") << "refused" << QStringList{"could not download", "127.0.0.1"};
    QTest::newRow("sign-in page") << "signin" << QStringList{"did not show a blocked bidder list", "sign in", "step 1"};
    QTest::newRow("third of five lookups fails") << "lookup" << QStringList{"\"c\"", "3 of 5", "left as it was"};
    QTest::newRow("lookup answered with an error") << "status" << QStringList{"\"c\"", "503"};
    QTest::newRow("store unusable") << "store" << QStringList{"bidders.mdb"};
}

void TestWizard::failedDownloadsKeepTheOldList()
{
    QFETCH(QString, failure);
    QFETCH(QStringList, says);

    // An earlier import, then a Download that fails must leave it all as it was.
    m_site->setSellerList({"p", "q"});
    m_site->setNaruIds({"q"});
    Setup2 *step2 = openStep2();
    download(step2);
    const QList<Bidder> before = m_folder->stored();
    QCOMPARE(before.size(), 2);
    const QStringList linesBefore = lines(step2);
    const int maximumBefore = bar(step2)->maximum(), valueBefore = bar(step2)->value();

    m_site->setSellerList({"a", "b", "c", "d", "e"});
    const QByteArray garbage(2048, 'g');
    if (failure == QLatin1String("refused"))
        m_site->stop();
    else if (failure == QLatin1String("signin"))
        m_site->setRequiredCookie("sid", "secret");
    else if (failure == QLatin1String("lookup"))
        m_site->setLookupFault("c", {0, 0, true});
    else if (failure == QLatin1String("status"))
        m_site->setLookupFault("c", {503, 0, false});
    else if (failure == QLatin1String("store")) {
        QFile::remove(m_folder->storePath());
        m_folder->write(QStringLiteral("bidders.mdb"), garbage);
    }

    MessageBox::setNextAnswer(QMessageBox::Ok);
    download(step2);
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("Bidwarden"));
    for (const QString &text : says)
        QVERIFY2(shown[0].text.contains(text), qPrintable(shown[0].text));

    if (failure == QLatin1String("store")) {
        QCOMPARE(m_folder->bytes(QStringLiteral("bidders.mdb")), garbage);
        QVERIFY(m_site->requests().size() == 3); // the site was not asked this time
    } else {
        QCOMPARE(m_folder->stored(), before);
    }
    QCOMPARE(lines(step2), linesBefore);
    QCOMPARE(bar(step2)->maximum(), maximumBefore);
    QCOMPARE(bar(step2)->value(), valueBefore);
    QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("response.htm"))));
    if (failure == QLatin1String("lookup") || failure == QLatin1String("status")) {
        QStringList asked;
        for (const auto &request : m_site->requests())
            asked << QString::fromStdString(request.target).section(QLatin1Char('='), -1);
        QCOMPARE(asked.mid(3), QStringList({"/aw-cgi/eBayISAPI.dll?BidderBlockLogin", "a", "b", "c"}));
    }
    QCOMPARE(windows(), QStringList{"Setup2"});
}

void TestWizard::mainWindowButtonOpensTheWizard()
{
    m_folder->seed({bidder("alice")});
    BBMain *main = BBMain::showFresh(context());
    QVERIFY(main);
    click(main, "Command1");
    QVERIFY(MessageBox::takeShown().isEmpty());
    QCOMPARE(windows(), QStringList{"Setup1"});
    QCOMPARE(m_folder->storedNames(), QStringList{"alice"});
}

void TestWizard::emptyStoreYesAtStartOpensTheWizard()
{
    MessageBox::setNextAnswer(QMessageBox::Yes);
    QVERIFY(!BBMain::showFresh(context()));
    QCOMPARE(MessageBox::takeShown().size(), 1);
    QCOMPARE(windows(), QStringList{"Setup1"});
}

void TestWizard::nextAndBackReplaceTheWindows()
{
    m_site->setSellerList({"alpha", "beta"});
    Setup2 *step2 = openStep2();
    QCOMPARE(windows(), QStringList{"Setup2"});
    QVERIFY(lines(step2).isEmpty());
    download(step2);
    QCOMPARE(lines(step2), QStringList({"alpha", "beta"}));

    // Back loses the shown list, not the stored rows; step 2 comes back fresh.
    click(step2, "Back");
    QCOMPARE(windows(), QStringList{"Setup1"});
    click(window<Setup1>(), "Next");
    QCOMPARE(windows(), QStringList{"Setup2"});
    step2 = window<Setup2>();
    QVERIFY(lines(step2).isEmpty());
    QCOMPARE(bar(step2)->maximum(), 100);
    QCOMPARE(bar(step2)->value(), 0);
    QCOMPARE(m_folder->storedNames(), QStringList({"alpha", "beta"}));

    // Next: a fresh main window showing what the import stored, and no question.
    click(step2, "Next");
    QVERIFY(MessageBox::takeShown().isEmpty());
    QCOMPARE(windows(), QStringList{"BBMain"});
    BBMain *main = window<BBMain>();
    QCOMPARE(BBMain::instance(), main);
    QCOMPARE(main->rowCount(), 2);
    QCOMPARE(main->rowText(1), QStringLiteral("alpha"));
    QCOMPARE(main->rowText(2), QStringLiteral("beta"));
    QCOMPARE(main->cellText(2, 3), QStringLiteral("Auto Added by Wizard"));
    QCOMPARE(main->sortMarker(), QString());
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
    m_site->setSellerList({});
    Setup2 *step2 = openStep2();
    download(step2);
    MessageBox::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
    click(step2, "Next");
    const auto shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("You have no blocked bidders, do you want to run the setup wizard?"));
    if (yes) {
        QCOMPARE(windows(), QStringList{"Setup1"});
        QVERIFY(!BBMain::instance());
    } else {
        QCOMPARE(windows(), QStringList{"BBMain"});
        QCOMPARE(window<BBMain>()->rowCount(), 0);
    }
}

void TestWizard::step1EnterAndEscape()
{
    // Enter on the first focus (Next) goes on; Enter on Exit and Escape end the program.
    for (const char *key : {"Enter", "Enter on Exit", "Escape"}) {
        Setup1 *step1 = openStep1();
        step1->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(step1));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Next"));
        if (qstrcmp(key, "Escape") == 0) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            QVERIFY2(windows().isEmpty(), key);
            continue;
        }
        if (qstrcmp(key, "Enter on Exit") == 0)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(windows(), qstrcmp(key, "Enter") == 0 ? QStringList{"Setup2"} : QStringList());
        for (QWidget *w : QApplication::topLevelWidgets())
            delete w;
    }
}

void TestWizard::exitEndsTheProgram_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("how");
    QTest::newRow("step 1, Exit") << 1 << "Exit";
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
    if (how == QLatin1String("Exit"))
        click(shown, "Exit");
    else if (how == QLatin1String("Escape"))
        QTest::keyClick(shown, Qt::Key_Escape);
    else
        shown->close();
    QVERIFY(MessageBox::takeShown().isEmpty());
    QCOMPARE(windows(), QStringList());
    QCOMPARE(m_folder->storedNames(), QStringList{"alice"});
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
