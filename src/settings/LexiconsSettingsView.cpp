#include "settings/LexiconsSettingsView.h"
#include "settings/PageColumn.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "base/LocalizationManager.h"
#include "base/UserDefaults.h"
#include "correction/CorrectionDefaults.h"
#include "correction/LexiconCatalog.h"
#include "correction/LexiconLibrary.h"
#include "dictation/DictationDefaults.h"
#include "settings/AvailableLexiconRow.h"
#include "settings/FormSection.h"
#include "settings/InstalledLexiconRow.h"
#include "settings/LexiconDetails.h"
#include "settings/LibraryNoneRow.h"
#include "settings/SettingsContext.h"
#include "ui/AccentHeadline.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/KickerLabel.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {

// The closing card: indigo wash at 0.08 with a 0.15 hairline, corner radius 16.
class HowItWorksCard : public QWidget {
    Q_OBJECT

public:
    HowItWorksCard(const SettingsText& text, QWidget* parent) : QWidget(parent) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(16, 16, 16, 16);
        layout->setSpacing(10);
        layout->addWidget(new KickerLabel(QStringLiteral("HOW LEXICONS WORK"), brandIndigoColor(), this));
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        auto* lock = new QLabel(this);
        lock->setPixmap(symbol(QStringLiteral("lock.fill"), 10, brandIndigoColor()));
        row->addWidget(lock, 0, Qt::AlignTop);
        row->addWidget(FormSection::makeSecondaryText(text.localized("lexicons.settings.privacy_note"), 11, this), 1);
        layout->addLayout(row);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(brandIndigoColor(0.08));
        p.setPen(QPen(brandIndigoColor(0.15), 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 16, 16);
    }
};

}  // namespace

