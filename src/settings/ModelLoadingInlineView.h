#pragma once

#include <QWidget>

#include "base/MainLoop.h"

class QLabel;
class QProgressBar;

namespace vandrel {

// The spinner with "Downloading model… NN%" and a bar during a download, or "Loading model…" otherwise.
// It only draws the fraction it is given.
class ModelLoadingInlineView : public QWidget {
    Q_OBJECT
public:
    explicit ModelLoadingInlineView(QWidget* parent = nullptr);
    void setProgress(double progress);
    QString statusText() const;
    bool showsBar() const;

    // The status line for a fraction: downloading only strictly between 0 and 1, percentage truncated.
    static QString statusFor(double progress);

private:
    QWidget* m_spinner;
    QLabel* m_status;
    QProgressBar* m_bar;
};

}  // namespace vandrel
