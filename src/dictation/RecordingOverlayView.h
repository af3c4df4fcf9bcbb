#pragma once

#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QRegion>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "base/Signal.h"
#include "dictation/OverlayState.h"

class QAbstractButton;

namespace vandrel {

class AudioBarsView;
class ElapsedTimeView;
class NoSpeechSymbolView;
class OverlayCancelButton;
class PulsingDotsView;

// What the floating overlay draws: a translucent capsule with a leading indicator (level bars,
// pulsing dots or the no-speech symbol), a status text and, while recording, a cancel button; with a
// partial transcript during a dictation, a larger card. Redraws from `state` on every change.
class RecordingOverlayView : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize capsuleSize{236, 48};
    static constexpr QSize cardSize{360, 132};
    static constexpr int cardCornerRadius = 18;
    static constexpr int indicatorWidth = 56;
    static constexpr int rowSpacing = 12;
    static constexpr int horizontalInset = 16;
    // Cross-fade of the content when the state (recording, transcribing, notice) or the partial
    // transcript changes; when the look switches between the capsule and the card, the surface also
    // grows or shrinks about its bottom centre and the indicator and cancel button slide to their new
    // places. Only while the view is on screen; a hidden view switches at once.
    static constexpr double stateFadeDuration = 0.2;
    static constexpr double lookFadeDuration = 0.25;
    static constexpr std::chrono::milliseconds fadeFrameInterval{17};

    // `state` must outlive the view. `onCancel` runs when the cancel button is pressed.
    RecordingOverlayView(OverlayState& state, std::function<void()> onCancel, float voiceThreshold,
                         QWidget* parent = nullptr);
    ~RecordingOverlayView() override;

    OverlayState& state() const { return m_state; }
    float voiceThreshold() const { return m_voiceThreshold; }

    // The size of the current look: the capsule, or the card while expanded. While the look changes
    // the view is on its way there: surfaceSize() is the exact size of the moment, size() the same
    // rounded to whole pixels (to an even width, so the centre stays on a pixel).
    QSize lookSize() const;
    QSizeF surfaceSize() const;
    double cornerRadius() const;
    // The surface's outline of the moment, in the view's pixels: what a window without translucency is
    // cut to.
    QRegion shapeRegion() const;
    // Called whenever the view's size changes, on every step of a change of look, so the window
    // hosting the view can follow.
    std::function<void()> onLookSizeChanged;

    // The parts, for the window and for inspection. Hidden parts are not drawn.
    AudioBarsView* audioBars() const { return m_bars; }
    PulsingDotsView* pulsingDots() const { return m_dots; }
    NoSpeechSymbolView* noSpeechSymbol() const { return m_symbol; }
    ElapsedTimeView* elapsedTime() const { return m_elapsed; }
    QAbstractButton* cancelButton() const;
    // The capsule's status text as drawn (empty when the elapsed time or nothing is shown), and the
    // card's header title.
    QString statusText() const { return m_statusDrawn; }
    QString headerText() const { return m_headerDrawn; }
    // The partial transcript lines shown in the card (at most four, the newest words kept).
    QStringList transcriptLines() const { return m_transcriptLines; }
    // The accessible description of the whole overlay.
    QString accessibleStatus() const;

    // Opacity of a part now: 1 shown, 0 gone, in between during a cross-fade. A part fading out
    // stays visible until its fade ends.
    double partOpacity(const QWidget* part) const;
    // The status text being drawn (statusText()) and the one it replaces, fading out.
    double statusOpacity() const;
    QString outgoingStatusText() const { return m_oldStatusDrawn; }
    double outgoingStatusOpacity() const;
    // The card's header.
    double cardTextOpacity() const;
    // The card's transcript lines being drawn (transcriptLines()) and the ones they replace, fading out.
    double transcriptOpacity() const;
    QStringList outgoingTranscriptLines() const { return m_oldTranscriptLines; }
    double outgoingTranscriptOpacity() const;
    bool isTransitioning() const { return m_transitionTimer.isActive(); }
    // Whether the cancel button belongs to the current look (a button fading out takes no clicks).
    bool offersCancel() const { return m_want[cancelPart]; }

    // Recomputes everything shown from the state.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    enum Part {
        symbolPart,
        barsPart,
        dotsPart,
        elapsedPart,
        cancelPart,
        statusPart,
        oldStatusPart,
        cardTextPart,
        lookPart,  // 0 the capsule, 1 the card
        transcriptPart,
        oldTranscriptPart,
        partCount
    };
    struct Fade {
        double from = 0;
        double to = 0;
    };
    static constexpr int widgetPartCount = cancelPart + 1;
    QWidget* partWidget(int part) const;
    double fadeValue(int part) const;
    void stepTransition();
    void finishTransition();
    void applyPartOpacities();

    using Places = std::array<std::optional<QPointF>, widgetPartCount>;
    // Each look's layout is made in the coordinates of its own full-size frame; the frame of the
    // moment is anchored on the view's bottom centre, as the hosting window is on the screen.
    void layoutCompact();
    void layoutCard();
    void keepLeavingPlaces(Places& places) const;
    QPointF lookOrigin(bool card) const;
    QRectF inView(const QRectF& rect, bool card) const;
    void applyLookSize();
    void placeParts();
    const QPixmap& surface();

    OverlayState& m_state;
    std::function<void()> m_onCancel;
    float m_voiceThreshold;
    Connection m_stateConnection;

    AudioBarsView* m_bars;
    PulsingDotsView* m_dots;
    NoSpeechSymbolView* m_symbol;
    ElapsedTimeView* m_elapsed;
    OverlayCancelButton* m_cancel;
    QPixmap m_surface;
    double m_surfaceRadius = 0;
    QString m_drawnLook;  // what the last layout was made for

    std::optional<TimePoint> m_elapsedStartSource;
    QString m_statusText;   // what the state asks for
    QString m_statusDrawn;  // the same, shortened to fit
    bool m_statusIsPrimary = false;
    QRectF m_statusRect;
    QString m_headerText;
    QString m_headerDrawn;
    QRectF m_headerRect;
    QStringList m_transcriptLines;
    QRectF m_transcriptRect;
    Places m_capsulePlaces{};
    Places m_cardPlaces{};

    // The parts the current look asks for, and each part's fade.
    std::array<bool, partCount> m_want{};
    std::array<Fade, partCount> m_fades{};
    bool m_drawnExpanded = false;
    std::optional<TimePoint> m_transitionStart;
    double m_transitionDuration = stateFadeDuration;
    Timer m_transitionTimer;
    QString m_oldStatusDrawn;
    QRectF m_oldStatusRect;
    bool m_oldStatusIsPrimary = false;
    QStringList m_oldTranscriptLines;
    QRectF m_oldTranscriptRect;
};

}  // namespace vandrel
