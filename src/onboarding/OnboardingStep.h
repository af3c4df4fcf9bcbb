#pragma once

#include <QWidget>

#include "base/Signal.h"

namespace vandrel {

class OnboardingView;

// One page of the guide. It reads and changes the guide's state through the view and recomputes what it
// shows in refresh(), which runs after every change of that state.
class OnboardingStep : public QWidget {
    Q_OBJECT

public:
    explicit OnboardingStep(OnboardingView& view, QWidget* parent = nullptr);
    virtual void refresh() {}

protected:
    // Looks `key` up in the guide's current language.
    std::string localized(const std::string& key) const;
    OnboardingView& m_view;

private:
    Connection m_stateConnection;
};

}  // namespace vandrel
