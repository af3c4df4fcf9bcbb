#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <functional>

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
public:
    static constexpr QSize capsuleSize{236, 48};
    static constexpr QSize cardSize{360, 132};
    static constexpr int cardCornerRadius = 18;
    static constexpr int indicatorWidth = 56;
    static constexpr int rowSpacing = 12;
    static constexpr int horizontalInset = 16;

    // `state` must outlive the view. `onCancel` runs when the cancel button is pressed.
    RecordingOverlayView(OverlayState& state, std::function<void()> onCancel, float voiceThreshold,
                         QWidget* parent = nullptr);
    ~RecordingOverlayView() override;

    OverlayState& state() const { return m_state; }
    float voiceThreshold() const { return m_voiceThreshold; }

    // The size of the current look: the capsule, or the card while expanded.
    QSize lookSize() const;
    // Called when the look's size changes, so the window hosting the view can follow.
    std::function<void()> onLookSizeChanged;

    // The parts, for the window and for inspection. Hidden parts are not drawn.
    AudioBarsView* audioBars() const { return m_bars; }
    PulsingDotsView* pulsingDots() const { return m_dots; }
    NoSpeechSymbolView* noSpeechSymbol() const { return m_symbol; }
    ElapsedTimeView* elapsedTime() const { return m_elapsed; }
    QAbstractButton* cancelButton() const;
    // The capsule's status text as drawn (empty when the elapsed time or nothing is shown), and the
    // card's header title.
    QString statusText() const { return m_statusText; }
    QString headerText() const { return m_headerText; }
    // The partial transcript lines shown in the card (at most four, the newest words kept).
    QStringList transcriptLines() const { return m_transcriptLines; }
    // The accessible description of the whole overlay.
    QString accessibleStatus() const;

    // Recomputes everything shown from the state.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutCompact();
    void layoutCard();
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
    QString m_drawnLook;  // what the last layout was made for

    std::optional<TimePoint> m_elapsedStartSource;
    QString m_statusText;
    bool m_statusIsPrimary = false;
    QRectF m_statusRect;
    QString m_headerText;
    QRectF m_headerRect;
    QStringList m_transcriptLines;
    QRectF m_transcriptRect;
};

}  // namespace vandrel
