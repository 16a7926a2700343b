#pragma once

#include <QList>
#include <QWidget>

// The forms in resources/ place their controls in dialog units, the
// font-relative measure of the original templates: a horizontal unit is a
// quarter of the dialog font's average letter width, a vertical unit 13/12 of
// a horizontal one. MapDialogUnits turns them into pixels once, after setupUi,
// keeping the template's proportions: the whole dialog grows evenly until its
// edits and pickers are as tall as their text needs, and labels line up with
// the field beside them.
void MapDialogUnits(QWidget& dialog);

// Finishes a dialog made by setupUi: a title bar with a close box and no
// minimise or maximise box, the program's icon, and the controls mapped from
// dialog units to pixels. A form laid out with layouts instead places its
// controls itself and can be resized: its geometry in dialog units is the
// size it starts at (or what its layout asks for, where that is more), never
// more than the screen it opens on leaves for it and its window frame; such
// a form scrolls what does not fit above its buttons, so that on a small
// screen every control stays reachable.
void SetUpDialog(QWidget& dialog);

// The pixel size of a rectangle given in dialog units, for the dialog's font.
QRect DialogUnitsToPixels(const QWidget& dialog, const QRect& units);

// The control whose "controlId" property is id; nullptr when there is none.
QWidget* ControlById(const QWidget& dialog, int id);

template <typename T> T* FindControl(const QWidget& dialog, int id)
{
    return qobject_cast<T*>(ControlById(dialog, id));
}
