#pragma once

#include <QLocale>
#include <QWidget>
#include <functional>
#include <optional>

#include "correction/LexiconCatalog.h"
#include "settings/SettingsText.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vandrel {

class LexiconDetails;

// A catalogue lexicon that is not installed: its description and "Get", or the install's progress while
// it is the one being installed.
class AvailableLexiconRow : public QWidget {
    Q_OBJECT
public:
    AvailableLexiconRow(const SettingsText& text, const QLocale& locale, LexiconDescriptor descriptor,
                        std::optional<double> installProgress, bool supportsUserLanguages, std::function<void()> onGet,
                        QWidget* parent);

    const LexiconDescriptor& descriptor() const { return m_descriptor; }
    void setInstallProgress(std::optional<double> progress);
    QPushButton* getButton() const { return m_get; }
    bool showsProgress() const;
    QString percentText() const;
    LexiconDetails* details() const { return m_details; }

private:
    LexiconDescriptor m_descriptor;
    LexiconDetails* m_details;
    QWidget* m_progressBlock;
    QProgressBar* m_bar;
    QLabel* m_percent;
    QWidget* m_getRow;
    QPushButton* m_get;
};

}  // namespace vandrel
