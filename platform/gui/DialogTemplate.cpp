#include "platform/gui/DialogTemplate.h"

#include "platform/gui/AppIcon.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

#include <cmath>

namespace {

struct BaseUnits {
    qreal x; // pixels per four horizontal dialog units
    qreal y; // pixels per eight vertical dialog units
};

// The width unit comes from the font's average letter; the height unit keeps
// the original 6:13 ratio to it. Arabic fonts have far taller lines than
// their letters' width suggests: taken as the unit, such a line would stretch
// the dialog out of proportion.
BaseUnits BaseUnitsOf(const QFont& font)
{
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const qreal x = QFontMetricsF(font).horizontalAdvance(letters) / letters.size();
    return {x, x * 13 / 6};
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

bool IsEntryField(const QWidget* control)
{
    return qobject_cast<const QLineEdit*>(control) ||
           qobject_cast<const QAbstractSpinBox*>(control);
}

bool IsTextLine(const QWidget* control)
{
    return qobject_cast<const QLabel*>(control) || qobject_cast<const QCheckBox*>(control);
}

// How much the whole dialog grows so that every edit and picker is as tall as
// its text needs (at most half again as large).
qreal FitFactor(const QList<QWidget*>& controls, const BaseUnits& base)
{
    qreal factor = 1;
    for (const QWidget* control : controls) {
        const int height = Scaled(control->geometry(), base).height();
        if (IsEntryField(control) && height > 0)
            factor = qMax(factor, qreal(control->sizeHint().height()) / height);
    }
    return qMin(factor, 1.5);
}

// The field whose rows a label's middle falls in, for lining the label up with it.
const QWidget* FieldBeside(const QWidget* label, const QList<QWidget*>& controls)
{
    const int middle = label->geometry().center().y();
    for (const QWidget* control : controls)
        if ((IsEntryField(control) || qobject_cast<const QComboBox*>(control)) &&
            control->geometry().top() <= middle && middle <= control->geometry().bottom())
            return control;
    return nullptr;
}

// A form laid out with layouts: its template size, or its layout's wish,
// within the screen (SetUpDialog).
void FitDialogToScreen(QWidget& dialog)
{
    const QSize wanted = Scaled(QRect(QPoint(), dialog.size()), BaseUnitsOf(dialog.font()))
                             .size()
                             .expandedTo(dialog.sizeHint());
    // The screen of the window it opens over, which it is centred on; the
    // frame the window system adds as that window has it, else 10 pixels
    // across and 40 down, as Qt's own placing of a dialog assumes.
    const QWidget* over = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    const QScreen* screen = over ? over->screen() : dialog.screen();
    const QSize frame =
        over && over->isVisible() ? over->frameGeometry().size() - over->size() : QSize(10, 40);
    const QSize room = screen->availableGeometry().size() - frame;
    dialog.resize(wanted.boundedTo(room).expandedTo(dialog.minimumSizeHint()));
}

} // namespace

QRect DialogUnitsToPixels(const QWidget& dialog, const QRect& units)
{
    return Scaled(units, BaseUnitsOf(dialog.font()));
}

void MapDialogUnits(QWidget& dialog)
{
    QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    controls.removeIf([](const QWidget* control) { return control->isWindow(); });
    BaseUnits base = BaseUnitsOf(dialog.font());
    const qreal fit = FitFactor(controls, base);
    base = {base.x * fit, base.y * fit};

    for (QWidget* control : controls) {
        QRect pixels = Scaled(control->geometry(), base);
        // A combo's template height includes its drop-down list; the closed
        // box is as tall as its font needs.
        if (qobject_cast<QComboBox*>(control))
            pixels.setHeight(control->sizeHint().height());
        control->setGeometry(pixels);
        // A group box only frames the controls drawn over it; kept at the
        // back, it never takes their clicks.
        if (qobject_cast<QGroupBox*>(control))
            control->lower();
    }
    // Labels and check boxes: as tall as their line, centred on the field
    // beside them (or on their own rectangle), so no text is cut.
    for (QWidget* control : controls) {
        if (!IsTextLine(control))
            continue;
        QRect pixels = control->geometry();
        const QWidget* field = FieldBeside(control, controls);
        const int middle = field ? field->geometry().center().y() : pixels.center().y();
        pixels.setHeight(qMax(pixels.height(), control->sizeHint().height()));
        pixels.moveCenter(QPoint(pixels.center().x(), middle));
        control->setGeometry(pixels);
    }
    dialog.setFixedSize(Scaled(QRect(QPoint(), dialog.size()), base).size());
}

void SetUpDialog(QWidget& dialog)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint);
    dialog.setWindowIcon(AppIcon());
    if (dialog.layout())
        FitDialogToScreen(dialog);
    else
        MapDialogUnits(dialog);
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
