#include "onboarding/VoicePackStep.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "base/LocalizationManager.h"
#include "base/UserDefaults.h"
#include "correction/CorrectionDefaults.h"
#include "correction/LexiconCatalog.h"
#include "correction/LexiconLibrary.h"
#include "onboarding/OnboardingStyle.h"
#include "onboarding/OnboardingView.h"
#include "ui/BrandIconTile.h"
#include "ui/Colors.h"
#include "ui/DisplayHeadline.h"
#include "ui/Fonts.h"
#include "ui/KickerLabel.h"
#include "ui/LedeText.h"
#include "ui/StatusChip.h"
#include "ui/Symbols.h"
#include "ui/WrappingText.h"

namespace vandrel {

namespace style = onboardingstyle;

namespace {

// The library runs one install at a time and ignores a request while another runs, so each install ends
// by installing the pack that is active by then: a choice made during an earlier one is not lost. Only
// the defaults and the library are held, as both outlive the guide.
void installActivePack(UserDefaults& defaults, LexiconLibrary& lexicons) {
    const std::string active = defaults.get(kActiveDictionary);
    if (active.empty() || lexicons.installedKeys().count(active) || lexicons.installingKey()) return;
    lexicons.install(active, [&defaults, &lexicons] { installActivePack(defaults, lexicons); });
}

// A whole-row radio choice drawn as a rounded card; its content is laid out by the step.
class ChoiceRow : public QAbstractButton {
    Q_OBJECT

public:
    explicit ChoiceRow(QWidget* parent) : QAbstractButton(parent) {
        setCheckable(true);
        setAutoExclusive(false);
        setCursor(Qt::PointingHandCursor);
    }
    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QSize(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double line = isChecked() ? 1.5 : 1;
        const QRectF r = QRectF(rect()).adjusted(line / 2, line / 2, -line / 2, -line / 2);
        QPainterPath path;
        path.addRoundedRect(r, 16, 16);
        p.fillPath(path, palette().color(QPalette::Base));
        p.setPen(QPen(isChecked() ? brandIndigoColor() : style::primary(0.08), line));
        p.drawPath(path);
        const QPixmap mark = isChecked() ? symbol("largecircle.fill.circle", 16, brandIndigoColor())
                                         : symbol("circle", 16, style::secondary());
        p.drawPixmap(QRectF(14, 14 + 8, 16, 16), mark, QRectF(mark.rect()));
    }
    void nextCheckState() override {}  // the step decides what is active
};

}  // namespace

VoicePackStep::VoicePackStep(OnboardingView& view, QWidget* parent) : OnboardingStep(view, parent) {
    setObjectName("voicePackStep");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 36, 0, 0);
    column->setSpacing(0);
    const Header header = addHeader(column, this, "text.book.closed.fill", 64, 26);
    m_kicker = header.kicker;
    m_headline = header.headline;
    m_lede = new LedeText({}, this);
    m_lede->setAlignment(Qt::AlignHCenter);
    m_lede->setContentsMargins(24, 8, 24, 16);
    column->addWidget(m_lede);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(24, 0, 24, 16);
    stack->setSpacing(10);

