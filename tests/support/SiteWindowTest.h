#pragma once

#include "StandinSite.h"
#include "TestSupport.h"
#include "app/AppContext.h"

#include <QObject>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

class BBMain;

// What the window tests that talk to the stand-in site share: a HOME without browser cookies, a
// fresh application folder and stand-in site for each test, and no window or message left over.
// Each test class calls these from its own initTestCase(), init() and cleanup() slots.
class SiteWindowTest : public QObject
{
protected:
    void setUpProgram();
    void setUpTest();
    void tearDownTest();

    AppContext context() const { return {m_folder->path(), QString::fromStdString(m_site->baseUrl())}; }
    // A main window on a store holding these rows; an empty store's question is answered No.
    BBMain *openMain(const QList<Bidder> &rows);

    QTemporaryDir m_home;
    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<StandinSite> m_site;
    BBMain *m_main = nullptr;
};

// Records the addresses handed to the browser (QDesktopServices::setUrlHandler with "open").
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};
