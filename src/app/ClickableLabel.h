// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>

// A label that acts as a link: a hand pointer over it, and clicked() on a left click.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
