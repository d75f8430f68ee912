// Fernlay: the main screen over the data directory (beside the executable when it may be
// written there, else the per-user data folder).
#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include "app/main_screen.h"
#include "platform/error.h"
#include "platform/program_dirs.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/termination_signals.h"

int main(int argc, char** argv) {
    // A termination signal during start-up waits in the pipe until the window can close.
    ui::termination::Install();
    QApplication app(argc, argv);
    // Qt's own dialogs (file chooser, Yes/No buttons) speak Japanese like the rest of the
    // program when the translations are installed; otherwise they stay in English.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTexts);
    platform::DataDirChoice data;
    try {
        data = platform::ChooseDataDir(platform::ExecutablePath(), platform::UserDataDir());
    } catch (const platform::Error& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Fernlay"),
                              ui::ToQt(app::MainScreen::ErrorText(e)));
        return 1;
    }
    ui::MainWindow window(data.Dir);
    window.InstallTerminationHandlers();
    window.show();
    return app.exec();
}
