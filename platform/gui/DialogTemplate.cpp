#include "platform/gui/DialogTemplate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>

#include <cmath>

namespace {

struct BaseUnits {
    qreal x; // pixels per four horizontal dialog units
    qreal y; // pixels per eight vertical dialog units
};

BaseUnits BaseUnitsOf(const QFont& font)
{
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetricsF metrics(font);
    return {metrics.horizontalAdvance(letters) / letters.size(), metrics.height()};
}

int Scale(int units, qreal base, int per)
{
    return int(std::lround(units * base / per));
}

QRect Scaled(const QRect& units, const BaseUnits& base)
{
    return QRect(Scale(units.x(), base.x, 4), Scale(units.y(), base.y, 8),
                 Scale(units.width(), base.x, 4), Scale(units.height(), base.y, 8));
}

} // namespace

QRect DialogUnitsToPixels(const QWidget& dialog, const QRect& units)
{
    return Scaled(units, BaseUnitsOf(dialog.font()));
}

void MapDialogUnits(QWidget& dialog)
{
    const BaseUnits base = BaseUnitsOf(dialog.font());
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : controls) {
        if (control->isWindow())
            continue;
        QRect pixels = Scaled(control->geometry(), base);
        // A combo's template height includes its drop-down list; the closed
        // box is as tall as its font needs.
        if (auto* combo = qobject_cast<QComboBox*>(control))
            pixels.setHeight(combo->sizeHint().height());
        // A text never gets cut at the bottom: a label or check box shorter
        // than its line grows about its middle.
        if (qobject_cast<QLabel*>(control) || qobject_cast<QCheckBox*>(control)) {
            const int missing = control->sizeHint().height() - pixels.height();
            if (missing > 0)
                pixels.adjust(0, -missing / 2, 0, missing - missing / 2);
        }
        control->setGeometry(pixels);
        // A group box only frames the controls drawn over it; kept at the
        // back, it never takes their clicks.
        if (qobject_cast<QGroupBox*>(control))
            control->lower();
    }
    dialog.setFixedSize(Scaled(QRect(QPoint(), dialog.size()), base).size());
}

QWidget* ControlById(const QWidget& dialog, int id)
{
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>();
    for (QWidget* control : controls) {
        const QVariant value = control->property("controlId");
        if (value.isValid() && value.toInt() == id)
            return control;
    }
    return nullptr;
}
