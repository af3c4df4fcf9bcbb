#pragma once

#include <QWidget>

namespace vandrel {

// A struck-through waveform: the sign that the recording held no speech.
class NoSpeechSymbolView : public QWidget {
    Q_OBJECT

public:
    explicit NoSpeechSymbolView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vandrel
