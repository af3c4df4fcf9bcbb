#include "settings/AboutSettingsView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "base/AppInfo.h"
#include "base/LocalizationManager.h"
#include "settings/SettingsContext.h"
#include "ui/BrandCard.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/StatusChip.h"
#include "ui/Symbols.h"
#include "ui/WrappingText.h"

namespace vandrel {

namespace {

constexpr int kIconSize = 80;
constexpr int kCardMaxWidth = 460;

QLabel* centredLabel(const QFont& font, Emphasis emphasis, double opacity, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, emphasisColor(p, emphasis, opacity));
    label->setPalette(p);
    return label;
}

std::optional<std::string> nonEmpty(std::string s) {
    if (s.empty()) return std::nullopt;
    return s;
}

}  // namespace

AboutSettingsView::Info AboutSettingsView::Info::fromBuild() {
    return {nonEmpty(AppInfo::shortVersion()), nonEmpty(AppInfo::buildNumber()), nonEmpty(AppInfo::updateFeedUrl())};
}

std::string AboutSettingsView::appShortVersion(const Info& info) { return info.shortVersion.value_or("1.0.0"); }
std::string AboutSettingsView::appBuildNumber(const Info& info) { return info.buildNumber.value_or("1"); }
bool AboutSettingsView::isBetaChannel(const Info& info) {
    return info.feedUrl && info.feedUrl->find("appcast-beta") != std::string::npos;
}

AboutSettingsView::AboutSettingsView(SettingsContext& context, QWidget* parent)
    : AboutSettingsView(context, Info::fromBuild(), parent) {}

AboutSettingsView::AboutSettingsView(SettingsContext& context, Info info, QWidget* parent)
    : QWidget(parent), m_context(context), m_info(std::move(info)) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 0, 24, 0);
    outer->addStretch(1);
    auto* card = new BrandCard(28, this);
    card->setMaximumWidth(kCardMaxWidth);
    // Centred, as wide as the page allows up to its maximum: the lines inside keep to one line where
    // they can instead of wrapping in a card only as wide as its shortest texts.
    outer->addWidget(card);
    outer->addStretch(1);

    QVBoxLayout* content = card->contentLayout();
    content->setSpacing(0);
    auto* icon = new QLabel(card);
    icon->setPixmap(QApplication::windowIcon().pixmap(kIconSize, kIconSize));
    icon->setFixedSize(kIconSize, kIconSize);
    icon->setScaledContents(true);
    content->addWidget(icon, 0, Qt::AlignHCenter);

    content->addSpacing(12);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(6);
    titleRow->addStretch(1);
    m_name = centredLabel(monoFont(TextStyle::title1, QFont::Bold), Emphasis::primary, 1.0, card);
    m_name->setWordWrap(false);
    titleRow->addWidget(m_name);
    if (isBetaChannel(m_info)) {
        m_betaChip = new StatusChip("BETA", StatusChip::Tone::info, card);
        titleRow->addWidget(m_betaChip, 0, Qt::AlignVCenter);
    }
    titleRow->addStretch(1);
    content->addLayout(titleRow);

    content->addSpacing(4);
    m_version = centredLabel(monoFont(TextStyle::subheadline, QFont::DemiBold, 1), Emphasis::secondary, 1.0, card);
    content->addWidget(m_version);
    content->addSpacing(8);
    m_tagline = centredLabel(monoFont(TextStyle::body), Emphasis::tertiary, 1.0, card);
    content->addWidget(m_tagline);

    content->addSpacing(14);
    auto* privacyRow = new QHBoxLayout;
    privacyRow->setSpacing(6);
    privacyRow->addStretch(1);
    auto* lock = new QLabel(card);
    lock->setPixmap(symbol("lock.shield.fill", TextStyle::caption, brandIndigoColor()));
    privacyRow->addWidget(lock, 0, Qt::AlignVCenter);
    m_privacy = new WrappingText(card);
    m_privacy->setTextFont(monoFont(TextStyle::subheadline));
    m_privacy->setAlignment(Qt::AlignHCenter);
    privacyRow->addWidget(m_privacy, 0, Qt::AlignVCenter);
    privacyRow->addStretch(1);
    content->addLayout(privacyRow);

    content->addSpacing(16);
    // The quaternary style: the tertiary one, fainter.
    m_engine = centredLabel(monoFont(TextStyle::subheadline), Emphasis::tertiary, 0.6, card);
    content->addWidget(m_engine);

    m_languageConnection = m_context.localization.changed.connect([this] { update(); });
    update();
}

void AboutSettingsView::update() {
    auto bundle = m_context.localization.bundle();
    auto text = [&](const char* key) { return QString::fromStdString(bundle->localizedString(key)); };
    // The name is the application's own, in the main bundle's language.
    m_name->setText(QString::fromStdString(m_context.localization.mainBundle()->localizedString("Vandrel")));
    m_version->setText(QString::fromStdString(formatPlaceholders(bundle->localizedString("Version %@ (%@)"),
                                                                 {appShortVersion(m_info), appBuildNumber(m_info)})));
    m_tagline->setText(text("Voice-to-text dictation for macOS"));
    m_privacy->setRuns(
        {{text("100% on-device. Your voice never leaves your Mac."), Emphasis::secondary, std::nullopt}});
    m_engine->setText(text("Powered by whisper.cpp"));
}

QString AboutSettingsView::nameText() const { return m_name->text(); }
QString AboutSettingsView::versionText() const { return m_version->text(); }
QStringList AboutSettingsView::lines() const { return {m_tagline->text(), m_privacy->text(), m_engine->text()}; }

}  // namespace vandrel
