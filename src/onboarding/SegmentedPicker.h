#pragma once

#include <QWidget>

class QButtonGroup;
class QHBoxLayout;
class QPushButton;

namespace vandrel {

// A row of mutually exclusive segments on one rounded track; the chosen segment is filled with
// brandIndigo and its label drawn in white.
class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedPicker(QWidget* parent = nullptr);

    // A new segment at the end, checkable; exactly one of them is checked once the caller checks one.
    QPushButton* addSegment(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QHBoxLayout* m_row;
    QButtonGroup* m_group;
};

}  // namespace vandrel
