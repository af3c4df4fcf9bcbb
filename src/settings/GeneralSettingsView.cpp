#include "settings/GeneralSettingsView.h"
#include "settings/PageColumn.h"

#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "base/LocalizationManager.h"
#include "base/MainLoop.h"
#include "base/UserDefaults.h"
#include "dictation/AppState.h"
#include "dictation/DictationDefaults.h"
#include "settings/AppLanguageSection.h"
#include "settings/BehaviourSection.h"
#include "settings/HotkeyWarningSection.h"
#include "settings/LanguagesSection.h"
#include "settings/LoginItemService.h"
#include "settings/MicrophoneSection.h"
#include "settings/ModelErrorSection.h"
#include "settings/PerformanceSection.h"
#include "settings/SettingsContext.h"
#include "settings/ShortcutSection.h"
#include "settings/UpdatesSection.h"
#include "speech/ModelTier.h"

namespace vandrel {

GeneralSettingsView::GeneralSettingsView(SettingsContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_text(context.localization) {
    auto* layout = makePageColumn(this, 18);
    auto* form = layout->parentWidget();

    m_appLanguage = new AppLanguageSection(*this, form);
    m_shortcut = new ShortcutSection(*this, form);
    m_hotkeyWarning = new HotkeyWarningSection(*this, form);
    m_performance = new PerformanceSection(*this, form);
    m_languages = new LanguagesSection(*this, form);
    m_microphone = new MicrophoneSection(*this, form);
    m_behaviour = new BehaviourSection(*this, form);
    m_updates = new UpdatesSection(*this, form);
    m_modelError = new ModelErrorSection(*this, form);
    for (QWidget* w : std::initializer_list<QWidget*>{m_appLanguage, m_shortcut, m_hotkeyWarning, m_performance,
                                                      m_languages, m_microphone, m_behaviour, m_updates, m_modelError})
        layout->addWidget(w);
    layout->addStretch(1);

    // A new application language re-texts the whole page at once.
    m_languageConnection = m_context.localization.changed.connect(m_life.guard([this] { refresh(); }));
    // On the loop's next turn: the dictation state is still mid-change when it announces the first of its
    // values, and a load started from inside that announcement would be overwritten by the rest.
    auto whenLoadsPossible = [this] {
        if (m_context.appState.canLoadModel()) m_context.loop.post(m_life.guard([this] { loadsPossibleAgain(); }));
    };
    m_loadingConnection =
        m_context.appState.isModelLoading.changed.connect([whenLoadsPossible](bool) { whenLoadsPossible(); });
    m_recordingConnection =
        m_context.appState.recordingState.changed.connect([whenLoadsPossible](RecordingState) { whenLoadsPossible(); });
    refresh();
}

GeneralSettingsView::~GeneralSettingsView() { m_life.reset(); }

void GeneralSettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) handleAppear();
}

void GeneralSettingsView::refresh() {
    m_appLanguage->refresh();
    m_shortcut->refresh();
    m_hotkeyWarning->refresh();
    m_performance->refresh();
    m_languages->refresh();
    m_microphone->refresh();
    m_behaviour->refresh();
    m_updates->refresh();
    m_modelError->refresh();
}

std::string GeneralSettingsView::performanceMode() const { return m_context.defaults.get(kPerformanceMode); }

std::vector<std::string> GeneralSettingsView::activeLanguages() const {
    if (performanceMode() == "lowMemory" && !m_selectedLanguages.empty()) return {m_selectedLanguages.front()};
    return m_selectedLanguages;
}

namespace {

// Whether the lightweight model can transcribe every one of `codes`.
bool lightweightServes(const std::vector<std::string>& codes) {
    const auto& lightweight = lightweightLanguageCodes();
    return std::all_of(codes.begin(), codes.end(), [&](const std::string& c) { return lightweight.count(c) != 0; });
}

}  // namespace

bool GeneralSettingsView::lightweightUnsupported() const { return !lightweightServes(m_selectedLanguages); }

void GeneralSettingsView::handleAppear() {
    auto& login = m_context.loginItems;
    m_launchAtLogin = login.isEnabled();
    // An entry that is there is written again, so it starts the binary that runs now.
    if (m_launchAtLogin && !login.registerItem()) m_launchAtLogin = false;
    loadLanguages();
    fallBackFromLightweight();
    stateChanged.emit();
}

