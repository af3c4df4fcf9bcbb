#include "settings/MicrophonePickerRow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "settings/FormSection.h"
#include "speech/AudioDeviceService.h"
#include "ui/Colors.h"
#include "ui/WarningLine.h"

namespace vandrel {

MicrophonePickerRow::MicrophonePickerRow(AudioDeviceService& devices, const SettingsText& text, QString followSystemTag,
                                         QWidget* parent)
    : QWidget(parent), m_devices(devices), m_text(text), m_followSystemTag(std::move(followSystemTag)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* row = FormSection::makeComboRow(m_label, m_picker, this);
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    layout->addLayout(row);
    m_warning = makeWarningLine(m_warningText, 11, this);
    QPalette pal = m_warningText->palette();
    pal.setColor(QPalette::WindowText, secondaryColor(pal));
    m_warningText->setPalette(pal);
    layout->addWidget(m_warning);

    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        const QString uid = m_picker->itemData(index).toString();
        if (uid == m_followSystemTag || uid.isEmpty())
            m_devices.setPreferredDevice(std::nullopt);
        else
            m_devices.setPreferredDevice(uid.toStdString());
        // A refused pin changes nothing: show the service's choice again.
        refresh();
    });
    m_devicesConnection = m_devices.changed.connect([this] { refresh(); });
    refresh();
}

void MicrophonePickerRow::refresh() {
    m_label->setText(m_text.localized("Input device"));
    m_picker->clear();
    m_picker->addItem(m_text.localized("Follow System Default"), m_followSystemTag);
    const auto& devices = m_devices.inputDevices();
    if (!devices.empty()) m_picker->insertSeparator(m_picker->count());
    for (const auto& d : devices) m_picker->addItem(QString::fromStdString(d.name), QString::fromStdString(d.uid));
    const QString pinned = QString::fromStdString(m_devices.preferredUID());
    // A pinned device that is not connected matches no entry: nothing is shown as chosen.
    m_picker->setCurrentIndex(m_picker->findData(pinned.isEmpty() ? m_followSystemTag : pinned));
    m_warningText->setText(m_text.localized(
        "Pinned device is not connected. Vandrel is following the system default until it reconnects."));
    m_warning->setVisible(m_devices.isPreferredDeviceMissing());
}

bool MicrophonePickerRow::showsMissingWarning() const { return !m_warning->isHidden(); }
QString MicrophonePickerRow::warningText() const { return m_warningText->text(); }

}  // namespace vandrel
