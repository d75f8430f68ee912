// Fernlay: the main screen over the data files beside the executable.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "ui/help.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt's own dialogs (file chooser, Yes/No buttons) speak Japanese like the rest of the
    // program when the translations are installed; otherwise they stay in English.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    ui::MainWindow window(ui::ExecutablePath().parent_path());
    window.InstallTerminationHandlers();
    window.show();
    return app.exec();
}
