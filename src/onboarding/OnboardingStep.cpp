#include "onboarding/OnboardingStep.h"

#include "onboarding/OnboardingView.h"

namespace vandrel {

OnboardingStep::OnboardingStep(OnboardingView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    m_stateConnection = view.stateChanged.connect([this] { refresh(); });
}

std::string OnboardingStep::localized(const std::string& key) const { return m_view.localized(key); }

}  // namespace vandrel
