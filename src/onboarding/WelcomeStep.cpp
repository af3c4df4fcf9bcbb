#include "onboarding/WelcomeStep.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "base/LocalizationManager.h"
#include "onboarding/CompactStep.h"
#include "onboarding/OnboardingStyle.h"
#include "onboarding/OnboardingView.h"
#include "onboarding/PermissionBadge.h"
#include "onboarding/SegmentedPicker.h"
#include "ui/BrandCard.h"
#include "ui/BrandIconTile.h"
#include "ui/Colors.h"
#include "ui/DisplayHeadline.h"
#include "ui/Fonts.h"
#include "ui/KickerLabel.h"
#include "ui/LedeText.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace style = onboardingstyle;

WelcomeStep::WelcomeStep(OnboardingView& view, QWidget* parent)
    : OnboardingStep(view, parent), m_helpReveal(view.context().loop, [this] { layoutHelp(); }) {
    setObjectName("welcomeStep");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 40, 0, 0);
    column->setSpacing(0);

    const Header header = addHeader(column, this, "mic.badge.waveform", 64, 28);
    m_kicker = header.kicker;
    m_headline = header.headline;
    m_lede = new LedeText({}, this);
    m_lede->setTextFont(monoFont(14));
    m_lede->setAlignment(Qt::AlignHCenter);
    m_lede->setContentsMargins(24, 8, 24, 16);
    column->addWidget(m_lede);

    // The interface language: the two names are in the system's language, not the chosen one.
    auto* languageBox = new QWidget(this);
    auto* languageColumn = new QVBoxLayout(languageBox);
    languageColumn->setContentsMargins(24, 0, 24, 24);
    languageColumn->setSpacing(8);
    m_languageKicker = new KickerLabel({}, style::secondary(), languageBox);
    languageColumn->addWidget(m_languageKicker);
    auto* segments = new SegmentedPicker(languageBox);
    segments->setFixedWidth(240);
    const auto main = m_view.context().localization.mainBundle();
    m_english = segments->addSegment(QString::fromStdString(main->localizedString("🇬🇧 English")));
    m_german = segments->addSegment(QString::fromStdString(main->localizedString("🇩🇪 Deutsch")));
    m_english->setObjectName("languageEnglish");
    m_german->setObjectName("languageGerman");
    auto& localization = m_view.context().localization;
    connect(m_english, &QPushButton::clicked, this, [&localization] { localization.setLanguage("en"); });
    connect(m_german, &QPushButton::clicked, this, [&localization] { localization.setLanguage("de"); });
    languageColumn->addWidget(segments);
    column->addWidget(languageBox, 0, Qt::AlignHCenter);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget(scroll);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(24, 8, 24, 20);
    stack->setSpacing(16);

    // The permission card: microphone, then accessibility with its help.
    auto* card = new BrandCard(0, content);
    card->setObjectName("permissionCard");
    auto* cardColumn = card->contentLayout();
    cardColumn->setSpacing(0);
    m_microphone = makeRow(card, "01", "microphone");
    cardColumn->addWidget(m_microphone.number->parentWidget());
    cardColumn->addWidget(divider(card));
    m_accessibility = makeRow(card, "02", "accessibility");
    cardColumn->addWidget(m_accessibility.number->parentWidget());

    m_helpToggle = new QPushButton(card);
    m_helpToggle->setObjectName("helpToggle");
    m_helpToggle->setFlat(true);
    m_helpToggle->setFont(monoFont(10));
    m_helpToggle->setLayoutDirection(Qt::RightToLeft);  // the chevron after the text
    m_helpToggle->setCursor(Qt::PointingHandCursor);
    connect(m_helpToggle, &QPushButton::clicked, this, [this] { m_view.toggleAccessibilityHelp(); });
    auto* toggleRow = new QHBoxLayout;
    toggleRow->setContentsMargins(42, 0, 0, 10);
    toggleRow->addWidget(m_helpToggle);
    toggleRow->addStretch(1);
    cardColumn->addLayout(toggleRow);
    m_help = new QWidget(card);
    m_help->setObjectName("accessibilityHelp");
    auto* helpColumn = new QVBoxLayout(m_help);
    helpColumn->setContentsMargins(42, 0, 16, 14);
    helpColumn->setSpacing(6);
    m_helpLines[0] = new CompactStep("1", {}, m_help);
    m_helpLines[1] = new CompactStep("2", {}, m_help);
    helpColumn->addWidget(m_helpLines[0]);
    helpColumn->addWidget(m_helpLines[1]);
    cardColumn->addWidget(m_help);
    m_help->setMaximumHeight(0);
    m_keyboardsDivider = divider(card);
    cardColumn->addWidget(m_keyboardsDivider);
    m_keyboards = makeRow(card, "03", "keyboardDevices");
    cardColumn->addWidget(m_keyboards.number->parentWidget());
    stack->addWidget(card);

    // The privacy card: what is done with the voice, and what never is.
    auto* privacy = new BrandCard(0, content);
    auto* privacyColumn = privacy->contentLayout();
    privacyColumn->setSpacing(0);
    for (int i = 0; i < 3; ++i) {
        if (i > 0) privacyColumn->addWidget(divider(privacy));
        auto* row = new QWidget(privacy);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(16, 10, 16, 10);
        h->setSpacing(12);
        auto* marker =
            style::textLabel(row, i == 0 ? monoFont(13, QFont::Bold) : monoFont(9.5, QFont::Bold),
                             i == 0 ? brandIndigoColor() : systemColor(SystemColor::red, QApplication::palette()));
        marker->setWordWrap(false);
        marker->setFixedWidth(38);
        marker->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto* paragraph = new WrappingText(row);
        paragraph->setTextFont(monoFont(13));
        h->addWidget(marker, 0, Qt::AlignTop);
        h->addWidget(paragraph, 1, Qt::AlignTop);
        privacyColumn->addWidget(row);
        m_privacyRows.emplace_back(marker, paragraph);
    }
    stack->addWidget(privacy);

    m_statusGrantedLine = new QWidget(content);
    auto* grantedRow = new QHBoxLayout(m_statusGrantedLine);
    grantedRow->setContentsMargins(0, 0, 0, 0);
    grantedRow->setSpacing(8);
    auto* check = new QLabel(m_statusGrantedLine);
    check->setPixmap(symbol("checkmark.circle.fill", 14, systemColor(SystemColor::green, QApplication::palette())));
    grantedRow->addWidget(check, 0, Qt::AlignVCenter);
    m_statusGranted = style::textLabel(m_statusGrantedLine, monoFont(12), style::secondary(), Qt::AlignCenter);
    m_statusGranted->setObjectName("statusGranted");
    grantedRow->addWidget(m_statusGranted, 1);
    stack->addWidget(m_statusGrantedLine, 0, Qt::AlignHCenter);
    m_statusHint = style::textLabel(content, monoFont(12), style::secondary(), Qt::AlignCenter);
    m_statusHint->setObjectName("statusHint");
    stack->addWidget(m_statusHint);
    m_checkNow = new QPushButton(content);
    m_checkNow->setObjectName("checkPermissionsNow");
    m_checkNow->setFont(monoFont(12));
    m_checkNow->setIcon(symbolIcon("arrow.clockwise", 12, style::secondary()));
    connect(m_checkNow, &QPushButton::clicked, this, [this] { m_view.checkPermissions(); });
    stack->addWidget(m_checkNow, 0, Qt::AlignHCenter);
    m_trayNote = style::textLabel(content, monoFont(12), style::secondary(), Qt::AlignCenter);
    m_trayNote->setObjectName("trayNote");
    m_trayNote->setContentsMargins(24, 0, 24, 0);
    stack->addWidget(m_trayNote);
    stack->addStretch(1);
    scroll->setWidget(content);
    column->addWidget(scroll, 1);

    refresh();
}

