#include "shell/AnnouncementView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include "base/LocalizationManager.h"
#include "shell/HighlightRow.h"
#include "shell/PillButton.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {
QLabel* centredText(const QFont& font, bool secondary, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setAlignment(Qt::AlignHCenter);
    l->setWordWrap(true);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, secondary ? secondaryColor(p) : primaryColor(p));
    l->setPalette(p);
    return l;
}
}  // namespace

AnnouncementView::AnnouncementView(Announcement announcement, std::function<void()> onPrimary,
                                   std::function<void()> onDismiss, QWidget* parent)
    : QWidget(parent),
      m_announcement(std::move(announcement)),
      m_onPrimary(std::move(onPrimary)),
      m_onDismiss(std::move(onDismiss)) {
    setFixedWidth(kWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QVBoxLayout;
    header->setContentsMargins(32, 28, 32, 0);
    header->setSpacing(10);
    auto* icon = new QLabel(this);
    icon->setFixedSize(64, 64);  // kept when the desktop gives no icon
    icon->setScaledContents(true);
    icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    header->addWidget(icon, 0, Qt::AlignHCenter);
    m_eyebrow = centredText(monoFont(TextStyle::callout), true, this);
    header->addWidget(m_eyebrow);
    m_title = centredText(monoFont(40, QFont::Bold), false, this);
    m_title->setContentsMargins(0, 2, 0, 0);
    header->addWidget(m_title);
    m_description = centredText(monoFont(TextStyle::callout), true, this);
    m_description->setContentsMargins(0, 4, 0, 0);
    header->addWidget(m_description);
    column->addLayout(header);

    auto* rows = new QVBoxLayout;
    rows->setContentsMargins(24, 24, 24, 0);
    rows->setSpacing(12);
    for (const auto& h : m_announcement.highlights) {
        auto* row = new HighlightRow(h, this);
        m_rows.push_back(row);
        rows->addWidget(row);
    }
    column->addLayout(rows);
    column->addSpacing(24);
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 24);
    buttons->setSpacing(12);
    m_dismiss = new PillButton("whats_new.dismiss", false, this);
    m_primary =
        new PillButton(m_announcement.primaryAction == PrimaryAction::openSettings ? "whats_new.cta.open_settings"
                                                                                   : "whats_new.cta.open_lexicons",
                       true, this);
    buttons->addStretch(1);
    buttons->addWidget(m_dismiss);
    buttons->addWidget(m_primary);
    buttons->addStretch(1);
    column->addLayout(buttons);

    // The host may close the window from these: a closed window is deleted later, never under our feet.
    connect(m_dismiss, &QAbstractButton::clicked, this, [this] { m_onDismiss(); });
    connect(m_primary, &QAbstractButton::clicked, this, [this] { m_onPrimary(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, m_dismiss, &QAbstractButton::click);
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), this);
        connect(enter, &QShortcut::activated, m_primary, &QAbstractButton::click);
    }

    m_languageConnection = LocalizationManager::shared().changed.connect([this] { retranslate(); });
    retranslate();
}

void AnnouncementView::retranslate() {
    m_eyebrow->setText(QString::fromStdString(localized(m_announcement.eyebrowKey)));
    m_title->setText(QString::fromStdString(localized(m_announcement.featureTitleKey)));
    m_description->setText(QString::fromStdString(localized(m_announcement.descriptionKey)));
    for (auto* row : m_rows) row->retranslate();
    m_dismiss->retranslate();
    m_primary->retranslate();
    // The wrapped texts changed length. Layouts keep the heights they measured for a widget until that
    // widget lays itself out again, which may come after the window has asked for its new size: drop
    // them all now.
    for (QWidget* nested : findChildren<QWidget*>()) nested->updateGeometry();
}

QSize AnnouncementView::sizeHint() const { return {kWidth, layout()->totalHeightForWidth(kWidth)}; }

QString AnnouncementView::titleText() const { return m_title->text(); }

}  // namespace vandrel
