// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "ui/ClickableLabel.h"

#include <QAccessibleWidget>
#include <QMouseEvent>

namespace {

class AccessibleLink : public QAccessibleWidget
{
public:
    explicit AccessibleLink(ClickableLabel *label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const QLabel *>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && widget()->isEnabled())
            emit static_cast<ClickableLabel *>(widget())->clicked();
    }
};

} // namespace

QAccessibleInterface *ClickableLabel::accessibleLink(const QString &className, QObject *object)
{
    if (className == QLatin1String("ClickableLabel"))
        return new AccessibleLink(static_cast<ClickableLabel *>(object));
    return nullptr;
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
