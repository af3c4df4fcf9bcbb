#include "settings/ShortcutSection.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <array>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/RecorderCocoa.h"
#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "dictation/HotkeyAvailability.h"
#include "dictation/HotkeyManager.h"
#include "settings/GeneralSettingsView.h"
#include "settings/HotkeyOptionLabel.h"
#include "settings/HotkeyWarningSection.h"
#include "settings/SettingsContext.h"
#include "ui/ComboGroupHeading.h"

namespace vandrel {

namespace {

constexpr int kHeading = -1;
constexpr std::array kFamilies{HotkeyTriggerFamily::doubleTap, HotkeyTriggerFamily::modifierHold,
                               HotkeyTriggerFamily::keyCombination};

const char* groupHeading(HotkeyTriggerFamily family) {
    switch (family) {
        case HotkeyTriggerFamily::doubleTap:
            return "Double-tap";
        case HotkeyTriggerFamily::modifierHold:
            return "Hold / Tap";
        case HotkeyTriggerFamily::keyCombination:
            return "Key Combination";
        case HotkeyTriggerFamily::none:
            break;
    }
    return nullptr;
}

}  // namespace

ShortcutSection::ShortcutSection(GeneralSettingsView& view, QWidget* parent) : FormSection(parent), m_view(view) {
    rows()->addLayout(makeComboRow(m_label, m_picker, this));
    // The labels change with the application language; the picker takes their new width each time.
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    buildEntries();

    auto& manager = m_view.context().hotkeyManager;
    connect(m_picker, &QComboBox::activated, this, [this, &manager](int index) {
        const auto before = manager.currentOption.get();
        if (auto option = optionAt(index)) manager.setOption(*option);
        // A choice refused during a recording leaves the current option: show that one again. An accepted
        // one has already redrawn through the option's change.
        if (manager.currentOption.get() == before) refresh();
    });
    // Only this section and the warning under it show the hotkey; the rest of the page stays as drawn.
    m_optionConnection = manager.currentOption.changed.connect([this](const HotkeyOption&) {
        refresh();
        m_view.hotkeyWarningSection()->refresh();
    });
    // The desktop may refuse its binding while the page is open, leaving the combinations to XWayland.
    m_availabilityConnection = m_view.context().hotkeyAvailability.changed.connect([this] { refresh(); });
}

std::optional<HotkeyOption> ShortcutSection::optionAt(int index) const {
    const int value = m_picker->itemData(index).toInt();
    if (index < 0 || value == kHeading) return std::nullopt;
    return static_cast<HotkeyOption>(value);
}

void ShortcutSection::buildEntries() {
    m_picker->addItem(QString(), static_cast<int>(HotkeyOption::none));
    for (auto family : kFamilies) {
        m_picker->addItem(QString(), kHeading);
        makeComboGroupHeading(*m_picker, m_picker->count() - 1);
        for (auto o : allHotkeyOptions())
            if (triggerFamily(o) == family) m_picker->addItem(QString(), static_cast<int>(o));
    }
    m_picker->addItem(QString(), static_cast<int>(HotkeyOption::custom));
}

void ShortcutSection::retextEntries() {
    const auto bundle = m_view.text().bundle();
    // The headings stand in the order of kFamilies, as buildEntries put them.
    std::size_t heading = 0;
    const auto& availability = m_view.context().hotkeyAvailability;
    for (int i = 0; i < m_picker->count(); ++i) {
        if (auto option = optionAt(i)) {
            const auto reason = availability.reason(*option, *bundle);
            const QString mark = reason ? m_view.text().localized("unavailable") : QString();
            m_picker->setItemText(i, HotkeyOptionLabel{*option, mark}.text(*bundle));
            m_picker->setItemData(i, reason ? QString::fromStdString(*reason) : QVariant(), Qt::ToolTipRole);
        } else {
            m_picker->setItemText(i, m_view.text().localized(groupHeading(kFamilies[heading++])));
        }
    }
}

void ShortcutSection::refresh() {
    const auto& text = m_view.text();
    setHeader(QStringLiteral("02 / ") + text.localized("Shortcut"));
    m_label->setText(text.localized("Hotkey"));
    retextEntries();
    const auto current = m_view.context().hotkeyManager.currentOption.get();
    m_picker->setCurrentIndex(m_picker->findData(static_cast<int>(current)));

    // A trigger that cannot fire here gets the reason instead of a how-to that would not come true.
    QString footer;
    const auto reason = m_view.context().hotkeyAvailability.reason(
        current, KeyboardShortcuts::getShortcut(KeyboardShortcuts::Name::pushToTalk()), *text.bundle());
    if (reason)
        footer = QString::fromStdString(*reason);
    else if (current == HotkeyOption::custom)
        footer = text.localized("Hold the shortcut to record, release to transcribe and paste.");
    else if (auto sentence = hotkeyTriggerDescription(triggerFamily(current), *text.bundle()))
        footer = QString::fromStdString(*sentence);
    // A usable combination that reaches Vandrel only in some windows says which, after its how-to.
    if (auto note = m_view.context().hotkeyAvailability.note(current, *text.bundle()); note && !reason)
        footer += QStringLiteral("\n") + QString::fromStdString(*note);
    setFooter(footer);
    updateCustomRow(current == HotkeyOption::custom);
}

void ShortcutSection::updateCustomRow(bool custom) {
    if (!custom) {
        m_shortcutChangeConnection.disconnect();
        delete m_customRow;
        m_customRow = nullptr;
        m_customLabel = nullptr;
        return;
    }
    if (!m_customRow) {
        m_customRow = new QWidget(this);
        auto* layout = new QHBoxLayout(m_customRow);
        layout->setContentsMargins(0, 0, 0, 0);
        m_customLabel = makeRowLabel(QString(), m_customRow);
        layout->addWidget(m_customLabel);
        layout->addStretch(1);
        auto* recorder =
            new KeyboardShortcuts::Recorder(KeyboardShortcuts::Name::pushToTalk(), QString(), {}, m_customRow);
        layout->addWidget(recorder);
        rows()->addWidget(m_customRow);
        // Made after the rest of the page, the field would come last in the Tab order, after the Updates
        // button: Tab from the picker goes to the field beside it.
        setTabOrder(m_picker, recorder->field());
        // Any stored shortcut changing (the recorder here, or elsewhere) re-registers the custom trigger
        // at once, for as long as this row exists.
        m_shortcutChangeConnection = m_view.context().notifications.addObserver(
            KeyboardShortcuts::kShortcutByNameDidChange, [this](const Notification&) {
                auto& manager = m_view.context().hotkeyManager;
                if (manager.currentOption.get() != HotkeyOption::custom) return;
                manager.configure(HotkeyOption::custom);
                refresh();  // the new combination may be one this session cannot deliver
            });
    }
    m_customLabel->setText(m_view.text().localized("Shortcut:"));
}

}  // namespace vandrel
