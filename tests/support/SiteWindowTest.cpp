#include "SiteWindowTest.h"

#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"

#include <QApplication>
#include <QLocale>
#include <QTest>

void SiteWindowTest::setUpProgram()
{
    // The site requests must never carry the developer's own browser cookies.
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    ApplyAppearance();
    QLocale::setDefault(QLocale(QStringLiteral("en_GB")));
}

void SiteWindowTest::setUpTest()
{
    m_folder = std::make_unique<TestFolder>();
    m_site = std::make_unique<StandinSite>();
    QVERIFY(m_site->start());
    MessageBox::takeShown();
}

void SiteWindowTest::tearDownTest()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        delete w;
    m_main = nullptr;
    m_site.reset();
    m_folder.reset();
    QVERIFY2(MessageBox::takeShown().isEmpty(), "a test left a message unchecked");
}

BBMain *SiteWindowTest::openMain(const QList<Bidder> &rows)
{
    m_folder->seed(rows);
    if (rows.isEmpty())
        MessageBox::setNextAnswer(QMessageBox::No);
    m_main = BBMain::showFresh(context());
    MessageBox::takeShown();
    return m_main;
}
