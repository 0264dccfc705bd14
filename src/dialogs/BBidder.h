#pragma once

#include <QDialog>
#include <memory>

class BBMain;

namespace Ui {
class BBidder;
}

// Adds one bidder: the typed user id goes to the end of the main list, is checked for NARU on
// the site and is stored with the date and the typed reason. Nothing typed is refused or changed.
class BBidder : public QDialog
{
    Q_OBJECT

public:
    explicit BBidder(BBMain &main);
    ~BBidder() override;

private:
    void Save_Click();

    const std::unique_ptr<Ui::BBidder> m_ui;
    BBMain &m_main;
};
