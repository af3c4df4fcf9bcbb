#include "onboarding/LanguagesHotkeyStep.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/RecorderCocoa.h"
#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "dictation/HotkeyAvailability.h"
#include "dictation/HotkeyManager.h"
#include "onboarding/OnboardingLanguageTag.h"
#include "onboarding/OnboardingStyle.h"
#include "onboarding/OnboardingView.h"
#include "ui/ComboGroupHeading.h"
#include "ui/DisplayHeadline.h"
#include "ui/FlowLayout.h"
#include "ui/Fonts.h"
#include "ui/KickerLabel.h"
#include "ui/SupportedLanguage.h"
#include "ui/WarningLine.h"

namespace vandrel {

namespace style = onboardingstyle;
namespace KS = KeyboardShortcuts;

namespace {

constexpr int kHeaderItem = -1;
constexpr int kHeaderKeyRole = Qt::UserRole + 1;
constexpr const char* kDoubleTapHeader = "Double-tap";
constexpr const char* kHoldHeader = "Hold / Tap";
constexpr const char* kCombinationHeader = "Key Combination";
// The line break is part of the key.
constexpr const char* kLanguagesLede =
    "Select 1–3 languages you'll dictate in.\nVandrel auto-detects which one you're speaking.";

QLabel* centred(QWidget* parent, double size, QFont::Weight weight, const QColor& colour) {
    return style::textLabel(parent, monoFont(size, weight), colour, Qt::AlignCenter);
}

}  // namespace

LanguagesHotkeyStep::LanguagesHotkeyStep(OnboardingView& view, QWidget* parent) : OnboardingStep(view, parent) {
    setObjectName("languagesHotkeyStep");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(m_scroll);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 32, 0, 0);
    column->setSpacing(0);

    // Languages.
    const Header languagesHeader = addHeader(column, content, 22);
    m_kicker = languagesHeader.kicker;
    m_headline = languagesHeader.headline;
    m_lede = centred(content, 14, QFont::Normal, style::secondary());
    column->addSpacing(8);
    column->addWidget(m_lede);
    column->addSpacing(24);
    m_chipBox = new QWidget(content);
    m_chipBox->setObjectName("languageChips");
    m_chipBox->setContentsMargins(24, 0, 24, 16);
    m_flow = new FlowLayout(8, m_chipBox);
    m_flow->setRowAlignment(Qt::AlignHCenter);
    column->addWidget(m_chipBox);
    m_addMenu = new QComboBox(content);
    m_addMenu->setObjectName("addLanguageMenu");
    m_addMenu->setFixedWidth(280);
    m_addMenu->setFont(monoFont(12));
    connect(m_addMenu, &QComboBox::activated, this, [this](int index) {
        const std::string code = m_addMenu->itemData(index).toString().toStdString();
        m_addMenu->setCurrentIndex(0);
        m_view.addLanguage(code);
    });
    column->addWidget(m_addMenu, 0, Qt::AlignHCenter);
    m_primaryHint = centred(content, 12, QFont::Normal, style::secondary());
    m_primaryHint->setObjectName("primaryHint");
    column->addSpacing(12);
    column->addWidget(m_primaryHint);

    auto* lineBox = new QHBoxLayout;
    lineBox->setContentsMargins(24, 24, 24, 24);
    lineBox->addWidget(divider(content));
    column->addLayout(lineBox);

    // Hotkey.
    const Header hotkeyHeader = addHeader(column, content, 22);
    m_hotkeyKicker = hotkeyHeader.kicker;
    m_hotkeyHeadline = hotkeyHeader.headline;
    m_hotkeyLede = centred(content, 14, QFont::Normal, style::secondary());
    column->addSpacing(8);
    column->addWidget(m_hotkeyLede);

