#include "dictation/RecordingOverlayView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "base/LocalizationManager.h"
#include "dictation/AudioBarsView.h"
#include "dictation/ElapsedTimeView.h"
#include "dictation/NoSpeechSymbolView.h"
#include "dictation/OverlayCancelButton.h"
#include "dictation/OverlayStyle.h"
#include "dictation/PulsingDotsView.h"
#include "ui/AnimationCurve.h"

namespace vandrel {

namespace {

constexpr int transcriptMaxLines = 4;
constexpr double transcriptInset = 4;
constexpr double cardVerticalInset = 12;
constexpr double cardSpacing = 8;

QPainterPath lookShape(const QRectF& rect, double radius) {
    QPainterPath path;
    radius = std::min(radius, std::min(rect.width(), rect.height()) / 2.0);
    path.addRoundedRect(rect, radius, radius);
    return path;
}

double lerp(double a, double b, double t) { return a + (b - a) * t; }

// Assistive technologies see the overlay as one element: "Vandrel" with the dictation status as its
// value, and the cancel button's press as its action while the button is shown.
class OverlayAccessible : public QAccessibleWidget {
public:
    explicit OverlayAccessible(RecordingOverlayView* view) : QAccessibleWidget(view, QAccessible::Grouping) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return QString::fromStdString(localized("Vandrel"));
            case QAccessible::Value:
                return view()->accessibleStatus();
            default:
                return QAccessibleWidget::text(t);
        }
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QStringList actionNames() const override {
        if (view()->offersCancel()) return {pressAction()};
        return {};
    }
    QString localizedActionDescription(const QString& name) const override {
        if (name == pressAction()) return QString::fromStdString(localized("Cancel recording"));
        return QAccessibleWidget::localizedActionDescription(name);
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && view()->offersCancel()) view()->cancelButton()->click();
    }

private:
    RecordingOverlayView* view() const { return static_cast<RecordingOverlayView*>(widget()); }
};

QAccessibleInterface* overlayAccessibleFactory(const QString&, QObject* object) {
    if (auto* view = dynamic_cast<RecordingOverlayView*>(object)) return new OverlayAccessible(view);
    return nullptr;
}

}  // namespace

RecordingOverlayView::RecordingOverlayView(OverlayState& state, std::function<void()> onCancel, float voiceThreshold,
                                           QWidget* parent)
    : QWidget(parent),
      m_state(state),
      m_onCancel(std::move(onCancel)),
      m_voiceThreshold(voiceThreshold),
      m_bars(new AudioBarsView(this)),
      m_dots(new PulsingDotsView(7, 3, this)),
      m_symbol(new NoSpeechSymbolView(this)),
      m_elapsed(new ElapsedTimeView(this)),
      m_cancel(new OverlayCancelButton(this)) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(overlayAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;

    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setFont(overlay::bodyFont());
    QObject::connect(m_cancel, &QAbstractButton::clicked, m_cancel, [this] {
        if (m_onCancel) m_onCancel();
    });
    m_elapsed->onWidthChanged = [this] {
        if (!m_drawnExpanded) {
            layoutCompact();
            placeParts();
        }
    };
    m_stateConnection = m_state.changed.connect([this] { refresh(); });
    setFixedSize(capsuleSize);
    refresh();
}

RecordingOverlayView::~RecordingOverlayView() = default;

QAbstractButton* RecordingOverlayView::cancelButton() const { return m_cancel; }

QSize RecordingOverlayView::lookSize() const { return m_state.isExpanded() ? cardSize : capsuleSize; }

QSizeF RecordingOverlayView::surfaceSize() const {
    const double p = fadeValue(lookPart);
    return {lerp(capsuleSize.width(), cardSize.width(), p), lerp(capsuleSize.height(), cardSize.height(), p)};
}

double RecordingOverlayView::cornerRadius() const {
    return lerp(capsuleSize.height() / 2.0, cardCornerRadius, fadeValue(lookPart));
}

