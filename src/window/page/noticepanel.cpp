// The notice panel: a tinted frame with the sentence and a Dismiss button.
#include "noticepanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

NoticePanel::NoticePanel(QWidget *parent)
    : QFrame(parent)
    , m_text(new QLabel(this))
    , m_dismiss(new QPushButton(tr("&Dismiss"), this))
{
    setObjectName(QStringLiteral("panel_notice"));
    setFrameShape(QFrame::StyledPanel);
    // The palette's tool tip colours: a tint every style and theme keeps
    // readable, apart from the page's own.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setAccessibleName(tr("Notice"));

    // The icon is looked up in the theme when first shown: the lookup
    // would cost the window's start a few milliseconds for a panel most
    // sessions never show.
    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("label_notice_icon"));
    m_text->setObjectName(QStringLiteral("label_notice"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setForegroundRole(QPalette::ToolTipText);
    m_dismiss->setObjectName(QStringLiteral("btn_notice_dismiss"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_dismiss, 0, Qt::AlignTop);
    connect(m_dismiss, &QPushButton::clicked, this, &NoticePanel::dismiss);
    hide();
}

void NoticePanel::showNotice(const QString &text)
{
    if (m_icon->pixmap().isNull()) {
        const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        m_icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(side, side));
    }
    m_text->setText(text);
    m_dismiss->setAccessibleDescription(text);
    show();
}

void NoticePanel::dismiss()
{
    hide();
    m_text->clear();
}
