// Fernlay: the main screen over the data files beside the executable.
#include <QApplication>

#include "ui/help.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::MainWindow window(ui::ExecutablePath().parent_path());
    window.InstallTerminationHandlers();
    window.show();
    return app.exec();
}