QRegion RecordingOverlayView::shapeRegion() const {
    return QRegion(lookShape(QRectF(rect()), cornerRadius()).toFillPolygon().toPolygon());
}

QString RecordingOverlayView::accessibleStatus() const { return QString::fromStdString(m_state.accessibilityStatus()); }

void RecordingOverlayView::refresh() {
    const bool expanded = m_state.isExpanded();
    const bool message = m_state.hasMessage();
    const RecordingState rs = m_state.recordingState();

    // The indicator: the first that applies.
    const bool showSymbol = message;
    const bool showBars = !message && rs == RecordingState::recording;
    const bool showDots = !message && rs == RecordingState::transcribing;
    m_bars->setLevel(m_state.audioLevel(), m_state.audioLevel() >= m_voiceThreshold);

    // The status line (capsule only).
    bool showElapsed = false;
    QString statusText;
    bool statusIsPrimary = m_statusIsPrimary;
    if (!expanded) {
        if (message) {
            statusText = QString::fromStdString(*m_state.noSpeechMessage());
            statusIsPrimary = true;
        } else if (rs == RecordingState::recording) {
            showElapsed = true;
        } else if (rs == RecordingState::transcribing) {
            statusText = QString::fromStdString(localized("Transcribing..."));
            statusIsPrimary = false;
        }
    }
    if (showElapsed && (!m_want[elapsedPart] || m_state.recordingStartDate() != m_elapsedStartSource)) {
        // Without a start date the count starts when the time first appears.
        m_elapsedStartSource = m_state.recordingStartDate();
        m_elapsed->setStartDate(m_elapsedStartSource.value_or(MainLoop::current().now()));
    }

    const bool showCancel = rs == RecordingState::recording && (expanded || !message);
    const QString headerText = expanded ? QString::fromStdString(m_state.headerTitle()) : QString();

    // A new level alone is the bars' business: the level feed arrives 20 times a second and must not
    // repaint the whole overlay each time.
    const QString look = QStringLiteral("%1|%2|%3|%4|%5|%6")
                             .arg(expanded)
                             .arg(static_cast<int>(rs))
                             .arg(statusText, headerText, QString::fromStdString(m_state.partialTranscript()))
                             .arg(showSymbol + 2 * showBars + 4 * showDots + 8 * showElapsed + 16 * showCancel);
    if (look == m_drawnLook) return;

    // Cross-fade only on screen and from a look that was drawn before; a hidden view switches at once.
    const bool animate = isVisible() && !m_drawnLook.isEmpty();
    if (!animate && m_transitionTimer.isActive()) finishTransition();
    std::array<double, partCount> current{};
    for (int p = 0; p < partCount; ++p) current[p] = fadeValue(p);
    const bool wasExpanded = m_drawnExpanded;
    const QString previousStatus = m_statusDrawn;
    const QRectF previousStatusRect = m_statusRect;
    const bool previousStatusIsPrimary = m_statusIsPrimary;
    const QStringList previousLines = m_transcriptLines;
    const QRectF previousTranscriptRect = m_transcriptRect;

    m_drawnLook = look;
    m_drawnExpanded = expanded;
    m_statusText = statusText;
    m_statusIsPrimary = statusIsPrimary;
    m_headerText = headerText;
    m_want = {showSymbol, showBars, showDots, showElapsed, showCancel, true,
              false,      expanded, expanded, expanded,    false};

    // Hide before showing, so a part that goes away stops its animation first. A part fading out stays
    // until its fade ends.
    for (int p = 0; p < widgetPartCount; ++p) {
        QWidget* widget = partWidget(p);
        const bool onScreen = widget->isVisibleTo(this);
        if (m_want[p])
            m_fades[p] = {animate ? (onScreen ? current[p] : 0.0) : 1.0, 1.0};
        else
            m_fades[p] = {animate && onScreen ? current[p] : 0.0, 0.0};
        if (m_fades[p].from == 0.0 && m_fades[p].to == 0.0) widget->hide();
    }
    for (int p = 0; p < widgetPartCount; ++p)
        if (m_want[p]) partWidget(p)->show();
    // The button on its way out takes no clicks.
    m_cancel->setAttribute(Qt::WA_TransparentForMouseEvents, !showCancel);

    if (expanded) {
        layoutCard();
        // The card has no status line: the capsule's leaves with the capsule.
        m_statusDrawn.clear();
        m_statusRect = {};
    } else {
        layoutCompact();
    }

    // The status line: a new text fades in over the old one fading out.
    if (!animate) {
        m_fades[statusPart] = {1.0, 1.0};
        m_fades[oldStatusPart] = {};
        m_oldStatusDrawn.clear();
    } else if (m_statusDrawn != previousStatus) {
        const bool returning = !m_statusDrawn.isEmpty() && m_statusDrawn == m_oldStatusDrawn;
        m_fades[statusPart] = {returning ? current[oldStatusPart] : 0.0, 1.0};
        // One text fades out at a time: the more visible of the replaced text and the one already
        // leaving.
        if (returning || (!previousStatus.isEmpty() &&
                          (m_oldStatusDrawn.isEmpty() || current[statusPart] >= current[oldStatusPart]))) {
            m_oldStatusDrawn = previousStatus;
            m_oldStatusRect = previousStatusRect;
            m_oldStatusIsPrimary = previousStatusIsPrimary;
            m_fades[oldStatusPart] = {previousStatus.isEmpty() ? 0.0 : current[statusPart], 0.0};
        } else {
            m_fades[oldStatusPart] = {current[oldStatusPart], 0.0};
        }
    } else {
        m_fades[statusPart] = {current[statusPart], 1.0};
        m_fades[oldStatusPart] = {current[oldStatusPart], 0.0};
    }
    const double cardTarget = expanded ? 1.0 : 0.0;
    m_fades[cardTextPart] = {animate ? current[cardTextPart] : cardTarget, cardTarget};
    m_fades[lookPart] = {animate ? current[lookPart] : cardTarget, cardTarget};

    // The transcript: new lines fade in over the old ones fading out; the card's closing takes them all.
    Fade& lines = m_fades[transcriptPart];
    Fade& oldLines = m_fades[oldTranscriptPart];
    if (!animate) {
        lines = {cardTarget, cardTarget};
        oldLines = {};
        m_oldTranscriptLines.clear();
        if (!expanded) {
            m_headerDrawn.clear();
            m_headerRect = {};
            m_transcriptLines.clear();
            m_transcriptRect = {};
        }
    } else if (!expanded) {
        lines = {current[transcriptPart], 0.0};
        oldLines = {current[oldTranscriptPart], 0.0};
    } else if (m_transcriptLines != previousLines) {
        const bool returning = !m_transcriptLines.isEmpty() && m_transcriptLines == m_oldTranscriptLines;
        lines = {returning ? current[oldTranscriptPart] : 0.0, 1.0};
        // As with the status line, one set of lines fades out at a time: the more visible one.
        if (returning || (!previousLines.isEmpty() &&
                          (m_oldTranscriptLines.isEmpty() || current[transcriptPart] >= current[oldTranscriptPart]))) {
            m_oldTranscriptLines = previousLines;
            m_oldTranscriptRect = previousTranscriptRect;
            oldLines = {current[transcriptPart], 0.0};
        } else {
            oldLines = {current[oldTranscriptPart], 0.0};
        }
    } else {
        lines = {current[transcriptPart], 1.0};
        oldLines = {current[oldTranscriptPart], 0.0};
    }

    if (animate) {
        m_transitionStart = MainLoop::current().now();
        m_transitionDuration = expanded != wasExpanded ? lookFadeDuration : stateFadeDuration;
        // Frames counted from the start of this fade.
        m_transitionTimer = MainLoop::current().repeating(fadeFrameInterval, [this] { stepTransition(); });
    } else {
        m_transitionStart.reset();
    }
    applyPartOpacities();
    applyLookSize();
    placeParts();
    update();
}

