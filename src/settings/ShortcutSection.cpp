#include "settings/ShortcutSection.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStandardItemModel>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/RecorderCocoa.h"
#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "dictation/HotkeyManager.h"
#include "settings/GeneralSettingsView.h"
#include "settings/HotkeyOptionLabel.h"
#include "settings/SettingsContext.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {

constexpr int kHeading = -1;

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
    auto* row = new QHBoxLayout;
    m_label = makeRowLabel(QString(), this);
    row->addWidget(m_label);
    row->addStretch(1);
    m_picker = new QComboBox(this);
    m_picker->setFont(monoFont(13));
    row->addWidget(m_picker);
    rows()->addLayout(row);

    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        if (auto option = optionAt(index)) m_view.context().hotkeyManager.setOption(*option);
        // A choice refused during a recording leaves the current option: show that one again.
        refresh();
    });
    m_optionConnection =
        m_view.context().hotkeyManager.currentOption.changed.connect([this](const HotkeyOption&) { m_view.refresh(); });
}

std::optional<HotkeyOption> ShortcutSection::optionAt(int index) const {
    const int value = m_picker->itemData(index).toInt();
    if (index < 0 || value == kHeading) return std::nullopt;
    return static_cast<HotkeyOption>(value);
}

void ShortcutSection::rebuildEntries() {
    const auto bundle = m_view.text().bundle();
    m_picker->clear();
    auto* model = qobject_cast<QStandardItemModel*>(m_picker->model());
    auto addOption = [&](HotkeyOption o) {
        m_picker->addItem(HotkeyOptionLabel{o}.text(*bundle), static_cast<int>(o));
    };
    addOption(HotkeyOption::none);
    for (auto family :
         {HotkeyTriggerFamily::doubleTap, HotkeyTriggerFamily::modifierHold, HotkeyTriggerFamily::keyCombination}) {
        m_picker->addItem(m_view.text().localized(groupHeading(family)), kHeading);
        if (model) {
            auto* item = model->item(m_picker->count() - 1);
            item->setFlags(Qt::NoItemFlags);
            QFont f = monoFont(11, QFont::DemiBold);
            item->setFont(f);
        }
        for (auto o : allHotkeyOptions())
            if (triggerFamily(o) == family) addOption(o);
    }
    addOption(HotkeyOption::custom);
}

void ShortcutSection::refresh() {
    const auto& text = m_view.text();
    setHeader(QStringLiteral("02 / ") + text.localized("Shortcut"));
    m_label->setText(text.localized("Hotkey"));
    rebuildEntries();
    const auto current = m_view.context().hotkeyManager.currentOption.get();
    m_picker->setCurrentIndex(m_picker->findData(static_cast<int>(current)));

    QString footer;
    if (current == HotkeyOption::custom)
        footer = text.localized("Hold the shortcut to record, release to transcribe and paste.");
    else if (auto sentence = hotkeyTriggerDescription(triggerFamily(current), *text.bundle()))
        footer = QString::fromStdString(*sentence);
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
        layout->addWidget(
            new KeyboardShortcuts::Recorder(KeyboardShortcuts::Name::pushToTalk(), QString(), {}, m_customRow));
        rows()->addWidget(m_customRow);
        // Any stored shortcut changing (the recorder here, or elsewhere) re-registers the custom trigger
        // at once, for as long as this row exists.
        m_shortcutChangeConnection = NotificationCenter::shared().addObserver(
            KeyboardShortcuts::kShortcutByNameDidChange, [this](const Notification&) {
                auto& manager = m_view.context().hotkeyManager;
                if (manager.currentOption.get() == HotkeyOption::custom) manager.configure(HotkeyOption::custom);
            });
    }
    m_customLabel->setText(m_view.text().localized("Shortcut:"));
}

}  // namespace vandrel
