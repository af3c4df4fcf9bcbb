#include "dictation/OverlayPanelController.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "base/LocalizationManager.h"
#include "base/Log.h"
#include "dictation/RecordingOverlayView.h"

namespace vandrel {

namespace {

// The window that hosts the overlay view. It never asks for the focus, the window manager leaves it
// alone (override-redirect on X11, so it appears on every desktop and above full-screen windows),
// and it has no frame or shadow of its own: the view draws its translucent shape.
class NonActivatingPanel : public QWidget {
    Q_OBJECT

public:
    NonActivatingPanel()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint |
                               Qt::NoDropShadowWindowHint) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_X11DoNotAcceptFocus);
        // Qt shows tooltips only in the active window, which this panel never is.
        setAttribute(Qt::WA_AlwaysShowToolTips);
        setFocusPolicy(Qt::NoFocus);
    }
};

}  // namespace

OverlayPanelController::OverlayPanelController(std::shared_ptr<OverlayState> state)
    : m_overlayState(state ? std::move(state) : std::make_shared<OverlayState>()) {}

OverlayPanelController::~OverlayPanelController() {
    // Timers first: none of them may run against a half-destroyed panel.
    m_hideWorkItem.cancel();
    m_pendingShow.cancel();
    m_fadeTimer.cancel();
    m_panel.reset();
}

QPointF OverlayPanelController::panelOrigin(const QRectF& visibleFrame, std::optional<double> width, double height) {
    const double halfWidth = width ? *width / 2.0 : 118.0;
    const double bottom = visibleFrame.bottom() - 0.15 * visibleFrame.height();
    return {visibleFrame.center().x() - halfWidth, bottom - height};
}

void OverlayPanelController::makePanel() {
    auto panel = std::make_unique<NonActivatingPanel>();
    auto* view = new RecordingOverlayView(
        *m_overlayState,
        [this] {
            if (m_cancelHandler) m_cancelHandler();
        },
        voiceThreshold, panel.get());
    view->move(0, 0);
    panel->setFixedSize(view->size());
    // A partial transcript turns the capsule into the larger card; the window follows every step of
    // the change and stays centred on its bottom edge.
    view->onLookSizeChanged = [this] {
        if (!m_panel || !m_view) return;
        if (m_panel->isVisible())
            place();
        else
            m_panel->setFixedSize(m_view->size());
        applyShape();
    };
    // The native window must exist before its input transparency can be switched without
    // re-creating it.
    panel->winId();
    m_panel = std::move(panel);
    m_view = view;
    m_ignoresMouseEvents = true;
    applyMouseTransparency();
}

void OverlayPanelController::applyMouseTransparency() {
    if (!m_panel) return;
    // Switching the flag on the window, not the widget: the widget would re-create (and hide) it.
    if (QWindow* window = m_panel->windowHandle()) window->setFlag(Qt::WindowTransparentForInput, m_ignoresMouseEvents);
    m_view->setAttribute(Qt::WA_TransparentForMouseEvents, m_ignoresMouseEvents);
}

void OverlayPanelController::setIgnoresMouseEvents(bool ignore) {
    if (!m_panel) return;
    m_ignoresMouseEvents = ignore;
    applyMouseTransparency();
}

void OverlayPanelController::applyShape() {
    if (!m_panel || !m_view) return;
    if (m_shaped)
        m_panel->setMask(m_view->shapeRegion());
    else if (!m_panel->mask().isEmpty())
        m_panel->clearMask();
}

bool OverlayPanelController::isPanelVisible() const { return m_panel && m_panel->isVisible(); }

double OverlayPanelController::panelOpacity() const { return m_panel ? m_panel->windowOpacity() : 0.0; }

void OverlayPanelController::place() {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty()) screen = QGuiApplication::screens().first();
    if (!screen) return;
    const QSize size = m_view->size();
    const QPointF origin = panelOrigin(QRectF(screen->availableGeometry()), size.width(), size.height());
    const QRect frame(QPoint(static_cast<int>(std::lround(origin.x())), static_cast<int>(std::lround(origin.y()))),
                      size);
    if (frame == m_panel->geometry()) return;
    // Size and position in one request, so the window never shows a frame that is off its anchor;
    // the limits are loosened first so they cannot force a resize of their own.
    m_panel->setMinimumSize(0, 0);
    m_panel->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_panel->setGeometry(frame);
    m_panel->setFixedSize(size);
}

