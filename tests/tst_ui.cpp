// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "ui/ClickableLabel.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

struct SeenBox
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::StandardButtons buttons;
};

// What the next message box shows, read once it is up; Escape then closes it.
void readNextBox(SeenBox &seen)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, &seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->deleteLater();
        const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        seen = {box->icon(), box->windowTitle(), label->text(), label->textFormat(), box->standardButtons()};
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
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        QTest::newRow("ask") << "ask"
                             << "Submit to eBay" << int(QMessageBox::Question) << yesNo;
        QTest::newRow("choose") << "choose"
                                << "Submit to eBay" << int(QMessageBox::Question) << (yesNo | QMessageBox::Cancel);
        QTest::newRow("tell") << "tell"
                              << "Wardenkeep" << int(QMessageBox::Information) << int(QMessageBox::Ok);
        QTest::newRow("fail") << "fail"
                              << "Bidwarden" << int(QMessageBox::Warning) << int(QMessageBox::Ok);
    }
    void messagesShowTheirTextAsTypedWithTheirIcon()
    {
        QFETCH(QString, kind);
        QFETCH(QString, title);
        QFETCH(int, icon);
        QFETCH(int, buttons);
        // Text from the site or the store may hold anything; as markup, an image tag would be loaded.
        const QString text = QStringLiteral("<b>x</b> <img src=x>");
        SeenBox seen;
        readNextBox(seen);
        if (kind == "ask")
            MessageBox::ask(nullptr, title, text);
        else if (kind == "choose")
            MessageBox::choose(nullptr, title, text, QStringLiteral("&Keep"), QStringLiteral("&Remove"));
        else if (kind == "tell")
            MessageBox::tell(nullptr, QString(), text);
        else
            MessageBox::fail(nullptr, text);
        QCOMPARE(seen.format, Qt::PlainText);
        QCOMPARE(seen.text, text);
        QCOMPARE(seen.title, title);
        QCOMPARE(int(seen.icon), icon);
        QCOMPARE(int(seen.buttons), buttons);
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QVERIFY(shown.size() == 1 && int(shown[0].icon) == icon && shown[0].text == text);
    }

    void labelIsClickedOnlyByALeftReleaseInsideIt_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<int>("clicks");
        QTest::newRow("left inside") << int(Qt::LeftButton) << QPoint(5, 5) << 1;
        QTest::newRow("left, released outside") << int(Qt::LeftButton) << QPoint(5, 40) << 0;
        QTest::newRow("right inside") << int(Qt::RightButton) << QPoint(5, 5) << 0;
    }
    void labelIsClickedOnlyByALeftReleaseInsideIt()
    {
        QFETCH(int, button);
        QFETCH(QPoint, release);
        QFETCH(int, clicks);
        ClickableLabel label(QStringLiteral("https://example.invalid/"));
        label.setGeometry(0, 0, 200, 20);
        QSignalSpy clicked(&label, &ClickableLabel::clicked);
        QTest::mousePress(&label, Qt::MouseButton(button), {}, QPoint(5, 5));
        QTest::mouseRelease(&label, Qt::MouseButton(button), {}, release);
        QCOMPARE(clicked.count(), clicks);
    }
};

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
