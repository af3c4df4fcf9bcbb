#pragma once

#include <QString>
#include <QWidget>

#include "base/Signal.h"

class QVBoxLayout;

namespace vandrel {

class DisplayHeadline;
class KickerLabel;
class OnboardingView;

// One page of the guide. It reads and changes the guide's state through the view and recomputes what it
// shows in refresh(), which runs after every change of that state.
class OnboardingStep : public QWidget {
    Q_OBJECT

public:
    explicit OnboardingStep(OnboardingView& view, QWidget* parent = nullptr);
    virtual void refresh() {}

protected:
    struct Header {
        KickerLabel* kicker;
        DisplayHeadline* headline;
    };
    // Adds the kicker and the centred headline that open a section, with the spacing every page shares;
    // the texts are set in refresh(), which follows the guide's language.
    static Header addHeader(QVBoxLayout* column, QWidget* parent, double headlineSize);
    // The same under the brand icon tile that opens a page.
    static Header addHeader(QVBoxLayout* column, QWidget* parent, const QString& tileSymbol, double tileSize,
                            double headlineSize);
    // A hairline in the quiet fill between two parts of a page.
    static QWidget* divider(QWidget* parent);

    // Looks `key` up in the guide's current language.
    std::string localized(const std::string& key) const;
    OnboardingView& m_view;

private:
    Connection m_stateConnection;
};

}  // namespace vandrel
