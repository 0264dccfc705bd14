// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "WindowTest.h"
#include "app/BBMain.h"
#include "dialogs/BBidder.h"
#include "dialogs/BlockedBidder.h"
#include "site/ParallelGets.h"
#include "sweep/NARU.h"
#include "wizard/Setup1.h"
#include "wizard/Setup2.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QTreeView>

// Each window's flow, end to end on the stand-in site; the rules underneath are tested below the
// windows.
class TestWindows : public WindowTest
{
    Q_OBJECT

    BBMain *openMain(const QList<Bidder> &rows)
    {
        m_folder->seed(rows);
        BBMain *main = m_flow->showMain();
        if (!main)
            QTest::qFail("the main window handed over to the wizard", __FILE__, __LINE__);
        return main;
    }
    static QTreeView *view(BBMain *main) { return main->findChild<QTreeView *>("ListView1"); }
    static QStringList shown(BBMain *main, int column = 0)
    {
        QStringList texts;
        const QAbstractItemModel *model = view(main)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, column).data().toString();
        return texts;
    }
    static void clickHeader(BBMain *main, int column)
    {
        QHeaderView *header = view(main)->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
    }

private slots:
    void mainWindowShowsSortsEditsAndDeletes()
    {
        BBMain *main = openMain({bidder("carol", "Yes", "05/11/2026-09:00:00"), bidder("alice"), bidder("Bob")});
        QCOMPARE(shown(main), QStringList({"carol", "alice", "Bob"}));
        clickHeader(main, 1);
        QCOMPARE(shown(main, 1), QStringList({"No", "No", "Yes"}));
        QCOMPARE(view(main)->header()->sortIndicatorSection(), 1);
        clickHeader(main, 0);
        clickHeader(main, 0);
        QCOMPARE(shown(main), QStringList({"carol", "Bob", "alice"}));
        QVERIFY(view(main)->header()->isSortIndicatorShown());
        QCOMPARE(view(main)->header()->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(view(main)->header()->sectionSize(3), 267); // a list read again keeps its widths

        // Double-click the second row: the record opens, with Save first, and Enter saves the edit.
        const QPoint bob = view(main)->visualRect(view(main)->model()->index(1, 0)).center();
        QTest::mouseClick(view(main)->viewport(), Qt::LeftButton, {}, bob);
        QString naruShown;
        whenModal([&](QWidget *dialog) {
            naruShown = dialog->findChild<QLineEdit *>("NARU")->text();
            auto *reason = dialog->findChild<QLineEdit *>("Reason");
            reason->setText(QStringLiteral("changed"));
            QTest::keyClick(dialog->findChild<QPushButton *>("Command1"), Qt::Key_Return);
        });
        QTest::mouseDClick(view(main)->viewport(), Qt::LeftButton, {}, bob);
        QCOMPARE(naruShown, QStringLiteral("No"));
        QCOMPARE(shown(main, 3), QStringList({"reason for carol", "changed", "reason for alice"}));

        // Delete Selected on the first row, by Enter on the focused button: the bidder goes from the
        // store and the list.
        view(main)->setCurrentIndex(view(main)->model()->index(0, 0));
        main->findChild<QPushButton *>("Command2")->setFocus();
        QTest::keyClick(main->findChild<QPushButton *>("Command2"), Qt::Key_Return);
        QCOMPARE(shown(main), QStringList({"Bob", "alice"}));
        QCOMPARE(m_folder->storedNames(), QStringList({"alice", "Bob"}));
        view(main)->clearSelection();
        click(main, "Command2");
        QCOMPARE(m_folder->storedNames(), QStringList({"alice", "Bob"}));

        // A row whose record went behind the program's back is reported, not opened.
        QVERIFY(BidderStore(m_folder->storePath()).removeUser(QStringLiteral("alice")));
        const QPoint alice = view(main)->visualRect(view(main)->model()->index(1, 0)).center();
        QTest::mouseClick(view(main)->viewport(), Qt::LeftButton, {}, alice);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QTest::mouseDClick(view(main)->viewport(), Qt::LeftButton, {}, alice);
        QVERIFY(message().text.contains(QStringLiteral("no stored record for \"alice\".")));

        // A sort that cannot read the store leaves the rows and the indicator as they were.
        m_folder->write(QStringLiteral("bidders.mdb"), "not a store");
        MessageBox::setNextAnswer(QMessageBox::Ok);
        clickHeader(main, 0);
        QVERIFY(message().text.contains(QStringLiteral("cannot use its list")));
        QCOMPARE(view(main)->header()->sortIndicatorOrder(), Qt::DescendingOrder);

        // Opened again on a list it cannot read, the window offers nothing that acts on rows until
        // a header click has read it.
        main->close();
        MessageBox::setNextAnswer(QMessageBox::Ok);
        main = m_flow->showMain();
        QVERIFY(message().text.contains(QStringLiteral("Click a column heading to try again.")));
        const auto offered = [&main] {
            QList<bool> on{main->findChild<QLabel *>("UnreadNotice")->isHidden()};
            for (const char *name : {"Command5", "Command2", "Command3", "Command4"})
                on << main->findChild<QPushButton *>(name)->isEnabled();
            return on;
        };
        QCOMPARE(offered(), QList<bool>(5, false));
        QVERIFY(shown(main).isEmpty());
        QFile::remove(m_folder->storePath());
        m_folder->seed({bidder("carol")});
        clickHeader(main, 0);
        QCOMPARE(shown(main), QStringList{"carol"});
        QCOMPARE(offered(), QList<bool>(5, true));

        // Exit ends the program: every window goes.
        click(main, "Command9");
        QCOMPARE(windows(), QStringList());
    }

    void emptyStoreAsksToRunTheWizard()
    {
        // Answered in a real message box once, to prove the question is a real Yes/No box.
        QString question;
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            question = box->text();
            box->button(QMessageBox::No)->click();
        });
        BBMain *main = openMain({});
        QCOMPARE(question, QStringLiteral("You have no blocked bidders, do you want to run the setup wizard?"));
        QCOMPARE(message().title, QStringLiteral("Bidwarden"));
        QCOMPARE(windows(), QStringList{"BBMain"});

        // Yes at a header click: the wizard replaces the main window.
        MessageBox::setNextAnswer(QMessageBox::Yes);
        clickHeader(main, 1);
        QCOMPARE(message().text, question);
        QCOMPARE(windows(), QStringList{"Setup1"});
    }

    // Enter in Reason saves, and the row shows at once. Cancel during the check adds nothing, then
    // or later; a failure is said, and the window stays, to try again.
    void blockBidderSavesCancelsAndFails()
    {
        BBMain *main = openMain({bidder("alice")});
        whenModal([](QWidget *dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit *>("UserName"), QStringLiteral(" O'Brien "));
            QTest::keyClicks(dialog->findChild<QLineEdit *>("Reason"), QStringLiteral("bounced cheque"));
            QTest::keyClick(dialog->findChild<QLineEdit *>("Reason"), Qt::Key_Return);
        });
        click(main, "Command5");
        QCOMPARE(shown(main), QStringList({"alice", " O'Brien "}));
        QCOMPARE(shown(main, 3).last(), QStringLiteral("bounced cheque"));

        m_site->setLookupFault("bob", {0, 400, false});
        BBidder cancelled(m_flow->list(), m_flow->context(), main);
        cancelled.show();
        QTest::keyClicks(cancelled.findChild<QLineEdit *>("UserName"), QStringLiteral("bob"));
        click(&cancelled, "Save");
        QVERIFY(!cancelled.findChild<QPushButton *>("Save")->isEnabled());
        click(&cancelled, "Cancel");
        QTest::qWait(500);
        QCOMPARE(cancelled.result(), int(QDialog::Rejected));
        QCOMPARE(m_folder->stored().size(), 2);
        QVERIFY(!QGuiApplication::overrideCursor()); // the wait cursor went with the read of the session

        m_site->stop();
        BBidder failed(m_flow->list(), m_flow->context(), main);
        failed.show();
        QTest::keyClicks(failed.findChild<QLineEdit *>("UserName"), QStringLiteral("bob"));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        click(&failed, "Save");
        QVERIFY(message().text.contains(QStringLiteral("\"bob\"")));
        QVERIFY(failed.isVisible() && failed.findChild<QPushButton *>("Save")->isEnabled());
        QVERIFY(!failed.findChild<QLineEdit *>("UserName")->isReadOnly());
    }

    void enterOnAFocusedCancelCancels()
    {
        BBMain *main = openMain({bidder("alice")});
        BBidder add(m_flow->list(), m_flow->context(), main);
        BlockedBidder edit(m_flow->list(), 0, main);
        QVERIFY(edit.Form_Load());
        for (QDialog *dialog : {static_cast<QDialog *>(&add), static_cast<QDialog *>(&edit)}) {
            dialog->show();
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            dialog->findChild<QLineEdit *>("Reason")->setText(QStringLiteral("typed"));
            auto *cancel = dialog->findChild<QPushButton *>(dialog == &add ? "Cancel" : "Command2");
            cancel->setFocus();
            QTest::keyClick(cancel, Qt::Key_Return);
            QVERIFY(!dialog->isVisible());
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
        }
        QCOMPARE(m_folder->stored(), QList<Bidder>{bidder("alice")});
        QVERIFY(m_site->requests().empty());
    }

    // The bar steps through the rows, the rows show each answer, and the end is said. Escape once the
    // first row is answered closes the window at once, and nothing more is asked or said.
    void sweepShowsItsStepsAndStopsWhenAsked()
    {
        BBMain *main = openMain({bidder("carol", "Yes"), bidder("alice", "No"), bidder("bob", "No")});
        m_site->setNaruIds({"alice"});
        NARU sweep(m_flow->list(), m_flow->context(), main);
        auto *bar = sweep.findChild<QProgressBar *>("ProgressBar1");
        QList<int> positions;
        connect(bar, &QProgressBar::valueChanged, bar, [&](int value) { positions << value; });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        sweep.exec();
        QCOMPARE(bar->maximum(), 3);
        QCOMPARE(positions, QList<int>({1, 2, 3}));
        QCOMPARE(shown(main, 1), QStringList({"No", "Yes", "No"}));
        const MessageBox::Shown done = message();
        QCOMPARE(done.title + done.text, QStringLiteral("Bidwarden ManagementAll usernames checked."));

        m_site->setLookupFault("alice", {0, 0, true});
        NARU failed(m_flow->list(), m_flow->context(), main);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        failed.exec();
        QVERIFY(message().text.contains(QStringLiteral("whether \"alice\" is")));

        m_site->setNaruIds({"carol"});
        m_site->setLookupFault("alice", {0, 400, false});
        NARU stopped(m_flow->list(), m_flow->context(), main);
        connect(&m_flow->list().model(), &QAbstractItemModel::dataChanged, &stopped,
                [&] { QTest::keyClick(&stopped, Qt::Key_Escape); });
        QElapsedTimer clock;
        clock.start();
        stopped.exec();
        QVERIFY(clock.elapsed() < 900);
        QTest::qWait(500);
        QCOMPARE(shown(main, 1), QStringList({"Yes", "Yes", "No"}));
    }

    // Click "Save to eBay" and wait until the window is usable again.
    QList<MessageBox::Shown> save(BBMain *main)
    {
        click(main, "Command4");
        if (!QTest::qWaitFor([main] { return main->findChild<QPushButton *>("Command4")->isEnabled(); }, 20000))
            return {}; // never usable again: what the caller expects to see is missing
        return MessageBox::takeShown();
    }

    // The site holds an id the local list lacks: Cancel sends nothing, Remove them sends the list as
    // it is, Keep them adds the id, checked, and sends all. Then a plain Yes/No question, and the notice
    // says how it went: a list the site did not keep is said as a failure.
    void uploadAsksThenSaysHowItWent()
    {
        BBMain *main = openMain({bidder("bob"), bidder("alice")});
        m_site->setNaruIds({"zed"});
        for (const auto answer : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Yes}) {
            m_site->setSellerList({"ALICE", "zed"});
            m_site->clearRequests();
            MessageBox::setNextAnswer(answer);
            if (answer != QMessageBox::Cancel)
                MessageBox::setNextAnswer(QMessageBox::Ok);
            const auto shown = save(main);
            QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            QCOMPARE(shown.size(), answer == QMessageBox::Cancel ? 1 : 2);
            QCOMPARE(posted().size(), answer == QMessageBox::Cancel ? 0 : 1);
        }
        QCOMPARE(posted(), QStringList{"bob, alice, zed&"});
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        auto shown = save(main);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].title + shown[0].text,
                 QStringLiteral("Submit to eBayAdd bob, alice, zed to your blocked bidders?"));
        QCOMPARE(shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(shown[1].title + shown[1].text,
                 QStringLiteral("WardenkeepAdded bob, alice, zed to your eBay Blocked Bidders"));
        QCOMPARE(shown[1].icon, QMessageBox::NoIcon);
        m_site->setUploadKeeps(1);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QCOMPARE(save(main).last().icon, QMessageBox::Warning);

        // On the real question Keep them is the default button, and Escape cancels.
        m_site->setSellerList({"other"});
        m_site->clearRequests();
        QString defaultButton;
        whenModal([&](QWidget *box) {
            defaultButton = qobject_cast<QMessageBox *>(box)->defaultButton()->text();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(save(main).size(), 1);
        QCOMPARE(defaultButton, QStringLiteral("&Keep them"));
        QVERIFY(posted().isEmpty());
    }

    // The save shows where it is in a window of its own over the main window. Enter there does
    // nothing; Escape ends the save silently until the post is sent, and after that only says so.
    // The questions open over it, and it is gone before the notice.
    void uploadShowsWhereItIs()
    {
        BBMain *main = openMain({bidder("alice")});
        m_site->setFault({0, 300, false});
        click(main, "Command4");
        QPointer<QDialog> progress = main->findChild<QDialog *>("SaveProgress");
        QVERIFY(progress && progress->isVisible());
        const auto step = [&] { return progress->findChild<QLabel *>("Label1")->text(); };
        QCOMPARE(progress->windowTitle() + ": " + step(), "Saving to eBay: Reading the list the site holds now...");
        QVERIFY(!main->findChild<QPushButton *>("Command9")->isEnabled());
        QTest::keyClick(progress->findChild<QPushButton *>("Command1"), Qt::Key_Return); // Stop has the focus
        QVERIFY(progress->isVisible());
        QTRY_VERIFY(!m_site->requests().empty()); // the browser session read, the site's list asked for
        QTest::keyClick(progress, Qt::Key_Escape);
        QVERIFY(main->findChild<QPushButton *>("Command4")->isEnabled());
        QTRY_VERIFY(!progress);

        m_site->setFault({});
        m_site->setUploadFault({0, 800, false});
        QString questionOver;
        whenModal([&](QWidget *box) {
            questionOver = box->parentWidget()->objectName();
            QTest::keyClick(box, Qt::Key_Return);
        });
        click(main, "Command4");
        progress = main->findChild<QDialog *>("SaveProgress");
        QTRY_COMPARE(step(), QStringLiteral("Sending your list..."));
        QTest::keyClick(progress, Qt::Key_Escape);
        QVERIFY(step().startsWith("Your list has been sent.") && progress->isVisible());
        bool progressShown = true;
        QString notice;
        whenModal([&](QWidget *box) {
            progressShown = progress && progress->isVisible();
            notice = qobject_cast<QMessageBox *>(box)->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QTRY_VERIFY_WITH_TIMEOUT(main->findChild<QPushButton *>("Command4")->isEnabled(), 10000);
        QTRY_VERIFY(!notice.isEmpty());
        QCOMPARE(questionOver, QStringLiteral("SaveProgress"));
        QCOMPARE(notice, QStringLiteral("Added alice to your eBay Blocked Bidders"));
        QVERIFY(!progressShown);
        QCOMPARE(MessageBox::takeShown().size(), 2); // the question and the notice: nothing on the stop
    }

    void wizardImportsTheSiteListAndHandsBack()
    {
        BBMain *main = openMain({bidder("local")});
        click(main, "Command1");
        QCOMPARE(windows(), QStringList{"Setup1"});
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "recordUrl");
        QTest::mouseClick(window<Setup1>()->findChild<QLabel *>("Label2"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QCOMPARE(m_opened, QList<QUrl>{QUrl(m_flow->context().siteUrl + "/aw-cgi/eBayISAPI.dll?bidderblocklogin")});

        click(window<Setup1>(), "Next");
        Setup2 *step2 = window<Setup2>();
        auto lines = [step2] {
            QStringList texts;
            for (int i = 0; i < step2->findChild<QListWidget *>("List1")->count(); ++i)
                texts << step2->findChild<QListWidget *>("List1")->item(i)->text();
            return texts;
        };
        // A Download while signed out is answered in a real message box while the download's
        // signal is being handled: the job outlives the box and goes only afterwards. The site
        // answers slowly, so the download job, which starts once the browser session is read, is
        // there to watch before its page comes.
        m_site->setSignedOut(true);
        m_site->setFault({0, 300, false});
        for (int i = 0; i < 2; ++i) {
            bool outlivedTheBox = false;
            whenModal([](QWidget *box) { QTest::keyClick(box, Qt::Key_Return); });
            click(step2, "Command1");
            QTRY_VERIFY(step2->findChild<ParallelGets *>());
            connect(step2->findChild<ParallelGets *>(), &ParallelGets::fetched, this, [&] { outlivedTheBox = true; });
            QVERIFY(message().text.contains(QStringLiteral("sign in")));
            QVERIFY(outlivedTheBox);
            QTRY_VERIFY(!step2->findChild<ParallelGets *>());
        }
        m_site->setSignedOut(false);
        m_site->setFault({});
        // A lookup that fails leaves the window as the last import left it: before any, empty.
        m_site->setSellerList({"alpha", "beta", "gamma"});
        m_site->setNaruIds({"beta"});
        const QStringList imported{"alpha", "beta (NARU)", "gamma"};
        for (const QStringList &before : {QStringList(), imported}) {
            m_site->setLookupFault("beta", {0, 0, true});
            MessageBox::setNextAnswer(QMessageBox::Ok);
            click(step2, "Command1");
            QVERIFY(message().text.contains(QStringLiteral("\"beta\" (entry 2 of 3)")));
            QCOMPARE(lines(), before);
            QCOMPARE(step2->findChild<QProgressBar *>("ProgressBar1")->maximum(), before.isEmpty() ? 100 : 2);
            m_site->setLookupFault("beta", {});
            click(step2, "Command1");
            QTRY_VERIFY(step2->findChild<QPushButton *>("Next")->isEnabled());
            QCOMPARE(lines(), imported);
            QCOMPARE(step2->findChild<QProgressBar *>("ProgressBar1")->value(), 2);
        }
        click(step2, "Next");
        QCOMPARE(windows(), QStringList{"BBMain"});
        QCOMPARE(shown(window<BBMain>()), QStringList({"alpha", "beta", "gamma"}));
    }

    void wizardStepsReplaceEachOtherAndExitEnds()
    {
        m_flow->showWizard();
        click(window<Setup1>(), "Next");
        click(window<Setup2>(), "Back");
        QCOMPARE(windows(), QStringList{"Setup1"});
        Setup1 *step1 = window<Setup1>();
        step1->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(step1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(windows(), QStringList{"Setup2"});
        // Escape while the import runs stops it, leaves the store as it was, and ends the program.
        m_folder->seed({bidder("local")});
        m_site->setSellerList({"alpha", "beta"});
        m_site->setFault({0, 300, false});
        click(window<Setup2>(), "Command1");
        QTest::qWait(100);
        QVERIFY(!window<Setup2>()->findChild<QPushButton *>("Back")->isEnabled());
        QTest::keyClick(window<Setup2>(), Qt::Key_Escape);
        QCOMPARE(windows(), QStringList());
        QTest::qWait(700);
        QCOMPARE(m_folder->storedNames(), QStringList{"local"});
    }

public slots:
    void recordUrl(const QUrl &url) { m_opened << url; }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
