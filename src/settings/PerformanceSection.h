#pragma once

#include <array>
#include <string>

#include "base/Signal.h"
#include "settings/FormSection.h"
#include "settings/ModelRemoval.h"
#include "speech/ModelTier.h"

class QLabel;

namespace vandrel {

class GeneralSettingsView;
class ModelChoiceRow;

// "03 / Performance": the two modes with their models, "Accurate" (standard) and "Lightweight" (fast).
class PerformanceSection : public FormSection {
    Q_OBJECT
public:
    struct Mode {
        const char* mode;
        ModelTier tier;
    };
    static constexpr std::array<Mode, 2> kModes{{{"standard", ModelTier::largeTurboQ5}, {"fast", ModelTier::small}}};

    // What a row shows, from the page's state and the dictation state.
    struct RowState {
        bool selected = false;
        bool unsupported = false;
        bool loadingThis = false;
        bool disabled = false;
        bool downloaded = false;
        bool needsDownload = false;
        bool canRemove = false;
    };
    RowState rowState(const Mode& mode) const;

    PerformanceSection(GeneralSettingsView& view, QWidget* parent);
    void refresh();
    ModelChoiceRow* row(ModelTier tier) const;
    // Why the last choice was turned down, as shown; empty when nothing is shown.
    QString refusalText() const;

private:
    GeneralSettingsView& m_view;
    std::array<ModelChoiceRow*, 2> m_rows{};
    QWidget* m_refusal;
    QLabel* m_refusalText;
    ModelRowConnections m_modelConnections;
    Connection m_defaultsConnection, m_stateConnection;
};

}  // namespace vandrel