bool GeneralSettingsView::fallBackFromLightweight() {
    m_fallbackDeferred = false;
    if (performanceMode() != "fast" || !lightweightUnsupported()) return false;
    // During a dictation or another load the switch would be refused, and the page would show a model
    // the application does not have; the fallback waits until loads are possible again.
    if (!m_context.appState.canLoadModel()) {
        m_fallbackDeferred = true;
        return false;
    }
    m_context.defaults.set(kPerformanceMode, std::string("standard"));
    m_context.appState.loadModelTier(ModelTier::largeTurboQ5);
    return true;
}

GeneralSettingsView::Refusal GeneralSettingsView::refusalNow() const {
    if (m_context.appState.canLoadModel()) return Refusal::none;
    return m_context.appState.isModelLoading.get() ? Refusal::modelLoading : Refusal::dictation;
}

QString GeneralSettingsView::refusalText(Refusal refusal) const {
    switch (refusal) {
        case Refusal::none:
            break;
        case Refusal::modelLoading:
            return m_text.localized("Not changed while a model loads. Try again once it's ready.");
        case Refusal::dictation:
            return m_text.localized("Not changed during a dictation. Try again once it has finished.");
    }
    return {};
}

void GeneralSettingsView::loadsPossibleAgain() {
    if (!m_context.appState.canLoadModel()) return;  // busy again before this turn came
    const bool said = m_languagesRefusal != Refusal::none || m_modeRefusal != Refusal::none;
    m_languagesRefusal = m_modeRefusal = Refusal::none;
    const bool deferred = m_fallbackDeferred;
    if (deferred) fallBackFromLightweight();
    if (said || deferred) stateChanged.emit();
}

void GeneralSettingsView::loadLanguages() { m_selectedLanguages = m_context.defaults.get(kPreferredLanguages); }

void GeneralSettingsView::saveLanguages() {
    m_context.defaults.set(kPreferredLanguages, m_selectedLanguages);
    if (!fallBackFromLightweight()) m_context.appState.loadModel();
    stateChanged.emit();
}

namespace {

// A change of languages that makes the lightweight model unfit needs a model load; while the application
// refuses loads (a dictation, another load) the change itself is refused.
bool languagesAcceptable(const GeneralSettingsView& view, const std::vector<std::string>& next, AppState& app) {
    return view.performanceMode() != "fast" || app.canLoadModel() || lightweightServes(next);
}

}  // namespace

void GeneralSettingsView::addLanguage(const std::string& code) {
    if (code.empty()) return;
    auto next = m_selectedLanguages;
    next.push_back(code);
    if (!languagesAcceptable(*this, next, m_context.appState)) {
        m_languagesRefusal = refusalNow();
        stateChanged.emit();
        return;
    }
    m_languagesRefusal = Refusal::none;
    m_selectedLanguages = std::move(next);
    saveLanguages();
}

void GeneralSettingsView::removeLanguage(const std::string& code) {
    auto next = m_selectedLanguages;
    next.erase(std::remove(next.begin(), next.end(), code), next.end());
    if (next == m_selectedLanguages) return;
    if (!languagesAcceptable(*this, next, m_context.appState)) {
        m_languagesRefusal = refusalNow();
        stateChanged.emit();
        return;
    }
    m_languagesRefusal = Refusal::none;
    m_selectedLanguages = std::move(next);
    saveLanguages();
}

void GeneralSettingsView::makePrimary(const std::string& code) {
    auto it = std::find(m_selectedLanguages.begin(), m_selectedLanguages.end(), code);
    if (it == m_selectedLanguages.end() || it == m_selectedLanguages.begin()) return;
    std::rotate(m_selectedLanguages.begin(), it, it + 1);
    saveLanguages();
}

void GeneralSettingsView::selectPerformanceMode(const std::string& mode, ModelTier tier) {
    // The application takes no new model during a dictation or another load: storing the choice anyway
    // would show a mode whose model is not the one in use.
    if (!m_context.appState.canLoadModel()) {
        m_modeRefusal = refusalNow();
        stateChanged.emit();
        return;
    }
    m_modeRefusal = Refusal::none;
    m_context.defaults.set(kPerformanceMode, mode);
    m_context.appState.loadModelTier(tier);
}

void GeneralSettingsView::applyLaunchAtLogin(bool on) {
    auto& login = m_context.loginItems;
    const bool ok = on ? login.registerItem() : login.unregisterItem();
    // A refusal puts the switch back without a word; the entry on disk is what it was.
    m_launchAtLogin = ok ? on : !on;
    stateChanged.emit();
}

void GeneralSettingsView::retryModelLoad() { m_context.appState.loadModel(); }

}  // namespace vandrel
