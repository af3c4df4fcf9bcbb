#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "base/LifeToken.h"
#include "base/Signal.h"
#include "settings/SettingsText.h"
#include "speech/ModelTier.h"

namespace vandrel {

struct SettingsContext;
class AppLanguageSection;
class BehaviourSection;
class HotkeyWarningSection;
class LanguagesSection;
class MicrophoneSection;
class ModelErrorSection;
class PerformanceSection;
class ShortcutSection;
class UpdatesSection;

// The "General" settings page: one form of numbered sections for the application language, the hotkey,
// the model, the dictation languages, the microphone, the behaviour switches and the update check. It
// keeps the working copy of the dictation languages and the launch-at-login mirror; everything else is
// read from the services and the user defaults when drawn.
class GeneralSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit GeneralSettingsView(SettingsContext& context, QWidget* parent = nullptr);
    ~GeneralSettingsView() override;

    SettingsContext& context() const { return m_context; }
    const SettingsText& text() const { return m_text; }

    // The working copy of "preferredLanguages", primary first.
    const std::vector<std::string>& selectedLanguages() const { return m_selectedLanguages; }
    // The languages in effect: the primary one alone in the legacy "lowMemory" mode.
    std::vector<std::string> activeLanguages() const;
    std::string performanceMode() const;
    bool launchAtLogin() const { return m_launchAtLogin; }
    // True when the lightweight model cannot serve every chosen language.
    bool lightweightUnsupported() const;

    // Why the last change of the languages or of the mode was turned down, until loads are possible again.
    enum class Refusal { none, modelLoading, dictation };
    Refusal languagesRefusal() const { return m_languagesRefusal; }
    Refusal modeRefusal() const { return m_modeRefusal; }
    // The sentence a section shows for `refusal`; empty for none.
    QString refusalText(Refusal refusal) const;

    // Runs each time the page appears: launch-at-login status, the languages, the lightweight fallback.
    void handleAppear();
    void loadLanguages();
    void saveLanguages();
    void addLanguage(const std::string& code);
    void removeLanguage(const std::string& code);
    void makePrimary(const std::string& code);
    void selectPerformanceMode(const std::string& mode, ModelTier tier);
    // The launch-at-login switch turned by the user.
    void applyLaunchAtLogin(bool on);
    void retryModelLoad();

    // After the working languages or the launch-at-login mirror changed.
    Signal<> stateChanged;

    // Recomputes every section (texts included).
    void refresh();

    AppLanguageSection* appLanguageSection() const { return m_appLanguage; }
    ShortcutSection* shortcutSection() const { return m_shortcut; }
    HotkeyWarningSection* hotkeyWarningSection() const { return m_hotkeyWarning; }
    PerformanceSection* performanceSection() const { return m_performance; }
    LanguagesSection* languagesSection() const { return m_languages; }
    MicrophoneSection* microphoneSection() const { return m_microphone; }
    BehaviourSection* behaviourSection() const { return m_behaviour; }
    UpdatesSection* updatesSection() const { return m_updates; }
    ModelErrorSection* modelErrorSection() const { return m_modelError; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool fallBackFromLightweight();
    Refusal refusalNow() const;
    // Loads became possible again: the refusals are stale, a deferred fallback runs now.
    void loadsPossibleAgain();

    SettingsContext& m_context;
    SettingsText m_text;
    std::vector<std::string> m_selectedLanguages;
    bool m_launchAtLogin = false;
    Refusal m_languagesRefusal = Refusal::none;
    Refusal m_modeRefusal = Refusal::none;
    bool m_fallbackDeferred = false;

    AppLanguageSection* m_appLanguage;
    ShortcutSection* m_shortcut;
    HotkeyWarningSection* m_hotkeyWarning;
    PerformanceSection* m_performance;
    LanguagesSection* m_languages;
    MicrophoneSection* m_microphone;
    BehaviourSection* m_behaviour;
    UpdatesSection* m_updates;
    ModelErrorSection* m_modelError;

    Connection m_languageConnection, m_loadingConnection, m_recordingConnection;
    LifeToken m_life;
};

}  // namespace vandrel
