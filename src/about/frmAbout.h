// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmAbout;
}

// The About box: product, maker and version, with links to the maker's site.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

    // "Version: 1.1 Beta - Build 0" for version 1.1.0.
    static QString versionLine(int major, int minor, int revision);

private:
    void openTag(const QObject *label);

    const std::unique_ptr<Ui::frmAbout> m_ui;
};
