#pragma once

#include <QList>
#include <QWidget>

// The forms in resources/ place their controls in dialog units, the
// font-relative measure of the original templates: a horizontal unit is a
// quarter of the dialog font's average character width, a vertical unit an
// eighth of its line height. MapDialogUnits turns them into pixels once, after
// setupUi, so the proportions stay those of the template whatever the font.
void MapDialogUnits(QWidget& dialog);

// The pixel size of a rectangle given in dialog units, for the dialog's font.
QRect DialogUnitsToPixels(const QWidget& dialog, const QRect& units);

// The control whose "controlId" property is id; nullptr when there is none.
QWidget* ControlById(const QWidget& dialog, int id);

template <typename T> T* FindControl(const QWidget& dialog, int id)
{
    return qobject_cast<T*>(ControlById(dialog, id));
}
