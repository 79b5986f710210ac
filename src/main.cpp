// Entry point of the configurator: one application object, one main window.
#include <QApplication>

#include "Halvero_configurator.h"
#include "outputfile.h"

int main(int argc, char *argv[])
{
    OutputFile::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    Halvero_configurator window;
    window.show();
    return app.exec();
}
