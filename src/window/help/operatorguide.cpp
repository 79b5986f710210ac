// The guide's window: a text browser on the page in the program's resources.
#include "operatorguide.h"
#include "windowlog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "screenfit.h"

// Resources of a static library are registered by hand, outside any namespace.
static void registerGuideResource()
{
    Q_INIT_RESOURCE(operatorguide);
}

OperatorGuide::OperatorGuide(QWidget *parent)
    : QDialog(parent)
{
    registerGuideResource();
    setObjectName(QStringLiteral("dialog_guide"));
    setWindowTitle(QCoreApplication::translate("Halvero_configurator", "Operator's guide"));
    auto *browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("text_guide"));
    // Links inside the page are followed; none leads out of it.
    browser->setOpenExternalLinks(false);
    browser->setSource(QUrl(QStringLiteral("qrc:/help/operator-guide.html")));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(browser);
    layout->addWidget(buttons);
    resize(680, 640);
}

OperatorGuide *OperatorGuide::showFor(QWidget *window)
{
    qCDebug(lcHelp) << "Operator's guide shown";
    auto *guide = window->findChild<OperatorGuide *>(QString(), Qt::FindDirectChildrenOnly);
    if (!guide) {
        guide = new OperatorGuide(window);
        if (QScreen *screen = window->screen()) {
            const QRect place =
                ScreenFit::besideWindow(window->frameGeometry(), guide->size(), screen->availableGeometry(), false);
            guide->resize(guide->size().boundedTo(place.size()));
            guide->move(place.topLeft());
        }
    }
    guide->show();
    guide->raise();
    guide->activateWindow();
    return guide;
}
