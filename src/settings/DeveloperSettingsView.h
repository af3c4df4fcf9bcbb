#pragma once

#include <QWidget>
#include <array>
#include <string>

#include "base/DefaultsKey.h"
#include "base/Signal.h"
#include "settings/ModelRemoval.h"
#include "settings/SettingsText.h"
#include "speech/ModelTier.h"

namespace vandrel {

struct SettingsContext;
class FormSection;
class ModelChoiceRow;

// Raw value of the tier last chosen on the developer page; read and written only there.
inline const DefaultsKey<std::string> kDevModelOverride{"devModelOverride", ""};

// The developer page, reached only by its page id: loads either offered model directly (downloading it on
// the way) and removes downloaded model files.
class DeveloperSettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr std::array<ModelTier, 2> kTiers{ModelTier::largeTurboQ5, ModelTier::small};

    explicit DeveloperSettingsView(SettingsContext& context, QWidget* parent = nullptr);

    ModelTier selectedModel() const { return m_selectedModel; }
    ModelChoiceRow* row(ModelTier tier) const;
    void chooseModel(ModelTier tier);
    void refresh();

    static QString label(ModelTier tier);

private:
    SettingsContext& m_context;
    SettingsText m_text;
    ModelTier m_selectedModel = ModelTier::largeTurboQ5;
    FormSection* m_testing;
    FormSection* m_available;
    std::array<ModelChoiceRow*, 2> m_rows{};
    ModelRowConnections m_modelConnections;
};

}  // namespace vandrel