    std::vector<const LexiconDescriptor*> entries{nullptr};
    for (const auto& d : lexiconCatalog()) entries.push_back(&d);
    for (const LexiconDescriptor* descriptor : entries) {
        const std::string key = descriptor ? descriptor->key : std::string();
        auto* button = new ChoiceRow(content);
        button->setObjectName(QString::fromStdString("voicePack:" + key));
        auto* h = new QHBoxLayout(button);
        h->setContentsMargins(14 + 16 + 12, 14, 14, 14);  // room for the radio mark
        h->setSpacing(12);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(5);
        Row row;
        row.button = button;
        if (key.empty()) {
            auto* tile = new QLabel(button);
            tile->setFixedSize(38, 38);
            tile->setAlignment(Qt::AlignCenter);
            tile->setPixmap(symbol("nosign", 16, style::secondary()));
            tile->setStyleSheet(QStringLiteral("background: %1; border-radius: 12px;")
                                    .arg(style::secondary(0.18).name(QColor::HexArgb)));
            h->addWidget(tile, 0, Qt::AlignTop);
        } else {
            const bool medical = descriptor->domain == LexiconDescriptor::Domain::medical;
            h->addWidget(
                medical ? new BrandIconTile("stethoscope", 38, button) : new BrandIconTile("curlybraces", 38, button),
                0, Qt::AlignTop);
        }
        // The title keeps to one line beside its chip while the row has the room; only a narrower row
        // makes it wrap.
        auto* titleLine = new QHBoxLayout;
        titleLine->setSpacing(8);
        row.title = new WrappingText(button);
        row.title->setTextFont(monoFont(14, QFont::DemiBold));
        titleLine->addWidget(row.title);
        if (descriptor && descriptor->isBeta) {
            row.beta = new StatusChip({}, StatusChip::Tone::info, button);
            titleLine->addWidget(row.beta, 0, Qt::AlignVCenter);
        }
        titleLine->addStretch(1);
        row.body = style::textLabel(button, monoFont(12), style::secondary());
        texts->addLayout(titleLine);
        texts->addWidget(row.body);
        if (!key.empty()) {
            row.warningLine = new QWidget(button);
            auto* line = new QHBoxLayout(row.warningLine);
            line->setContentsMargins(0, 0, 0, 0);
            line->setSpacing(5);
            auto* triangle = new QLabel(row.warningLine);
            triangle->setPixmap(
                symbol("exclamationmark.triangle.fill", 10, systemColor(SystemColor::orange, QApplication::palette())));
            line->addWidget(triangle, 0, Qt::AlignVCenter);
            row.warning = style::textLabel(row.warningLine, monoFont(11), style::secondary());
            line->addWidget(row.warning, 1);
            texts->addWidget(row.warningLine);
        }
        h->addLayout(texts, 1);
        for (auto* child : button->findChildren<QWidget*>()) child->setAttribute(Qt::WA_TransparentForMouseEvents);
        connect(button, &QAbstractButton::clicked, this, [this, key] { choose(key); });
        stack->addWidget(button);
        m_rows[key] = row;
    }
    stack->addStretch(1);
    scroll->setWidget(content);
    column->addWidget(scroll, 1);
    refresh();
}

QAbstractButton* VoicePackStep::row(const std::string& key) const {
    auto it = m_rows.find(key);
    return it == m_rows.end() ? nullptr : it->second.button;
}

QLabel* VoicePackStep::warning(const std::string& key) const {
    auto it = m_rows.find(key);
    return it == m_rows.end() ? nullptr : it->second.warning;
}

void VoicePackStep::choose(const std::string& key) {
    auto& context = m_view.context();
    context.defaults.set(kActiveDictionary, key);
    installActivePack(context.defaults, context.lexicons);
    refresh();
}

void VoicePackStep::refresh() {
    m_kicker->setText(QString::fromStdString(localized("Voice Packs · Optional")));
    m_headline->setText(QString::fromStdString(localized("Speak your field's language")));
    m_lede->setText(QString::fromStdString(localized(
        "Pick a vocabulary pack so Vandrel nails your field's jargon — or skip it, most people don't need one. You can change this anytime in Settings.")));

    const auto& context = m_view.context();
    const std::string active = context.defaults.get(kActiveDictionary);
    const auto& languages = m_view.selectedLanguages();
    const auto bundle = context.localization.bundle();
    for (auto& [key, row] : m_rows) {
        row.button->setChecked(key == active);
        if (key.empty()) {
            row.title->setRuns({{QString::fromStdString(localized("No lexicon")), Emphasis::primary, std::nullopt}});
            style::setText(row.body, localized("Plain transcription — best for everyday writing."));
            continue;
        }
        const auto descriptor = LexiconDescriptor::descriptorForKey(key);
        const std::string languageName = LexiconDescriptor::label(descriptor->language, *bundle);
        if (row.beta) row.beta->setText(QString::fromStdString(localized("Beta")));
        row.title->setRuns({{QString::fromStdString(localized(LexiconDescriptor::domainTitleKey(descriptor->domain)) +
                                                    " · " + languageName),
                             Emphasis::primary, std::nullopt}});
        style::setText(row.body, localized(LexiconDescriptor::domainBodyKey(descriptor->domain)));
        const bool missing =
            std::ranges::find(languages, LexiconDescriptor::languageCode(descriptor->language)) == languages.end();
        row.warningLine->setVisible(missing);
        style::setText(row.warning,
                       formatPlaceholders(localized("Add %@ under Languages to use this."), {languageName}));
    }
}

}  // namespace vandrel

#include "VoicePackStep.moc"
