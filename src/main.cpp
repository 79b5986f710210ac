// Entry point of the configurator: one application object, one main window.
#include <QApplication>

#include "Halvero_configurator.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Halvero_configurator window;
    window.show();
    return app.exec();
}