QWidget* RecordingOverlayView::partWidget(int part) const {
    switch (part) {
        case symbolPart:
            return m_symbol;
        case barsPart:
            return m_bars;
        case dotsPart:
            return m_dots;
        case elapsedPart:
            return m_elapsed;
        case cancelPart:
            return m_cancel;
        default:
            return nullptr;
    }
}

double RecordingOverlayView::fadeValue(int part) const {
    const Fade& f = m_fades[static_cast<std::size_t>(part)];
    if (!m_transitionStart) return f.to;
    const double t =
        std::chrono::duration<double>(MainLoop::current().now() - *m_transitionStart).count() / m_transitionDuration;
    return f.from + (f.to - f.from) * AnimationCurve::easeInOut.valueAt(t);
}

double RecordingOverlayView::partOpacity(const QWidget* part) const {
    for (int p = 0; p < widgetPartCount; ++p)
        if (partWidget(p) == part) return part->isVisibleTo(this) ? fadeValue(p) : 0.0;
    return 0.0;
}

double RecordingOverlayView::statusOpacity() const { return m_statusDrawn.isEmpty() ? 0.0 : fadeValue(statusPart); }

double RecordingOverlayView::outgoingStatusOpacity() const {
    return m_oldStatusDrawn.isEmpty() ? 0.0 : fadeValue(oldStatusPart);
}

