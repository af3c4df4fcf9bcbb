#include "onboarding/FinalStep.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/LocalizationManager.h"
#include "dictation/AppState.h"
#include "dictation/TargetAppTracker.h"
#include "onboarding/OnboardingStyle.h"
#include "onboarding/OnboardingView.h"
#include "ui/BrandGradientButtonStyle.h"
#include "ui/BrandIconTile.h"
#include "ui/Colors.h"
#include "ui/DisplayHeadline.h"
#include "ui/Fonts.h"
#include "ui/KickerLabel.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace style = onboardingstyle;

namespace {

// The try-it editor's surround: the text background in a rounded rectangle with an indigo border that
// grows stronger once the editor holds text.
class EditorFrame : public QWidget {
    Q_OBJECT

public:
    EditorFrame(QPlainTextEdit* editor, QWidget* parent) : QWidget(parent), m_editor(editor) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(8, 8, 8, 8);
        layout->addWidget(editor);
        setFixedHeight(80);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath path;
        path.addRoundedRect(r, 8, 8);
        p.fillPath(path, textBackgroundColor(palette()));
        p.setPen(QPen(brandIndigoColor(m_editor->document()->isEmpty() ? 0.3 : 0.6), 1));
        p.drawPath(path);
    }

private:
    QPlainTextEdit* m_editor;
};

}  // namespace

FinalStep::FinalStep(OnboardingView& view, QWidget* parent) : OnboardingStep(view, parent) {
    setObjectName("finalStep");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 0, 24, 0);
    column->setSpacing(0);
    column->addStretch(1);
    const Header header = addHeader(column, this, "checkmark", 72, 28);
    m_kicker = header.kicker;
    m_headline = header.headline;
    column->addSpacing(24);

    // How it works: the trigger, speaking, the text arriving.
    auto* how = new QHBoxLayout;
    how->setSpacing(24);
    BrandIconTile* tiles[3] = {new BrandIconTile("keyboard.fill", 48, this), new BrandIconTile("waveform", 48, this),
                               new BrandIconTile("text.cursor", 48, this)};
    for (int i = 0; i < 3; ++i) {
        auto* item = new QVBoxLayout;
        item->setSpacing(8);
        item->addWidget(tiles[i], 0, Qt::AlignHCenter);
        m_captions[i] = style::textLabel(this, monoFont(10), style::secondary(), Qt::AlignHCenter | Qt::AlignTop);
        item->addWidget(m_captions[i]);
        how->addLayout(item, 1);
    }
    m_captions[0]->setObjectName("hotkeyCaption");
    column->addLayout(how);
    column->addSpacing(24);

    auto* tryIt = new QVBoxLayout;
    tryIt->setContentsMargins(32, 0, 32, 0);
    tryIt->setSpacing(8);
    m_tryIt = new KickerLabel({}, style::secondary(), this);
    m_tryIt->setObjectName("tryItSentence");
    tryIt->addWidget(m_tryIt);
    m_editor = new QPlainTextEdit(this);
    m_editor->setObjectName("tryItEditor");
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setFont(monoFont(13));
    m_editor->viewport()->setAutoFillBackground(false);
    m_editor->setBackgroundVisible(false);
    m_editorFrame = new EditorFrame(m_editor, this);
    tryIt->addWidget(m_editorFrame);
    connect(m_editor, &QPlainTextEdit::textChanged, m_editorFrame, qOverload<>(&QWidget::update));
    column->addLayout(tryIt);
    column->addStretch(1);

    m_getStarted = new BrandGradientButtonStyle({}, this);
    m_getStarted->setObjectName("getStartedButton");
    m_getStarted->setMinimumWidth(200);
    connect(m_getStarted, &QPushButton::clicked, this, [this] { m_view.completeOnboarding(); });
    column->addWidget(m_getStarted, 0, Qt::AlignHCenter);
    column->addSpacing(16);
    auto* badge = new QHBoxLayout;
    badge->setSpacing(6);
    badge->addStretch(1);
    auto* lock = new QLabel(this);
    lock->setPixmap(symbol("lock.shield.fill", 11, brandIndigoColor()));
    badge->addWidget(lock);
    m_privacy = style::textLabel(this, monoFont(11), style::secondary(), Qt::AlignCenter);
    m_privacy->setWordWrap(false);
    badge->addWidget(m_privacy);
    badge->addStretch(1);
    column->addLayout(badge);
    column->addSpacing(24);

    // The dictation goes back to the application that was in front before ours; while the guide is the
    // window in front, a dictation is meant for this editor, so nothing is sent elsewhere.
    auto& appState = m_view.context().appState;
    m_recordingConnection = appState.recordingState.changed.connect([this, &appState](RecordingState state) {
        if (state == RecordingState::recording && window()->isActiveWindow())
            appState.targetAppTracker().forgetLastTarget();
    });
    refresh();
}

void FinalStep::focusEditorSoon(Duration delay) {
    QPointer<QPlainTextEdit> editor = m_editor;
    m_focusTimer = m_view.context().loop.singleShot(delay, [editor] {
        if (editor) editor->setFocus(Qt::OtherFocusReason);
    });
}

QString FinalStep::hotkeyCaption() const { return m_captions[0]->text(); }
QString FinalStep::tryItSentence() const { return m_tryIt->displayText(); }

void FinalStep::refresh() {
    const std::string hotkey = m_view.hotkeyDescription();
    m_kicker->setText(QString::fromStdString(localized("You're set")));
    m_headline->setText(QString::fromStdString(localized("You're all set!")));
    style::setText(m_captions[0], hotkey);
    style::setText(m_captions[1], localized("Speak"));
    style::setText(m_captions[2], localized("Text appears"));
    m_tryIt->setText(QString::fromStdString(
        formatPlaceholders(localized("Try it now — click below, press %@, and speak."), {hotkey})));
    m_editor->setPlaceholderText(QString::fromStdString(localized("Your words will appear here...")));
    m_getStarted->setText(QString::fromStdString(localized("Get Started")));
    m_getStarted->setEnabled(!m_view.isCompleted());
    style::setText(m_privacy, localized("100% private. Your voice never leaves your Mac."));
}

}  // namespace vandrel

#include "FinalStep.moc"
