// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "ui/Appearance.h"
#include "ui/ClickableLabel.h"
#include "ui/MessageBox.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// The next message box as shown: title, text, its format, icon and buttons; Escape then closes it.
void readNextBox(QVariantList &seen)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, &seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->deleteLater();
        const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        seen = {box->windowTitle(), label->text(), int(label->textFormat()), int(box->icon()),
                int(box->standardButtons())};
        QTest::keyClick(box, Qt::Key_Escape);
    });
    timer->start(10);
}

} // namespace

// The kit every window uses.
class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void messagesShowTheirTextAsTypedWithTheirIcon_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        const int yesNo = QMessageBox::Yes | QMessageBox::No, ok = QMessageBox::Ok;
        QTest::newRow("ask") << "Submit to eBay" << int(QMessageBox::Question) << yesNo;
        QTest::newRow("choose") << "Submit to eBay" << int(QMessageBox::Question) << (yesNo | QMessageBox::Cancel);
        QTest::newRow("tell") << "Wardenkeep" << int(QMessageBox::Information) << ok;
        QTest::newRow("fail") << "Bidwarden" << int(QMessageBox::Warning) << ok;
    }
    void messagesShowTheirTextAsTypedWithTheirIcon()
    {
        const QByteArray kind = QTest::currentDataTag();
        QFETCH(QString, title);
        QFETCH(int, icon);
        QFETCH(int, buttons);
        // Text from the site or the store may hold anything; as markup, an image tag would be loaded.
        const QString text = QStringLiteral("<b>x</b> <img src=x>");
        QVariantList seen;
        readNextBox(seen);
        if (kind == "ask")
            MessageBox::ask(nullptr, title, text);
        else if (kind == "choose")
            MessageBox::choose(nullptr, title, text, QStringLiteral("&Keep"), QStringLiteral("&Remove"));
        else if (kind == "tell")
            MessageBox::tell(nullptr, QString(), text);
        else
            MessageBox::fail(nullptr, text);
        QCOMPARE(seen, QVariantList({title, text, int(Qt::PlainText), icon, buttons}));
    }

    void labelIsClickedOnlyByALeftReleaseInsideIt()
    {
        ClickableLabel label(QStringLiteral("https://example.invalid/"));
        label.setGeometry(0, 0, 200, 20);
        QSignalSpy clicked(&label, &ClickableLabel::clicked);
        QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(5, 40)); // let go outside: no click
        QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicked.count(), 1);
    }

    // A window that is a plain QWidget reaches a screen reader as a window; a plain pane in it does not.
    void plainWindowIsAnnouncedAsAWindow()
    {
        ApplyAppearance();
        QWidget window;
        auto *pane = new QWidget(&window);
        QCOMPARE(QAccessible::queryAccessibleInterface(&window)->role(), QAccessible::Window);
        QVERIFY(QAccessible::queryAccessibleInterface(pane)->role() != QAccessible::Window);
    }
};

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
