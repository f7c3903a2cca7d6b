#include "formlayout.h"

#include "stringtable.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <algorithm>

namespace Quilo {

QRect DialogUnits::toPixels(const QRect &units) const
{
    const auto px = [](int v, double scale) { return qRound(v * scale); };
    return {px(units.x(), x), px(units.y(), y), px(units.width(), x), px(units.height(), y)};
}

DialogUnits dialogUnits(const QWidget *form)
{
    const QFontMetricsF metrics(form->font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average = metrics.horizontalAdvance(letters) / 52.0;
    // never below the classic 8-point dialog font's units
    DialogUnits units{std::max(1.5, average / 4.0), std::max(1.625, metrics.height() / 8.0)};
    // a wider font than the forms were drawn for would cut labels off: widen the form a
    // little, up to a limit, rather than clip them
    double needed = units.x;
    for (const QWidget *w : form->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        const bool hasText = qobject_cast<const QLabel *>(w) || qobject_cast<const QAbstractButton *>(w);
        if (hasText && w->geometry().width() > 0)
            needed = std::max(needed, static_cast<double>(w->sizeHint().width()) / w->geometry().width());
    }
    units.x = std::min(needed, units.x * 1.3);
    return units;
}

void mapDialogUnits(QWidget *form)
{
    const DialogUnits units = dialogUnits(form);
    const QList<QWidget *> children = form->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
        child->setGeometry(units.toPixels(child->geometry()));
    const QRect size = units.toPixels(QRect(QPoint(0, 0), form->size()));
    form->setMinimumSize(size.size());
    form->resize(size.size());
}

void widenToText(QLineEdit *edit)
{
    constexpr int kMargins = 10; // the box's own margins and caret
    const int needed = edit->fontMetrics().horizontalAdvance(edit->text()) + kMargins;
    if (needed > edit->width())
        edit->resize(needed, edit->height());
}

void setFormTexts(QWidget *form, std::span<const FormText> texts)
{
    for (const FormText &t : texts) {
        QWidget *w = form->findChild<QWidget *>(QLatin1String(t.objectName));
        if (!w)
            continue;
        const QString text = LoadString(t.text);
        if (auto *label = qobject_cast<QLabel *>(w))
            label->setText(text);
        else if (auto *group = qobject_cast<QGroupBox *>(w))
            group->setTitle(text);
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            button->setText(text);
        else
            w->setWindowTitle(text);
    }
}

} // namespace Quilo
