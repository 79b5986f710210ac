// The notice panel: a tinted frame with the sentence and a Dismiss button.
#include "noticepanel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

NoticePanel::NoticePanel(QWidget *parent)
    : QFrame(parent)
    , m_text(new QLabel(this))
    , m_dismiss(new QPushButton(QCoreApplication::translate("Halvero_configurator", "&Dismiss"), this))
{
    setObjectName(QStringLiteral("panel_notice"));
    setFrameShape(QFrame::StyledPanel);
    // The palette's tool tip colours: a tint every style and theme keeps
    // readable, apart from the page's own.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setAccessibleName(QCoreApplication::translate("Halvero_configurator", "Notice"));

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("label_notice_icon"));
    const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(side, side));
    m_text->setObjectName(QStringLiteral("label_notice"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setForegroundRole(QPalette::ToolTipText);
    m_dismiss->setObjectName(QStringLiteral("btn_notice_dismiss"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_dismiss, 0, Qt::AlignTop);
    connect(m_dismiss, &QPushButton::clicked, this, &NoticePanel::dismiss);
    hide();
}

void NoticePanel::showNotice(const QString &text)
{
    m_text->setText(text);
    m_dismiss->setAccessibleDescription(text);
    show();
}

void NoticePanel::dismiss()
{
    hide();
    m_text->clear();
}
