// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>

class QAccessibleInterface;

// A label that acts as a link: a hand pointer over it, and clicked() on a left click.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    // For QAccessible::installFactory: a screen reader hears a link, named by its text, and can
    // follow it with its press action, though the label takes no keyboard focus.
    static QAccessibleInterface *accessibleLink(const QString &className, QObject *object);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
