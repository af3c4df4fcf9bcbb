#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/MainLoop.h"
#include "dictation/OverlayState.h"
#include "ui/AnimationCurve.h"

class QWidget;

namespace vandrel {

class RecordingOverlayView;

// The floating overlay's window: a frameless panel near the bottom centre of the screen that never
// takes the keyboard focus or activates the application, so the application being dictated into
// stays in front. Creates the panel on first use and keeps it, places it, fades it in and out, shows
// the no-speech notice for a fixed time, and routes the cancel button to its owner. Main thread only;
// all timing runs on the current MainLoop.
class OverlayPanelController {
public:
    static constexpr float voiceThreshold = 0.08f;
    static constexpr double fadeInDuration = 0.2;
    static constexpr double fadeOutDuration = 0.15;
    static constexpr double noSpeechDuration = 1.5;

    explicit OverlayPanelController(std::shared_ptr<OverlayState> state = std::make_shared<OverlayState>());
    ~OverlayPanelController();
    OverlayPanelController(const OverlayPanelController&) = delete;
    OverlayPanelController& operator=(const OverlayPanelController&) = delete;

    // Shared with the owner, which writes the level and the recording state directly.
    OverlayState& overlayState() const { return *m_overlayState; }
    const std::shared_ptr<OverlayState>& sharedOverlayState() const { return m_overlayState; }
    QSizeF overlaySize() const { return m_overlaySize; }
    QSizeF overlayPartialSize() const { return m_overlayPartialSize; }

    // Shows the overlay for `state`: clears any notice and partial transcript, writes the state,
    // accepts clicks only while recording, places the panel and fades it in.
    void show(RecordingState state, bool showHint, const std::string& hintText, float audioLevel);
    // The same `delay` from now, unless a show, hide, no-speech notice or cancelPendingShow() comes
    // first: a dictation that ended before its overlay appeared never has it appear afterwards.
    void showAfter(Duration delay, RecordingState state, bool showHint, std::string hintText, float audioLevel);
    void cancelPendingShow();
    bool hasPendingShow() const { return m_pendingShow.isActive(); }
    // Fades the overlay out when it is on screen; otherwise does nothing.
    void hide();
    // Shows "No speech detected" and fades it out again after 1.5 s.
    void showNoSpeech();

    // Run when the user presses the overlay's cancel button.
    void setCancelHandler(std::function<void()> handler) { m_cancelHandler = std::move(handler); }

    // Asked at each showing whether a compositing manager runs. Without one the window's transparent
    // corners would show black, so the window is cut to the overlay's rounded shape instead, and the
    // cut follows the shape as it grows into the card and back. Without a probe the window stays
    // translucent.
    void setCompositingProbe(std::function<bool()> probe) { m_compositingProbe = std::move(probe); }
    bool isShapedToTheLook() const { return m_shaped; }

    // A suppressed overlay keeps its state but never puts a window on screen: where every window of ours
    // would take the keyboard focus (a Wayland client without an X server), it would take it from the
    // window the text is meant for.
    void setSuppressed(bool suppressed) { m_suppressed = suppressed; }
    bool isSuppressed() const { return m_suppressed; }

    // Whether clicks pass through the panel to the windows below. No effect before the panel exists.
    void setIgnoresMouseEvents(bool ignore);
    bool ignoresMouseEvents() const { return m_ignoresMouseEvents; }

    bool hasPanel() const { return m_panel != nullptr; }
    QWidget* panel() const { return m_panel.get(); }
    RecordingOverlayView* view() const { return m_view; }
    // On screen, fading included.
    bool isPanelVisible() const;
    double panelOpacity() const;
    bool isFading() const { return m_fadeTimer.isActive(); }

    // Top-left corner of a panel `height` tall, centred on `visibleFrame` (the screen minus panels
    // and docks), its bottom edge 15 % of the frame's height above the frame's bottom edge. Without a
    // width the capsule's is used.
    static QPointF panelOrigin(const QRectF& visibleFrame, std::optional<double> width, double height);

private:
    void makePanel();
    void placeAndFadeIn();
    void place();
    void fade(double to, double duration, const AnimationCurve& curve, std::function<void()> done);
    void applyMouseTransparency();
    void applyShape();

    std::shared_ptr<OverlayState> m_overlayState;
    QSizeF m_overlaySize{236, 48};
    QSizeF m_overlayPartialSize{360, 132};
    std::function<void()> m_cancelHandler;
    bool m_ignoresMouseEvents = true;
    std::function<bool()> m_compositingProbe;
    bool m_shaped = false;
    bool m_suppressed = false;

    std::unique_ptr<QWidget> m_panel;
    RecordingOverlayView* m_view = nullptr;

    Timer m_hideWorkItem;
    Timer m_pendingShow;
    Timer m_fadeTimer;
};

}  // namespace vandrel