WelcomeStep::Row WelcomeStep::makeRow(QWidget* parent, const char* number, const char* name) {
    auto* row = new QWidget(parent);
    row->setObjectName(QString(name) + "Row");
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(14, 14, 14, 14);
    h->setSpacing(14);
    Row r;
    r.number = style::textLabel(row, monoFont(18, QFont::Bold), style::secondary());
    r.number->setText(number);
    r.number->setWordWrap(false);
    r.number->setFixedWidth(28);
    h->addWidget(r.number, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    r.title = style::textLabel(row, monoFont(14, QFont::DemiBold), style::primary());
    r.description = style::textLabel(row, monoFont(12), style::secondary());
    r.remedy = style::textLabel(row, monoFont(12), systemColor(SystemColor::orange, QApplication::palette()));
    r.remedy->setObjectName(QString(name) + "Remedy");
    texts->addWidget(r.title);
    texts->addWidget(r.description);
    texts->addWidget(r.remedy);
    h->addLayout(texts, 1);
    r.badge = new PermissionBadge(row);
    r.badge->setObjectName(QString(name) + "Badge");
    h->addWidget(r.badge, 0, Qt::AlignVCenter);
    return r;
}

void WelcomeStep::refreshRow(Row& row, const char* title, const char* description, bool granted,
                             const std::string& remedy, const QString& badge) {
    QPalette pal = row.number->palette();
    pal.setColor(QPalette::WindowText, granted ? brandIndigoColor() : style::secondary());
    row.number->setPalette(pal);
    style::setText(row.title, localized(title));
    style::setText(row.description, localized(description));
    style::setText(row.remedy, remedy);
    row.remedy->setVisible(!remedy.empty());
    row.badge->set(badge, systemColor(granted ? SystemColor::green : SystemColor::orange, QApplication::palette()),
                   granted);
    row.badge->setVisible(!badge.isEmpty());
}

void WelcomeStep::refresh() {
    m_kicker->setText(QString::fromStdString(localized("Voice to text · 100% on this Mac")));
    m_headline->setText(QString::fromStdString(localized("Welcome to Vandrel")));
    m_lede->setText(QString::fromStdString(localized(
        "Hold a hotkey, speak, release — your words appear wherever you're typing. Private. Instant. Powerful.")));
    m_languageKicker->setText(QString::fromStdString(localized("01 / App Language")));
    const auto language = m_view.context().localization.language();
    m_english->setChecked(language == "en");
    m_german->setChecked(language == "de");

    const QString granted = QString::fromStdString(localized("Granted")).toUpper();
    const bool microphone = m_view.hasMicrophonePermission();
    refreshRow(m_microphone, "Microphone",
               "Records your voice and transcribes it on-device. Your audio never leaves your Mac.", microphone,
               microphone ? std::string() : localized("onboarding.microphone.remedy"),
               microphone ? granted : QString());

    std::string remedy;
    QString badge;
    switch (m_view.accessibility()) {
        case Permissions::Accessibility::granted:
            badge = granted;
            break;
        case Permissions::Accessibility::needsConsent:
            remedy = localized("onboarding.accessibility.consent");
            badge = QString::fromStdString(localized("onboarding.accessibility.atFirstPaste")).toUpper();
            break;
        case Permissions::Accessibility::x11WindowsOnly:
            remedy = localized("onboarding.accessibility.xwayland");
            badge = QString::fromStdString(localized("onboarding.accessibility.x11WindowsOnly")).toUpper();
            break;
        case Permissions::Accessibility::missing:
        case Permissions::Accessibility::unavailable:
            remedy = localized(m_view.accessibility() == Permissions::Accessibility::missing
                                   ? "onboarding.accessibility.remedy"
                                   : "onboarding.accessibility.unavailable");
            badge = QString::fromStdString(localized("onboarding.accessibility.clipboardOnly")).toUpper();
            break;
    }
    refreshRow(m_accessibility, "Accessibility",
               "Types the transcribed text wherever you're typing — emails, notes, messages, anywhere.",
               m_view.hasAccessibilityPermission(), remedy, badge);

    // Not needed for a dictation: without the devices the desktop's own key bindings run Vandrel's commands.
    const auto keyboards = m_view.context().permissions.keyboardDevices();
    const bool wayland = keyboards != Permissions::KeyboardDevices::notNeeded;
    const bool readable = keyboards == Permissions::KeyboardDevices::readable;
    m_keyboardsDivider->setVisible(wayland);
    m_keyboards.number->parentWidget()->setVisible(wayland);
    refreshRow(m_keyboards, "onboarding.keyboards.title", "onboarding.keyboards.description", readable,
               readable ? std::string() : localized("onboarding.keyboards.remedy"),
               QString::fromStdString(
                   localized(readable ? "onboarding.keyboards.readable" : "onboarding.keyboards.notReadable"))
                   .toUpper());

    // The help lines are about X11 sessions; the Wayland states' remedies say all there is to do.
    const bool showHelp = m_view.accessibility() == Permissions::Accessibility::missing ||
                          m_view.accessibility() == Permissions::Accessibility::unavailable;
    m_helpToggle->setVisible(showHelp);
    m_helpToggle->setText(QString::fromStdString(localized("Need help?")));
    m_helpToggle->setIcon(m_view.isAccessibilityHelpExpanded() ? symbolIcon("chevron.up", 9, style::secondary())
                                                               : symbolIcon("chevron.down", 9, style::secondary()));
    m_helpLines[0]->setText(localized("Find Vandrel in the list and toggle it on"));
    m_helpLines[1]->setText(localized("If Vandrel isn't listed, click + and select it from Applications"));
    const bool helpOpen = showHelp && m_view.isAccessibilityHelpExpanded();
    if (helpOpen != m_helpShown) {
        m_helpShown = helpOpen;
        m_helpReveal.animateTo(helpOpen ? 1 : 0, Tween::springSettleDuration(helpSpringResponse, helpSpringDamping),
                               Tween::spring(helpSpringResponse, helpSpringDamping));
    }
    layoutHelp();

    struct PrivacyText {
        const char* lead;
        const char* statement;
        const char* detail;
    };
    static constexpr PrivacyText kPrivacy[3] = {
        {"What we do.", "Capture your audio, transcribe it on this Mac, paste the text where you're typing.",
         "That's the whole loop."},
        {nullptr, "Upload your voice or text to a server.", "The model runs locally on the Neural Engine + Metal."},
        {nullptr, "Record while you're not actively dictating.", "The mic is off between hotkey presses."},
    };
    const std::string never = QString::fromStdString(localized("Never")).toUpper().toStdString();
    for (std::size_t i = 0; i < m_privacyRows.size(); ++i) {
        const auto& t = kPrivacy[i];
        style::setText(m_privacyRows[i].first, t.lead ? "✓" : never);
        std::vector<WrappingText::Run> runs;
        if (t.lead)
            runs.push_back({QString::fromStdString(localized(t.lead) + " "), Emphasis::primary, {}, QFont::DemiBold});
        runs.push_back({QString::fromStdString(localized(t.statement) + " "), Emphasis::primary, {}});
        runs.push_back({QString::fromStdString(localized(t.detail)), Emphasis::secondary, {}});
        m_privacyRows[i].second->setRuns(std::move(runs));
    }

    const bool settled = m_view.canContinue();
    m_statusGrantedLine->setVisible(settled);
    style::setText(m_statusGranted, m_view.hasAccessibilityPermission()
                                        ? localized("All permissions granted! You're ready to continue.")
                                    : showHelp ? localized("onboarding.status.clipboardOnly")
                                               : localized("onboarding.status.microphoneReady"));
    m_statusHint->setVisible(!settled);
    style::setText(m_statusHint,
                   localized("After granting permissions, return here — we'll detect them automatically"));
    m_checkNow->setVisible(!settled);
    m_checkNow->setText(QString::fromStdString(localized("Check Permissions Now")));
    // Where no panel shows tray icons, the user must know the one other way back to the settings.
    const bool trayHost = m_view.context().permissions.trayHostAvailable();
    m_trayNote->setVisible(!trayHost);
    style::setText(m_trayNote, trayHost ? std::string() : localized("onboarding.tray.none"));
}

void WelcomeStep::layoutHelp() {
    const double reveal = std::max(0.0, m_helpReveal.value());
    m_help->setMaximumHeight(static_cast<int>(reveal * m_help->sizeHint().height() + 0.5));
    m_help->setVisible(reveal > 0);
}

}  // namespace vandrel
