#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace qz::app {

bool installQtTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    // Qt falls back from pt_BR to pt when only that is installed.
    if (!translator->load(QStringLiteral("qtbase_pt_BR"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

}  // namespace qz::app
