#include "settings/ModelLoadingInlineView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>
#include <cmath>

#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {

bool downloading(double p) { return p > 0.0 && p < 1.0; }

// A small indeterminate spinner turned by the main loop's timer while it is shown.
class Spinner : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(QWidget* parent) : QWidget(parent) { setFixedSize(12, 12); }

protected:
    void showEvent(QShowEvent*) override {
        m_timer = MainLoop::current().repeating(std::chrono::milliseconds(80), [this] {
            m_step = (m_step + 1) % 8;
            update();
        });
    }
    void hideEvent(QHideEvent*) override { m_timer.cancel(); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(width() / 2.0, height() / 2.0);
        for (int i = 0; i < 8; ++i) {
            const double opacity = 0.25 + 0.75 * ((i + 8 - m_step) % 8) / 7.0;
            p.setPen(QPen(secondaryColor(palette(), opacity), 1.4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(0, -2.5), QPointF(0, -5));
            p.rotate(45);
        }
    }

private:
    Timer m_timer;
    int m_step = 0;
};

}  // namespace

ModelLoadingInlineView::ModelLoadingInlineView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    m_spinner = new Spinner(this);
    row->addWidget(m_spinner);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setFont(monoFont(11));
    QPalette pal = m_status->palette();
    pal.setColor(QPalette::WindowText, secondaryColor(pal));
    m_status->setPalette(pal);
    row->addWidget(m_status);
    row->addStretch(1);
    layout->addLayout(row);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_bar->setMaximumWidth(240);
    m_bar->setMaximumHeight(6);
    layout->addWidget(m_bar);
    setProgress(0);
}

QString ModelLoadingInlineView::statusFor(double progress) {
    if (!downloading(progress)) return QStringLiteral("Loading model\u2026");
    return QStringLiteral("Downloading model\u2026 %1%").arg(static_cast<int>(std::trunc(progress * 100)));
}

void ModelLoadingInlineView::setProgress(double progress) {
    m_status->setText(statusFor(progress));
    m_bar->setVisible(downloading(progress));
    if (downloading(progress)) m_bar->setValue(static_cast<int>(progress * 1000));
}

QString ModelLoadingInlineView::statusText() const { return m_status->text(); }
bool ModelLoadingInlineView::showsBar() const { return !m_bar->isHidden(); }

}  // namespace vandrel

#include "ModelLoadingInlineView.moc"
