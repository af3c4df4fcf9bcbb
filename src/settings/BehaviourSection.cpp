#include "settings/BehaviourSection.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

#include "base/UserDefaults.h"
#include "dictation/AppState.h"
#include "dictation/DictationDefaults.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsContext.h"
#include "ui/Colors.h"
#include "ui/DefaultsBinding.h"
#include "ui/Fonts.h"
#include "ui/WarningLine.h"

namespace vandrel {

namespace {

QCheckBox* makeSwitch(QWidget* parent) {
    auto* box = new QCheckBox(parent);
    box->setFont(monoFont(13));
    QPalette pal = box->palette();
    pal.setColor(QPalette::Highlight, brandIndigoColor());
    box->setPalette(pal);
    return box;
}

}  // namespace

BehaviourSection::BehaviourSection(GeneralSettingsView& view, QWidget* parent) : FormSection(parent), m_view(view) {
    m_launch = makeSwitch(this);
    m_sounds = makeSwitch(this);
    m_clipboard = makeSwitch(this);
    m_escape = makeSwitch(this);
    for (auto* box : {m_launch, m_sounds, m_clipboard, m_escape}) rows()->addWidget(box);
    m_hint = makeWarningLine(m_hintText, 11, this);
    QPalette pal = m_hintText->palette();
    pal.setColor(QPalette::WindowText, secondaryColor(pal));
    m_hintText->setPalette(pal);
    rows()->addWidget(m_hint);

    auto& defaults = m_view.context().defaults;
    connect(m_launch, &QCheckBox::clicked, this, [this](bool on) { m_view.applyLaunchAtLogin(on); });
    // The other three are the stored settings themselves: written on the user's click, following the store.
    DefaultsBinding::bind(m_sounds, defaults, kPlaySounds);
    DefaultsBinding::bind(m_clipboard, defaults, kRestoreClipboard);
    DefaultsBinding::bind(m_escape, defaults, kCancelWithEscape);
    m_defaultsConnection = defaults.changed.connect([this](const std::string& key) {
        if (key == kCancelWithEscape.name) refresh();
    });
    m_accessibilityConnection =
        m_view.context().appState.escapeCancelNeedsAccessibility.changed.connect([this](bool) { refresh(); });
    m_failureConnection =
        m_view.context().appState.escapeTapFailure.changed.connect([this](EscapeTapFailure) { refresh(); });
    m_stateConnection = m_view.stateChanged.connect([this] { refresh(); });
}

void BehaviourSection::refresh() {
    const auto& text = m_view.text();
    auto& defaults = m_view.context().defaults;
    setHeader(QStringLiteral("06 / ") + text.localized("Behavior"));
    m_launch->setText(text.localized("Launch at login"));
    m_sounds->setText(text.localized("Play sounds"));
    m_clipboard->setText(text.localized("Restore clipboard after paste"));
    m_escape->setText(text.localized("Cancel recording with Escape"));
    m_launch->setChecked(m_view.launchAtLogin());
    const bool escape = defaults.get(kCancelWithEscape);
    const auto& appState = m_view.context().appState;
    // Each reason has its own remedy: a display server to log into, a program to free Escape from, or the
    // right to read the keyboards.
    switch (appState.escapeTapFailure.get()) {
        case EscapeTapFailure::heldByAnotherProgram:
            m_hintText->setText(text.localized("behavior.escapeHint.heldByAnotherProgram"));
            break;
        case EscapeTapFailure::keyboardsNotReadable:
            m_hintText->setText(text.localized("behavior.escapeHint.keyboardsNotReadable"));
            break;
        case EscapeTapFailure::onlyX11Windows:
            m_hintText->setText(text.localized("behavior.escapeHint.onlyX11Windows"));
            break;
        case EscapeTapFailure::none:
        case EscapeTapFailure::noDisplay:
            m_hintText->setText(text.localized(
                "Escape only works while a Vandrel window is focused. To cancel from any app, grant Accessibility permission to Vandrel."));
            break;
    }
    m_hint->setVisible(escape && appState.escapeCancelNeedsAccessibility.get());
}

bool BehaviourSection::showsEscapeHint() const { return !m_hint->isHidden(); }
QString BehaviourSection::escapeHintText() const { return m_hintText->text(); }

}  // namespace vandrel
