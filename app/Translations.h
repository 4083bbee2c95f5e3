#pragma once
// Qt's own texts (the file and folder dialogs, the buttons of message boxes)
// in the window's language, Brazilian Portuguese, whatever the system's is.

class QCoreApplication;

namespace qz::app {

// Installs Qt's Portuguese translations from Qt's translations folder into
// `application`. Without them (the package is missing) Qt's texts stay in
// English and this gives false.
bool installQtTranslations(QCoreApplication& application);

}  // namespace qz::app
