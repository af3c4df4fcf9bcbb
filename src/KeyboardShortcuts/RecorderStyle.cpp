#include "KeyboardShortcuts/RecorderStyle.h"

#include "KeyboardShortcuts/RecorderCocoa.h"

namespace vandrel::KeyboardShortcuts {

RecorderStyle::RecorderStyle(RecorderCocoa* recorder) : m_recorder(recorder) { setParent(recorder); }

int RecorderStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    if (metric == PM_TextCursorWidth && m_recorder->isRecording()) return 0;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

}  // namespace vandrel::KeyboardShortcuts