LexiconsSettingsView::LexiconsSettingsView(SettingsContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_text(context.localization) {
    m_sections = makePageColumn(this, 20, true);
    m_sections->addStretch(1);
    m_header = nullptr;

    m_activeLanguageCodes = readLanguageCodes();
    m_libraryConnection = m_context.lexicons.changed.connect(m_life.guard([this] { refresh(); }));
    // Any change of the defaults may be a new choice, or new dictation languages from elsewhere.
    m_defaultsConnection = m_context.defaults.changed.connect(m_life.guard([this](const std::string&) {
        m_activeLanguageCodes = readLanguageCodes();
        refresh();
    }));
    m_languageConnection = m_context.localization.changed.connect(m_life.guard([this] { refresh(); }));
    refresh();
}

LexiconsSettingsView::~LexiconsSettingsView() { m_life.reset(); }

std::set<std::string> LexiconsSettingsView::readLanguageCodes() const {
    const auto codes = m_context.defaults.get(kPreferredLanguages);
    return {codes.begin(), codes.end()};
}

LexiconsSettingsView::Shape LexiconsSettingsView::currentShape() const {
    return {m_context.lexicons.installedKeys(), m_context.lexicons.installingKey(),
            m_context.defaults.get(kActiveDictionary), m_activeLanguageCodes, m_context.localization.language()};
}

void LexiconsSettingsView::refresh() {
    const auto shape = currentShape();
    if (m_builtShape != shape) {
        rebuild();
        m_builtShape = shape;
    }
    // Only the progress moves while an install runs: the row follows it without being rebuilt.
    const auto& installing = m_context.lexicons.installingKey();
    for (auto* row : availableRows())
        row->setInstallProgress(installing == row->descriptor().key
                                    ? std::optional<double>(m_context.lexicons.installProgress())
                                    : std::nullopt);
}

void LexiconsSettingsView::rebuild() {
    // Rows may be rebuilt from their own click: the old ones leave once the event has been handled.
    for (QWidget* old : {m_header, m_librarySection, m_availableSection, m_howItWorks}) {
        if (!old) continue;
        old->hide();
        m_sections->removeWidget(old);
        old->deleteLater();
    }
    m_availableSection = nullptr;
    m_noneRow = nullptr;
    QWidget* content = m_sections->parentWidget();
    const QLocale locale(QString::fromStdString(m_context.localization.language()));
    const std::string active = m_context.defaults.get(kActiveDictionary);
    auto& library = m_context.lexicons;
    auto& defaults = m_context.defaults;
    int at = 0;

    m_header = new QWidget(content);
    auto* header = new QVBoxLayout(m_header);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(8);
    header->addWidget(new KickerLabel(QStringLiteral("VOICE PACKS · DOMAIN BOOST"), brandIndigoColor(), m_header));
    header->addWidget(new AccentHeadline(m_text.localized("Pick a lexicon that "),
                                         m_text.localized("knows your jargon."), 22, m_header));
    header->addWidget(FormSection::makeSecondaryText(m_text.localized("lexicons.settings.intro"), 13, m_header));
    m_sections->insertWidget(at++, m_header);

    m_librarySection = new QWidget(content);
    auto* lib = new QVBoxLayout(m_librarySection);
    lib->setContentsMargins(0, 0, 0, 0);
    lib->setSpacing(10);
    lib->addWidget(
        new KickerLabel(m_text.localized("lexicons.settings.section.library"), brandIndigoColor(), m_librarySection));
    m_noneRow = new LibraryNoneRow(
        m_text, active.empty(), [&defaults] { defaults.set(kActiveDictionary, std::string()); }, m_librarySection);
    lib->addWidget(m_noneRow);
    std::vector<LexiconDescriptor> available;
    for (const auto& d : lexiconCatalog()) {
        if (!library.installedKeys().count(d.key)) {
            available.push_back(d);
            continue;
        }
        const bool supports = m_activeLanguageCodes.count(LexiconDescriptor::languageCode(d.language)) != 0;
        lib->addWidget(new InstalledLexiconRow(
            m_text, locale, d, active == d.key, supports,
            [&defaults, key = d.key] { defaults.set(kActiveDictionary, key); },
            [&library, key = d.key] { library.remove(key); }, m_librarySection));
    }
    m_sections->insertWidget(at++, m_librarySection);

    if (!available.empty()) {
        m_availableSection = new QWidget(content);
        auto* av = new QVBoxLayout(m_availableSection);
        av->setContentsMargins(0, 0, 0, 0);
        av->setSpacing(10);
        av->addWidget(new KickerLabel(m_text.localized("lexicons.settings.section.available"), brandIndigoColor(),
                                      m_availableSection));
        for (const auto& d : available) {
            const bool supports = m_activeLanguageCodes.count(LexiconDescriptor::languageCode(d.language)) != 0;
            // The install runs on the library's own timers and outlives this page.
            av->addWidget(new AvailableLexiconRow(
                m_text, locale, d, std::nullopt, supports, [&library, key = d.key] { library.install(key); },
                m_availableSection));
        }
        m_sections->insertWidget(at++, m_availableSection);
    }

    m_howItWorks = new QWidget(content);
    auto* card = new QVBoxLayout(m_howItWorks);
    card->setContentsMargins(0, 4, 0, 0);
    card->addWidget(new HowItWorksCard(m_text, m_howItWorks));
    m_sections->insertWidget(at, m_howItWorks);
}

QList<InstalledLexiconRow*> LexiconsSettingsView::installedRows() const {
    return m_librarySection ? m_librarySection->findChildren<InstalledLexiconRow*>(Qt::FindDirectChildrenOnly)
                            : QList<InstalledLexiconRow*>{};
}

QList<AvailableLexiconRow*> LexiconsSettingsView::availableRows() const {
    return m_availableSection ? m_availableSection->findChildren<AvailableLexiconRow*>(Qt::FindDirectChildrenOnly)
                              : QList<AvailableLexiconRow*>{};
}

}  // namespace vandrel

#include "LexiconsSettingsView.moc"
