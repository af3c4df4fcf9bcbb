#pragma once

#include <optional>

#include "base/Signal.h"
#include "dictation/HotkeyOption.h"
#include "settings/FormSection.h"

class QComboBox;
class QLabel;

namespace vandrel {

class GeneralSettingsView;

// "02 / Shortcut": the hotkey picker (sixteen choices under their group headings), the recorder row of
// the custom choice, and the chosen trigger's how-to sentence as footer.
class ShortcutSection : public FormSection {
    Q_OBJECT
public:
    ShortcutSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();

    QComboBox* picker() const { return m_picker; }
    // The "Shortcut:" row with the recorder; null unless the custom choice is current.
    QWidget* customRow() const { return m_customRow; }
    // The option of a picker entry; none for group headings.
    std::optional<HotkeyOption> optionAt(int index) const;

private:
    // The entries with their data, once; refresh() gives them their texts.
    void buildEntries();
    void retextEntries();
    void updateCustomRow(bool custom);

    GeneralSettingsView& m_view;
    QLabel* m_label;
    QComboBox* m_picker;
    QWidget* m_customRow = nullptr;
    QLabel* m_customLabel = nullptr;
    Connection m_optionConnection;
    Connection m_shortcutChangeConnection;
    Connection m_availabilityConnection;
};

}  // namespace vandrel
