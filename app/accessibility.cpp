#include "accessibility.h"

#include <QAccessibleWidget>
#include <QMessageBox>
#include <QTextDocument>

namespace {

class AccessibleForm : public QAccessibleWidget
{
public:
    explicit AccessibleForm(QWidget *form)
        : QAccessibleWidget(form, QAccessible::Window)
    {
    }
};

class AccessibleAlert : public QAccessibleWidget
{
public:
    explicit AccessibleAlert(QMessageBox *box)
        : QAccessibleWidget(box, QAccessible::AlertMessage)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !widget()->accessibleName().isEmpty())
            return QAccessibleWidget::text(t);
        // The message as the box shows it, so markup it renders is not read out.
        const auto *box = static_cast<const QMessageBox *>(widget());
        QString message = box->text();
        if (box->textFormat() == Qt::RichText
            || (box->textFormat() == Qt::AutoText && Qt::mightBeRichText(message))) {
            QTextDocument document;
            document.setHtml(message);
            return document.toPlainText();
        }
        return message;
    }
};

QAccessibleInterface *accessibleFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (auto *box = qobject_cast<QMessageBox *>(widget);
        box && className == QLatin1String(QMessageBox::staticMetaObject.className()))
        return new AccessibleAlert(box);
    const QMetaObject *meta = object->metaObject();
    if (widget->isWindow() && className == QLatin1String(meta->className())
        && meta->superClass() == &QWidget::staticMetaObject)
        return new AccessibleForm(widget);
    return nullptr;
}

} // namespace

void installAccessibleRoles()
{
    QAccessible::installFactory(accessibleFactory);
}

void removeAccessibleRoles()
{
    QAccessible::removeFactory(accessibleFactory);
}
