// The window declares HalveroTestAccess its friend: through it the tests
// reach its form, its tick handler, its page catalogue and its parts. Header only and
// free of the simulator, so that the form test, which has no board, can
// use it as well as the tests that drive the window against one.
#ifndef HALVERO_TESTSUPPORT_TESTACCESS_H
#define HALVERO_TESTSUPPORT_TESTACCESS_H

#include <QMap>
#include <QString>

#include "Halvero_configurator.h"

class Ui_Halvero_configurator;

struct HalveroTestAccess
{
    static Ui_Halvero_configurator *ui(Halvero_configurator &w) { return w.ui; }
    static void tick(Halvero_configurator &w) { w.onScanTimeout(); }
    static QMap<QString, QWidget *> pages(const Halvero_configurator &w) { return w.tabPages; }
    static QMap<QString, QString> titles(const Halvero_configurator &w) { return w.tabTitles; }
    static void restorePage(Halvero_configurator &w, const QString &name) { w.restorePage(name); }
    static void hideAllPages(Halvero_configurator &w) { w.hideAllPages(); }
    // What the board answered the last configuration read or write with.
    static BoardConfig boardHeld(const Halvero_configurator &w) { return w.session->held(); }
    // The window's parts, for the tests that drive one without a board.
    static BoardSession *session(Halvero_configurator &w) { return w.session; }
    static ConfigPage *page(Halvero_configurator &w) { return w.page; }
};

#endif // HALVERO_TESTSUPPORT_TESTACCESS_H
