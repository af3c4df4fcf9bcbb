#pragma once

#include <QAbstractButton>

namespace vandrel {

// The overlay's small round cancel button: a cross over a faint circle, clickable only inside the
// circle. It never takes the keyboard focus, so the application being dictated into keeps it.
class OverlayCancelButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int diameter = 22;

    explicit OverlayCancelButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

}  // namespace vandrel