double RecordingOverlayView::cardTextOpacity() const { return m_headerDrawn.isEmpty() ? 0.0 : fadeValue(cardTextPart); }

double RecordingOverlayView::transcriptOpacity() const {
    return m_transcriptLines.isEmpty() ? 0.0 : fadeValue(transcriptPart);
}

double RecordingOverlayView::outgoingTranscriptOpacity() const {
    return m_oldTranscriptLines.isEmpty() ? 0.0 : fadeValue(oldTranscriptPart);
}

void RecordingOverlayView::applyPartOpacities() {
    for (int p = 0; p < widgetPartCount; ++p) {
        QWidget* widget = partWidget(p);
        const double opacity = fadeValue(p);
        if (!m_transitionStart || !widget->isVisibleTo(this) || (m_fades[p].from >= 1.0 && m_fades[p].to >= 1.0)) {
            // Settled parts draw straight, without the cost of an effect.
            if (widget->graphicsEffect()) widget->setGraphicsEffect(nullptr);
            continue;
        }
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(widget);
            widget->setGraphicsEffect(effect);
        }
        effect->setOpacity(opacity);
    }
}

void RecordingOverlayView::stepTransition() {
    if (!m_transitionStart) return finishTransition();
    const double elapsed = std::chrono::duration<double>(MainLoop::current().now() - *m_transitionStart).count();
    if (elapsed >= m_transitionDuration - 1e-6) return finishTransition();
    applyPartOpacities();
    applyLookSize();
    placeParts();
    update();
}

void RecordingOverlayView::finishTransition() {
    m_transitionTimer.cancel();
    m_transitionStart.reset();
    for (int p = 0; p < partCount; ++p) m_fades[p].from = m_fades[p].to;
    for (int p = 0; p < widgetPartCount; ++p)
        if (!m_want[p]) partWidget(p)->hide();
    m_oldStatusDrawn.clear();
    m_oldStatusRect = {};
    m_oldTranscriptLines.clear();
    m_oldTranscriptRect = {};
    if (!m_drawnExpanded) {
        m_headerDrawn.clear();
        m_headerRect = {};
        m_transcriptLines.clear();
        m_transcriptRect = {};
    }
    applyPartOpacities();
    applyLookSize();
    placeParts();
    update();
}

