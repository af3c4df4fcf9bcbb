#include "onboarding/OnboardingStep.h"

#include <QApplication>
#include <QVBoxLayout>

#include "onboarding/OnboardingView.h"
#include "ui/BrandIconTile.h"
#include "ui/Colors.h"
#include "ui/DisplayHeadline.h"
#include "ui/KickerLabel.h"

namespace vandrel {

OnboardingStep::OnboardingStep(OnboardingView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    m_stateConnection = view.stateChanged.connect([this] { refresh(); });
}

OnboardingStep::Header OnboardingStep::addHeader(QVBoxLayout* column, QWidget* parent, double headlineSize) {
    Header header;
    header.kicker = new KickerLabel({}, brandIndigoColor(), parent);
    header.kicker->setAlignment(Qt::AlignHCenter);
    column->addWidget(header.kicker, 0, Qt::AlignHCenter);
    column->addSpacing(8);
    header.headline = new DisplayHeadline({}, headlineSize, parent);
    header.headline->setAlignment(Qt::AlignHCenter);
    column->addWidget(header.headline);
    return header;
}

OnboardingStep::Header OnboardingStep::addHeader(QVBoxLayout* column, QWidget* parent, const QString& tileSymbol,
                                                 double tileSize, double headlineSize) {
    column->addWidget(new BrandIconTile(tileSymbol, tileSize, parent), 0, Qt::AlignHCenter);
    column->addSpacing(16);
    return addHeader(column, parent, headlineSize);
}

QWidget* OnboardingStep::divider(QWidget* parent) {
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, quietFillColor(QApplication::palette()));
    line->setPalette(pal);
    return line;
}

std::string OnboardingStep::localized(const std::string& key) const { return m_view.localized(key); }

}  // namespace vandrel
