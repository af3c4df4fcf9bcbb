#pragma once

#include <QProxyStyle>

namespace vandrel::KeyboardShortcuts {

class RecorderCocoa;

// The desktop's own style for one shortcut recorder, except that the field shows no caret while it
// records: nothing is typed there, and a caret blinking through the prompt invites typing. Owned by its
// recorder (the field asks for the caret's width without saying which widget asks).
class RecorderStyle : public QProxyStyle {
    Q_OBJECT

public:
    explicit RecorderStyle(RecorderCocoa* recorder);
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;

private:
    const RecorderCocoa* m_recorder;
};

}  // namespace vandrel::KeyboardShortcuts