void RecordingOverlayView::hideEvent(QHideEvent* event) {
    // Off screen nothing animates: the look is the end of any fade under way.
    if (m_transitionTimer.isActive() || m_transitionStart) finishTransition();
    QWidget::hideEvent(event);
}

namespace {
// Places `widget` with its centre at `centre`.
void centreAt(QWidget* widget, QPointF centre) {
    widget->move(static_cast<int>(std::lround(centre.x() - widget->width() / 2.0)),
                 static_cast<int>(std::lround(centre.y() - widget->height() / 2.0)));
}
}  // namespace

void RecordingOverlayView::keepLeavingPlaces(Places& places) const {
    // A part fading out keeps the place it had; a part gone entirely has none.
    for (int p = 0; p < widgetPartCount; ++p)
        if (!m_want[p] && !partWidget(p)->isVisibleTo(this)) places[p].reset();
}

void RecordingOverlayView::layoutCompact() {
    const double w = capsuleSize.width(), h = capsuleSize.height();
    const double midY = h / 2.0;
    const bool cancel = m_want[cancelPart];
    QFontMetricsF metrics(font());
    keepLeavingPlaces(m_capsulePlaces);

    double statusWidth = 0;
    const double available = w - 2 * horizontalInset - indicatorWidth - rowSpacing -
                             (cancel ? rowSpacing + OverlayCancelButton::diameter : 0);
    if (m_want[elapsedPart]) {
        m_statusDrawn.clear();
        statusWidth = m_elapsed->width();
    } else if (m_statusText.isEmpty()) {
        m_statusDrawn.clear();
    } else {
        // One line: a text too long for the capsule ends in an ellipsis.
        m_statusDrawn = metrics.elidedText(m_statusText, Qt::ElideRight, available);
        statusWidth = std::ceil(metrics.horizontalAdvance(m_statusDrawn));
    }
    double total = indicatorWidth;
    if (statusWidth > 0) total += rowSpacing + statusWidth;
    if (cancel) total += rowSpacing + OverlayCancelButton::diameter;
    double x = std::max(static_cast<double>(horizontalInset), (w - total) / 2.0);

    for (int p : {symbolPart, barsPart, dotsPart})
        if (m_want[p]) m_capsulePlaces[p] = QPointF(x + indicatorWidth / 2.0, midY);
    x += indicatorWidth;
    if (statusWidth > 0) {
        x += rowSpacing;
        m_statusRect = QRectF(x, 0, statusWidth, h);
        if (m_want[elapsedPart]) m_capsulePlaces[elapsedPart] = QPointF(x + statusWidth / 2.0, midY);
        x += statusWidth;
    } else {
        m_statusRect = {};
    }
    if (cancel) {
        x += rowSpacing;
        m_capsulePlaces[cancelPart] = QPointF(x + OverlayCancelButton::diameter / 2.0, midY);
    }
}