    auto* form = new QFrame(content);
    m_hotkeyBox = form;
    form->setObjectName("hotkeyBox");
    form->setFrameShape(QFrame::StyledPanel);
    auto* formColumn = new QVBoxLayout(form);
    formColumn->setContentsMargins(16, 12, 16, 12);
    formColumn->setSpacing(10);
    m_formHeader = style::textLabel(form, monoFont(11, QFont::DemiBold), style::secondary());
    formColumn->addWidget(m_formHeader);
    auto* pickerRow = new QHBoxLayout;
    m_pickerTitle = style::textLabel(form, monoFont(13), style::primary());
    m_pickerTitle->setObjectName("hotkeyPickerTitle");
    m_pickerTitle->setWordWrap(false);
    m_pickerTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);  // on the picker's text line
    pickerRow->addWidget(m_pickerTitle);
    pickerRow->addStretch(1);
    m_hotkeyPicker = new QComboBox(form);
    m_hotkeyPicker->setObjectName("hotkeyPicker");
    pickerRow->addWidget(m_hotkeyPicker);
    formColumn->addLayout(pickerRow);
    fillHotkeyPicker();
    connect(m_hotkeyPicker, &QComboBox::activated, this, [this](int index) {
        const int value = m_hotkeyPicker->itemData(index).toInt();
        if (value >= 0) m_view.context().hotkeyManager.setOption(static_cast<HotkeyOption>(value));
        refreshHotkey();  // a declined change shows the previous choice again
        revealHotkeyBox();
    });

    m_customRow = new QWidget(form);
    m_customRow->setObjectName("customShortcutRow");
    auto* customLayout = new QHBoxLayout(m_customRow);
    customLayout->setContentsMargins(0, 0, 0, 0);
    m_customTitle = style::textLabel(m_customRow, monoFont(13), style::primary());
    m_customTitle->setWordWrap(false);
    m_customTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    customLayout->addWidget(m_customTitle);
    customLayout->addStretch(1);
    customLayout->addWidget(new KS::Recorder(KS::Name::pushToTalk(), {}, {}, m_customRow));
    formColumn->addWidget(m_customRow);
    m_triggerHint = style::textLabel(form, monoFont(12), style::secondary());
    m_triggerHint->setObjectName("triggerHint");
    formColumn->addWidget(m_triggerHint);
    m_warningLine = makeWarningLine(m_warning, 12, form);
    m_warning->setObjectName("hotkeyWarning");
    formColumn->addWidget(m_warningLine);
    auto* formBox = new QHBoxLayout;
    formBox->setContentsMargins(24, 16, 24, 24);
    formBox->addWidget(form);
    column->addLayout(formBox);
    column->addStretch(1);

    // A combination recorded for the custom trigger is what makes that trigger configured.
    auto& hotkeys = m_view.context().hotkeyManager;
    m_shortcutConnection =
        m_view.context().notifications.addObserver(KS::kShortcutByNameDidChange, [this, &hotkeys](const Notification&) {
            if (!m_customRow->isVisibleTo(this) || hotkeys.currentOption.get() != HotkeyOption::custom) return;
            hotkeys.configure(HotkeyOption::custom);
            refreshHotkey();  // the new combination may be one this session cannot deliver
            revealHotkeyBox();
        });
    // The desktop may refuse its binding while the guide is open, leaving the combinations to XWayland.
    m_availabilityConnection = m_view.context().hotkeyAvailability.changed.connect([this] { refreshHotkey(); });

    m_scroll->setWidget(content);
    outer->addWidget(m_scroll);
    refresh();
}

void LanguagesHotkeyStep::revealHotkeyBox() {
    // What the choice shows (the recorder's row, a longer how-to, a warning) may grow the box below the
    // page's lower edge: the page follows it once the layouts have taken the new rows, and the scroll bar
    // they may bring, which narrows the page and so rewraps its texts.
    QTimer::singleShot(0, this, [this] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        m_scroll->ensureWidgetVisible(m_hotkeyBox, 0, 0);
    });
}

void LanguagesHotkeyStep::refresh() {
    m_kicker->setText(QString::fromStdString(localized("Languages")));
    m_headline->setText(QString::fromStdString(localized("Choose Dictation Languages")));
    style::setText(m_lede, localized(kLanguagesLede));
    style::setText(m_primaryHint, localized("Tap a language to set it as primary"));
    m_hotkeyKicker->setText(QString::fromStdString(localized("Hotkey")));
    m_hotkeyHeadline->setText(QString::fromStdString(localized("Choose Your Hotkey")));
    style::setText(m_hotkeyLede, localized("Pick how you want to activate dictation."));
    style::setText(m_formHeader, localized("Dictation Hotkey"));
    style::setText(m_pickerTitle, localized("Hotkey:"));
    style::setText(m_customTitle, localized("Shortcut:"));

    const auto& languages = m_view.selectedLanguages();
    rebuildChips();
    rebuildAddMenu();
    m_addMenu->setVisible(languages.size() < 3);
    m_primaryHint->setVisible(languages.size() >= 2);
    refreshHotkey();
}

void LanguagesHotkeyStep::rebuildChips() {
    // A chip's own click can lead here: old chips go once that click has been handled.
    for (auto* chip : m_chips) {
        m_flow->removeWidget(chip);
        chip->hide();
        chip->deleteLater();
    }
    m_chips.clear();
    const auto languages = m_view.selectedLanguages();
    const auto interfaceLanguage = m_view.context().localization.language();
    for (const auto& code : languages) {
        if (!SupportedLanguage::forCode(code)) continue;
        auto* chip = new OnboardingLanguageTag(
            QString::fromStdString(languageDisplayName(code, interfaceLanguage, true)), languages.front() == code,
            languages.size() > 1, [this, code] { m_view.makePrimaryLanguage(code); },
            [this, code] { m_view.removeLanguage(code); }, m_chipBox);
        m_flow->addWidget(chip);
        m_chips.push_back(chip);
    }
    m_chipBox->setVisible(!languages.empty());
}