void OverlayPanelController::placeAndFadeIn() {
    if (m_suppressed) return;
    if (QGuiApplication::screens().isEmpty()) {
        // Nowhere to show it; the state is written all the same, so a later show finds it current.
        log("Overlay", "No screen to show the overlay on");
        return;
    }
    // Compositing managers come and go; what runs now decides.
    m_shaped = m_compositingProbe && !m_compositingProbe();
    place();
    applyShape();
    m_panel->setWindowOpacity(0.0);
    m_panel->show();
    m_panel->raise();
    applyMouseTransparency();
    fade(1.0, fadeInDuration, AnimationCurve::easeInOut, nullptr);
}

void OverlayPanelController::fade(double to, double duration, const AnimationCurve& curve, std::function<void()> done) {
    MainLoop& loop = MainLoop::current();
    const TimePoint start = loop.now();
    const double from = m_panel->windowOpacity();
    const AnimationCurve* shape = &curve;
    // About 60 frames a second, with the last frame landing on the end of the fade.
    const double frames = std::max(1.0, std::ceil(duration * 60.0));
    auto step = [this, start, from, to, duration, shape, done = std::move(done)] {
        double t = std::chrono::duration<double>(MainLoop::current().now() - start).count() / duration;
        if (t >= 1.0 - 1e-6) {
            m_panel->setWindowOpacity(to);
            m_fadeTimer.cancel();
            if (done) done();
            return;
        }
        m_panel->setWindowOpacity(from + (to - from) * shape->valueAt(t));
    };
    m_fadeTimer = loop.repeating(seconds(duration / frames), std::move(step));
}

void OverlayPanelController::show(RecordingState state, bool showHint, const std::string& hintText, float audioLevel) {
    m_hideWorkItem.cancel();
    m_pendingShow.cancel();
    if (!m_panel) makePanel();

    OverlayState& s = *m_overlayState;
    s.setNoSpeechMessage(std::nullopt);
    s.setPartialTranscript({});
    s.setRecordingState(state);
    s.setAudioLevel(audioLevel);
    s.setShowStopHint(showHint);
    s.setStopHintText(hintText);
    s.setRecordingStartDate(state == RecordingState::recording ? std::optional(MainLoop::current().now())
                                                               : std::nullopt);

    m_ignoresMouseEvents = state != RecordingState::recording;
    applyMouseTransparency();
    // A show during a fade-out takes over from it: the fade's order-out must not hide this show.
    placeAndFadeIn();
}

void OverlayPanelController::showAfter(Duration delay, RecordingState state, bool showHint, std::string hintText,
                                       float audioLevel) {
    m_pendingShow = MainLoop::current().singleShot(delay, [this, state, showHint, hint = std::move(hintText),
                                                           audioLevel] { show(state, showHint, hint, audioLevel); });
}

void OverlayPanelController::cancelPendingShow() { m_pendingShow.cancel(); }

void OverlayPanelController::hide() {
    m_pendingShow.cancel();
    if (!m_panel || !m_panel->isVisible()) return;
    m_ignoresMouseEvents = true;
    applyMouseTransparency();
    fade(0.0, fadeOutDuration, AnimationCurve::standard, [this] { m_panel->hide(); });
}

void OverlayPanelController::showNoSpeech() {
    m_hideWorkItem.cancel();
    m_pendingShow.cancel();
    if (!m_panel) makePanel();

    OverlayState& s = *m_overlayState;
    s.setRecordingState(RecordingState::idle);
    s.setAudioLevel(0.0f);
    s.setShowStopHint(false);
    s.setStopHintText({});
    s.setNoSpeechMessage(localized("No speech detected"));

    placeAndFadeIn();
    m_hideWorkItem = MainLoop::current().singleShot(seconds(noSpeechDuration), [this] {
        m_overlayState->setNoSpeechMessage(std::nullopt);
        hide();
    });
}

}  // namespace vandrel

#include "OverlayPanelController.moc"
