#include "settings/ModelChoiceRow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "settings/ModelLoadingInlineView.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {

QLabel* plainLabel(QWidget* parent, double points) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(monoFont(points));
    return label;
}

void setForeground(QLabel* label, const QColor& colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

}  // namespace

ModelChoiceRow::ModelChoiceRow(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(10);
    m_mark = new QLabel(this);
    layout->addWidget(m_mark, 0, Qt::AlignVCenter);

    auto* stack = new QVBoxLayout;
    stack->setSpacing(2);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(6);
    m_title = plainLabel(this, 13);
    titleRow->addWidget(m_title);
    m_downloadHint = new QLabel(this);
    m_downloadHint->setPixmap(symbol(QStringLiteral("arrow.down.circle"), 11, secondaryColor(palette())));
    titleRow->addWidget(m_downloadHint);
    m_note = plainLabel(this, 11);
    setForeground(m_note, tertiaryColor(palette()));
    titleRow->addWidget(m_note);
    titleRow->addStretch(1);
    stack->addLayout(titleRow);
    m_detail = plainLabel(this, 11);
    m_detail->setWordWrap(true);
    setForeground(m_detail, secondaryColor(palette()));
    stack->addWidget(m_detail);
    m_loading = new ModelLoadingInlineView(this);
    stack->addWidget(m_loading);
    layout->addLayout(stack, 1);

    m_remove = new QToolButton(this);
    m_remove->setAutoRaise(true);
    m_remove->setIcon(QIcon(symbol(QStringLiteral("minus.circle"), 15, secondaryColor(palette()))));
    m_remove->setIconSize(QSize(15, 15));
    m_remove->setFixedSize(15 + 12, 15 + 12);  // 6 points around the symbol, all of it clickable
    connect(m_remove, &QToolButton::clicked, this, [this] {
        if (onRemove) onRemove();
    });
    layout->addWidget(m_remove, 0, Qt::AlignVCenter);

    m_downloadHint->hide();
    m_note->hide();
    m_loading->hide();
    m_remove->hide();
    setSelected(false, false);
}

void ModelChoiceRow::setSelected(bool selected, bool accentMark) {
    m_selected = selected;
    const QColor colour =
        selected ? (accentMark ? palette().color(QPalette::Highlight) : brandIndigoColor()) : secondaryColor(palette());
    m_mark->setPixmap(
        symbol(selected ? QStringLiteral("largecircle.fill.circle") : QStringLiteral("circle"), 16, colour));
}

void ModelChoiceRow::setRowDisabled(bool disabled) {
    m_disabled = disabled;
    setCursor(disabled ? Qt::ArrowCursor : Qt::PointingHandCursor);
    // The remove button sits inside the row and goes with it.
    m_remove->setEnabled(!disabled);
    updatePalette();
}

void ModelChoiceRow::updatePalette() {
    setForeground(m_title, m_disabled ? tertiaryColor(palette()) : primaryColor(palette()));
}

void ModelChoiceRow::setTitle(const QString& title) { m_title->setText(title); }

void ModelChoiceRow::setDownloadHint(bool shown, const QString& tooltip) {
    m_downloadHint->setVisible(shown);
    m_downloadHint->setToolTip(tooltip);
}

void ModelChoiceRow::setNote(const QString& note) {
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
}

void ModelChoiceRow::setDetail(const QString& detail, double points) {
    m_detail->setText(detail);
    m_detail->setFont(monoFont(points));
}

void ModelChoiceRow::setLoading(std::optional<double> progress) {
    m_loading->setVisible(progress.has_value());
    m_detail->setVisible(!progress.has_value());
    if (progress) m_loading->setProgress(*progress);
}

void ModelChoiceRow::setRemovable(bool removable, const QString& tooltip) {
    m_remove->setVisible(removable);
    m_remove->setToolTip(tooltip);
}

QString ModelChoiceRow::title() const { return m_title->text(); }
bool ModelChoiceRow::showsDownloadHint() const { return !m_downloadHint->isHidden(); }
QString ModelChoiceRow::note() const { return m_note->isHidden() ? QString() : m_note->text(); }
QString ModelChoiceRow::detail() const { return m_detail->isHidden() ? QString() : m_detail->text(); }
bool ModelChoiceRow::showsLoading() const { return !m_loading->isHidden(); }
bool ModelChoiceRow::showsRemoveButton() const { return !m_remove->isHidden(); }

void ModelChoiceRow::click() {
    if (!m_disabled && onChoose) onChoose();
}

void ModelChoiceRow::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void ModelChoiceRow::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = std::exchange(m_pressed, false);
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) click();
    event->accept();
}

void ModelChoiceRow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return) {
        click();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace vandrel
