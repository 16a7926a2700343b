#include "platform/gui/QtTranslations.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTranslator>

bool LoadQtTranslations(const QLocale& locale)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QString StandardOkText()
{
    // The button box asks the platform theme, which translates its texts.
    const QDialogButtonBox buttons(QDialogButtonBox::Ok);
    return buttons.button(QDialogButtonBox::Ok)->text();
}