void RecordingOverlayView::layoutCard() {
    const double w = cardSize.width(), h = cardSize.height();
    QFontMetricsF headerMetrics(font());
    const QFont transcriptFont = overlay::calloutFont();
    QFontMetricsF transcriptMetrics(transcriptFont);
    keepLeavingPlaces(m_cardPlaces);

    // Wrap the transcript to the card's width and keep the last lines: the newest words matter.
    const double textWidth = w - 2 * horizontalInset - 2 * transcriptInset;
    QStringList lines;
    const QString transcript = QString::fromStdString(m_state.partialTranscript());
    QTextLayout layout(transcript, transcriptFont);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(textWidth);
        lines << transcript.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    if (lines.size() > transcriptMaxLines) {
        lines = lines.mid(lines.size() - transcriptMaxLines);
        lines[0] = transcriptMetrics.elidedText(QStringLiteral("\u2026") + lines[0], Qt::ElideLeft, textWidth);
    }
    m_transcriptLines = lines;

    const double headerHeight = std::max(
        {AudioBarsView::maxHeight, headerMetrics.height(), static_cast<double>(OverlayCancelButton::diameter)});
    const double transcriptHeight = lines.size() * transcriptMetrics.lineSpacing();
    const double contentHeight = headerHeight + cardSpacing + transcriptHeight;
    double y = std::max(cardVerticalInset, (h - contentHeight) / 2.0);
    const double midY = y + headerHeight / 2.0;

    double x = horizontalInset;
    for (int p : {symbolPart, barsPart, dotsPart})
        if (m_want[p]) m_cardPlaces[p] = QPointF(x + indicatorWidth / 2.0, midY);
    x += indicatorWidth + rowSpacing;
    double right = w - horizontalInset;
    if (m_want[cancelPart]) {
        m_cardPlaces[cancelPart] = QPointF(right - OverlayCancelButton::diameter / 2.0, midY);
        right -= OverlayCancelButton::diameter + rowSpacing;
    }
    m_headerDrawn = headerMetrics.elidedText(m_headerText, Qt::ElideRight, std::max(0.0, right - x));
    m_headerRect = QRectF(x, y, std::max(0.0, right - x), headerHeight);
    m_transcriptRect =
        QRectF(horizontalInset + transcriptInset, y + headerHeight + cardSpacing, textWidth, transcriptHeight);
}

QPointF RecordingOverlayView::lookOrigin(bool card) const {
    const QSize look = card ? cardSize : capsuleSize;
    return {(width() - look.width()) / 2.0, static_cast<double>(height() - look.height())};
}

QRectF RecordingOverlayView::inView(const QRectF& rect, bool card) const {
    return rect.isNull() ? rect : rect.translated(lookOrigin(card));
}

void RecordingOverlayView::applyLookSize() {
    const QSizeF exact = surfaceSize();
    // An even width keeps the window's centre on a whole pixel at every step.
    const QSize rounded(2 * static_cast<int>(std::lround(exact.width() / 2.0)),
                        static_cast<int>(std::lround(exact.height())));
    if (rounded == size()) return;
    setFixedSize(rounded);
    if (onLookSizeChanged) onLookSizeChanged();
}

void RecordingOverlayView::placeParts() {
    // A part in both looks slides from its place in one to its place in the other as the surface
    // changes; a part of one look only keeps its place in that look.
    const double progress = fadeValue(lookPart);
    const QPointF capsuleOrigin = lookOrigin(false), cardOrigin = lookOrigin(true);
    for (int p = 0; p < widgetPartCount; ++p) {
        const std::optional<QPointF>& inCapsule = m_capsulePlaces[p];
        const std::optional<QPointF>& inCard = m_cardPlaces[p];
        if (inCapsule && inCard)
            centreAt(partWidget(p),
                     (*inCapsule + capsuleOrigin) * (1.0 - progress) + (*inCard + cardOrigin) * progress);
        else if (inCapsule)
            centreAt(partWidget(p), *inCapsule + capsuleOrigin);
        else if (inCard)
            centreAt(partWidget(p), *inCard + cardOrigin);
    }
}