void LanguagesHotkeyStep::rebuildAddMenu() {
    const auto& languages = m_view.selectedLanguages();
    const auto interfaceLanguage = m_view.context().localization.language();
    QSignalBlocker block(m_addMenu);
    m_addMenu->clear();
    m_addMenu->addItem(QString::fromStdString(localized("Add a language...")), QString());
    for (const auto& entry : SupportedLanguage::all) {
        const std::string code(entry.code);
        if (std::ranges::find(languages, code) != languages.end()) continue;
        m_addMenu->addItem(QString::fromStdString(languageDisplayName(code, interfaceLanguage, true)),
                           QString::fromStdString(code));
    }
    m_addMenu->setCurrentIndex(0);
}

void LanguagesHotkeyStep::fillHotkeyPicker() {
    // "None", the three groups under their headers, "Custom…"; the texts are set by refreshHotkey().
    auto addHeader = [&](const char* key) {
        m_hotkeyPicker->addItem(QString(), kHeaderItem);
        m_hotkeyPicker->setItemData(m_hotkeyPicker->count() - 1, QString(key), kHeaderKeyRole);
        makeComboGroupHeading(*m_hotkeyPicker, m_hotkeyPicker->count() - 1);
    };
    auto addOption = [&](HotkeyOption option) { m_hotkeyPicker->addItem(QString(), static_cast<int>(option)); };
    addOption(HotkeyOption::none);
    HotkeyTriggerFamily family = HotkeyTriggerFamily::none;
    for (auto option : allHotkeyOptions()) {
        if (option == HotkeyOption::none || option == HotkeyOption::custom) continue;
        if (triggerFamily(option) != family) {
            family = triggerFamily(option);
            if (family == HotkeyTriggerFamily::doubleTap) addHeader(kDoubleTapHeader);
            if (family == HotkeyTriggerFamily::modifierHold) addHeader(kHoldHeader);
            if (family == HotkeyTriggerFamily::keyCombination) addHeader(kCombinationHeader);
        }
        addOption(option);
    }
    addOption(HotkeyOption::custom);
}

void LanguagesHotkeyStep::refreshHotkey() {
    const auto current = m_view.context().hotkeyManager.currentOption.get();
    const auto bundle = m_view.context().localization.bundle();
    const auto& availability = m_view.context().hotkeyAvailability;
    {
        QSignalBlocker block(m_hotkeyPicker);
        for (int i = 0; i < m_hotkeyPicker->count(); ++i) {
            const int value = m_hotkeyPicker->itemData(i).toInt();
            if (value < 0) {
                const auto key = m_hotkeyPicker->itemData(i, kHeaderKeyRole).toString().toStdString();
                m_hotkeyPicker->setItemText(i, QString::fromStdString(localized(key)));
                continue;
            }
            const auto option = static_cast<HotkeyOption>(value);
            const auto reason = availability.reason(option, *bundle);
            std::string text = localizedLabel(option, *bundle);
            if (reason) text += " (" + localized("unavailable") + ")";
            m_hotkeyPicker->setItemText(i, QString::fromStdString(text));
            m_hotkeyPicker->setItemData(i, reason ? QString::fromStdString(*reason) : QVariant(), Qt::ToolTipRole);
        }
        m_hotkeyPicker->setCurrentIndex(m_hotkeyPicker->findData(static_cast<int>(current)));
    }

    m_customRow->setVisible(current == HotkeyOption::custom);
    // A trigger that cannot fire here gets the reason instead of a how-to that would not come true.
    const auto shortcut = KS::getShortcut(KS::Name::pushToTalk());
    std::optional<std::string> hint = availability.reason(current, shortcut, *bundle);
    const bool unavailable = hint.has_value();
    if (!hint && current == HotkeyOption::custom)
        hint = localized("Hold the shortcut to record, release to transcribe and paste.");
    else if (!hint)
        hint = hotkeyTriggerDescription(triggerFamily(current), *bundle);
    // A usable combination that reaches Vandrel only in some windows says which, after its how-to.
    if (hint && !unavailable)
        if (auto note = availability.note(current, *bundle)) *hint += "\n" + *note;
    m_triggerHint->setVisible(hint.has_value());
    style::setText(m_triggerHint, hint.value_or(""));

    const std::string warningText = availability.warning(current, shortcut, *bundle).value_or("");
    m_warningLine->setVisible(!warningText.empty());
    style::setText(m_warning, warningText);
}

}  // namespace vandrel
