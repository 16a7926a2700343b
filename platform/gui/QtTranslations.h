#pragma once

#include <QLocale>
#include <QString>

// Loads Qt's own translations for locale (the texts Qt writes itself: the
// standard buttons of message boxes, such as OK), from Qt's translations
// folder, into the running application. False when there are none for it;
// Qt's texts then stay English.
bool LoadQtTranslations(const QLocale& locale = QLocale());

// The standard OK button's text as Qt gives it in the loaded translations.
QString StandardOkText();
