// The program: one merge window over the PDF layer, run until it closes.

#include <QApplication>

#include "app/ComponentMergeRunner.h"
#include "app/Translations.h"
#include "app/WindowDialogs.h"
#include "app/frm_merge.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Costurix"));
    QApplication::setApplicationVersion(QStringLiteral(QZ_APP_VERSION));
    qz::app::installQtTranslations(application);

    // The runner that does the PDF work through the document component.
    qz::app::ComponentMergeRunner runner;
    qz::app::QtWindowDialogs dialogs;
    qz::app::Tfrm_merge frm_merge(runner, dialogs);
    frm_merge.show();
    // Closing the window, the last one, ends the loop and the program.
    return QApplication::exec();
}