const QPixmap& RecordingOverlayView::surface() {
    const double radius = cornerRadius();
    if (!m_surface.isNull() && m_surface.deviceIndependentSize() == QSizeF(size()) &&
        m_surface.devicePixelRatio() == devicePixelRatioF() && m_surfaceRadius == radius)
        return m_surface;
    // The surface only changes with the look; the bars repaint over it every frame, so it is drawn once
    // per size and corner.
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(QPointF(0, 0), QSizeF(size()));
    QPainterPath shape = lookShape(bounds, radius);

    // Bottom up: a pale translucent base standing in for the blurred material, white at 40 %, then a
    // breath of the brand colour.
    painter.fillPath(shape, QColor::fromRgbF(0.93f, 0.93f, 0.95f, 0.78f));
    painter.fillPath(shape, QColor::fromRgbF(1, 1, 1, 0.4f));
    painter.fillPath(shape, overlay::toQColor(brandIndigo.withOpacity(0.05)));
    painter.setClipPath(shape);

    // The sheen, from the top-leading corner to the bottom-trailing one.
    QLinearGradient sheen(bounds.topLeft(), bounds.bottomRight());
    sheen.setColorAt(0.0, QColor::fromRgbF(1, 1, 1, 0.18f));
    sheen.setColorAt(0.5, QColor::fromRgbF(1, 1, 1, 0.04f));
    sheen.setColorAt(1.0, QColor::fromRgbF(1, 1, 1, 0.0f));
    painter.setCompositionMode(QPainter::CompositionMode_Overlay);
    painter.fillPath(shape, sheen);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    // The edge: a hairline of the text colour.
    QPen edge(overlay::primaryColor(0.08), 0.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    edge.setMiterLimit(10);
    painter.setPen(edge);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(lookShape(bounds.adjusted(0.25, 0.25, -0.25, -0.25), radius - 0.25));
    painter.end();
    m_surface = pixmap;
    m_surfaceRadius = radius;
    return m_surface;
}

void RecordingOverlayView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    const QPixmap& pixmap = surface();
    const qreal ratio = pixmap.devicePixelRatio();
    painter.drawPixmap(QRectF(dirty), pixmap, QRectF(QRectF(dirty).topLeft() * ratio, QRectF(dirty).size() * ratio));
    const QRectF statusRect = inView(m_statusRect, false), oldStatusRect = inView(m_oldStatusRect, false);
    const QRectF headerRect = inView(m_headerRect, true);
    const QRectF transcriptRect = inView(m_transcriptRect, true), oldTranscriptRect = inView(m_oldTranscriptRect, true);
    // Text only where it was uncovered.
    const bool touchesText =
        std::ranges::any_of(std::array{statusRect, oldStatusRect, headerRect, transcriptRect, oldTranscriptRect},
                            [&](const QRectF& r) { return !r.isNull() && dirty.intersects(r.toAlignedRect()); });
    if (!touchesText) return;
    painter.setRenderHint(QPainter::Antialiasing);
    // While the look changes, text of the other look may reach past the surface's edge.
    if (m_transitionStart) painter.setClipPath(lookShape(QRectF(rect()), cornerRadius()));
    painter.setFont(font());
    constexpr auto oneLine = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    if (!m_oldStatusDrawn.isEmpty() && !oldStatusRect.isNull()) {
        painter.setOpacity(outgoingStatusOpacity());
        painter.setPen(m_oldStatusIsPrimary ? overlay::primaryColor() : overlay::secondaryColor());
        painter.drawText(oldStatusRect, oneLine, m_oldStatusDrawn);
    }
    if (!m_statusDrawn.isEmpty()) {
        painter.setOpacity(statusOpacity());
        painter.setPen(m_statusIsPrimary ? overlay::primaryColor() : overlay::secondaryColor());
        painter.drawText(statusRect, oneLine, m_statusDrawn);
    }
    if (cardTextOpacity() > 0.0) {
        painter.setOpacity(cardTextOpacity());
        painter.setPen(overlay::primaryColor());
        painter.drawText(headerRect, oneLine, m_headerDrawn);
    }
    painter.setFont(overlay::calloutFont());
    painter.setPen(overlay::primaryColor(0.85));
    const double lineSpacing = QFontMetricsF(painter.font()).lineSpacing();
    auto drawLines = [&](const QStringList& lines, const QRectF& area, double opacity) {
        if (lines.isEmpty() || opacity <= 0.0) return;
        painter.setOpacity(opacity);
        double y = area.top();
        for (const QString& line : lines) {
            painter.drawText(QRectF(area.left(), y, area.width(), lineSpacing), oneLine, line);
            y += lineSpacing;
        }
    };
    drawLines(m_oldTranscriptLines, oldTranscriptRect, outgoingTranscriptOpacity());
    drawLines(m_transcriptLines, transcriptRect, transcriptOpacity());
}

}  // namespace vandrel
