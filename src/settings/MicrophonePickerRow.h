#pragma once

#include <QString>
#include <QWidget>

#include "base/Signal.h"
#include "settings/SettingsText.h"

class QComboBox;
class QLabel;

namespace vandrel {

class AudioDeviceService;

// The input-device picker: follow the system default, or pin one of the listed microphones; warns while
// the pinned one is not connected. Device names are shown as the sound server reports them.
class MicrophonePickerRow : public QWidget {
    Q_OBJECT
public:
    MicrophonePickerRow(AudioDeviceService& devices, const SettingsText& text, QString followSystemTag,
                        QWidget* parent = nullptr);
    void refresh();

    QComboBox* picker() const { return m_picker; }
    bool showsMissingWarning() const;
    QString warningText() const;

private:
    AudioDeviceService& m_devices;
    const SettingsText& m_text;
    QString m_followSystemTag;
    QLabel* m_label;
    QComboBox* m_picker;
    QWidget* m_warning;
    QLabel* m_warningText = nullptr;
    Connection m_devicesConnection;
};

}  // namespace vandrel
