#include "settings/PermissionRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {
QLabel* plainLabel(const QFont& font, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}
}  // namespace

PermissionRow::PermissionRow(const QString& title, const QString& description, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = plainLabel(monoFont(TextStyle::body), this);
    m_description = plainLabel(monoFont(TextStyle::subheadline), this);
    m_description->setWordWrap(true);
    QPalette secondary = m_description->palette();
    secondary.setColor(QPalette::WindowText, secondaryColor(palette()));
    m_description->setPalette(secondary);
    // On Linux there is no settings pane to send the user to: the row says what to do instead, under its
    // description and as wide as the row, so that the instructions are never squeezed into a corner.
    m_remedy = plainLabel(monoFont(TextStyle::subheadline), this);
    m_remedy->setObjectName("remedy");
    m_remedy->setWordWrap(true);
    QPalette orange = m_remedy->palette();
    orange.setColor(QPalette::WindowText, systemColor(SystemColor::orange, palette()));
    m_remedy->setPalette(orange);
    texts->addWidget(m_title);
    texts->addWidget(m_description);
    texts->addWidget(m_remedy);
    row->addLayout(texts, 1);

    m_checkMark = new QLabel(this);
    m_checkMark->setPixmap(symbol("checkmark.circle.fill", 16, systemColor(SystemColor::green, palette())));
    row->addWidget(m_checkMark, 0, Qt::AlignVCenter);
    setTexts(title, description);
    setState(false, QString());
}

void PermissionRow::setTexts(const QString& title, const QString& description) {
    m_title->setText(title);
    m_description->setText(description);
}

void PermissionRow::setState(bool granted, const QString& remedy) {
    m_granted = granted;
    m_remedy->setText(remedy);
    m_checkMark->setVisible(granted);
    m_remedy->setVisible(!granted);
}

QString PermissionRow::title() const { return m_title->text(); }
QString PermissionRow::remedy() const { return m_remedy->text(); }
bool PermissionRow::showsCheckMark() const { return !m_checkMark->isHidden(); }

}  // namespace vandrel
