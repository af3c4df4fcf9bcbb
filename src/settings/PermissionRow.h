#pragma once

#include <QWidget>

class QLabel;

namespace vandrel {

// One grant on the Permissions page: its title and description, and on the right a green check mark
// when granted, or what is missing and how to fix it. All texts are given already localised.
class PermissionRow : public QWidget {
    Q_OBJECT
public:
    PermissionRow(const QString& title, const QString& description, QWidget* parent = nullptr);
    // `remedy` is shown while the grant is missing.
    void setState(bool granted, const QString& remedy);
    void setTexts(const QString& title, const QString& description);

    bool isGranted() const { return m_granted; }
    QString title() const;
    QString remedy() const;
    // The check mark is shown (granted) or the remedy is (missing).
    bool showsCheckMark() const;

private:
    bool m_granted = false;
    QLabel* m_title;
    QLabel* m_description;
    QLabel* m_checkMark;
    QLabel* m_remedy;
};

}  // namespace vandrel
