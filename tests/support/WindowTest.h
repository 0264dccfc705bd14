// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "SiteFixture.h"
#include "app/WindowFlow.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

// Runs `act` on the next modal window once it is up (polling, as the modal loop of the code
// under test owns the event loop meanwhile). Never assert inside `act`: copy out what is needed
// and check it after the call that opened the window has returned.
inline void whenModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, deadline = QDeadlineTimer(10000), act = std::move(act)] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (modal)
            act(modal);
    });
    timer->start(10);
}

inline void click(QWidget *window, const char *button)
{
    QTest::mouseClick(window->findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);
}

// What the window tests share: a HOME without browser cookies, and for each test a fresh
// application folder, stand-in site and window flow; no window or message may be left over.
class WindowTest : public QObject, protected SiteFixture
{
    Q_OBJECT

protected slots:
    void initTestCase() { QVERIFY(useEmptyHome()); }
    void init()
    {
        QVERIFY(startSite());
        m_flow = std::make_unique<WindowFlow>(AppContext{m_folder->path(), siteUrl(), m_quick});
        MessageBox::takeShown();
    }
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            delete w;
        m_flow.reset();
        m_site.reset();
        m_folder.reset();
        QVERIFY2(MessageBox::takeShown().isEmpty(), "a test left a message unchecked");
    }

protected:
    // The top-level windows once pending deletions are done; none may linger hidden.
    static QStringList windows()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList names;
        for (QWidget *w : QApplication::topLevelWidgets())
            names << w->objectName() + (w->isVisible() ? QString() : QStringLiteral(" (hidden)"));
        return names;
    }
    template <typename T> static T *window()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *found = qobject_cast<T *>(w))
                return found;
        return nullptr;
    }
    // The one message shown since the last call, once it is; fails when there was not exactly one.
    static MessageBox::Shown message()
    {
        QList<MessageBox::Shown> shown = MessageBox::takeShown();
        for (QDeadlineTimer deadline(10000); shown.isEmpty() && !deadline.hasExpired(); shown = MessageBox::takeShown())
            QTest::qWait(5);
        if (shown.size() != 1)
            QTest::qFail(qPrintable(QStringLiteral("%1 messages shown").arg(shown.size())), __FILE__, __LINE__);
        return shown.value(0, MessageBox::Shown{});
    }

    std::unique_ptr<WindowFlow> m_flow;
};
