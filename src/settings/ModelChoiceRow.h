#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QToolButton;

namespace vandrel {

class ModelLoadingInlineView;

// One speech-model row of the performance section and the developer page: a radio mark, the model's
// name with its hints, a detail line (or the loading view while it loads) and, when offered, a remove
// button. The whole row is one button; its remove button inside reacts on its own.
class ModelChoiceRow : public QWidget {
    Q_OBJECT
public:
    explicit ModelChoiceRow(QWidget* parent = nullptr);

    std::function<void()> onChoose;
    std::function<void()> onRemove;

    void setSelected(bool selected, bool accentMark);
    void setRowDisabled(bool disabled);
    void setTitle(const QString& title);
    void setDownloadHint(bool shown, const QString& tooltip);
    void setNote(const QString& note);  // empty: none
    void setDetail(const QString& detail, double points);
    // Present: the loading view with this download fraction instead of the detail line.
    void setLoading(std::optional<double> progress);
    void setRemovable(bool removable, const QString& tooltip);

    bool isSelected() const { return m_selected; }
    bool isRowDisabled() const { return m_disabled; }
    QString title() const;
    bool showsDownloadHint() const;
    QString note() const;
    QString detail() const;
    bool titleIsTertiary() const { return m_disabled; }
    ModelLoadingInlineView* loadingView() const { return m_loading; }
    bool showsLoading() const;
    QToolButton* removeButton() const { return m_remove; }
    bool showsRemoveButton() const;

    // What a click on the row does (also the keyboard's Space).
    void click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updatePalette();

    bool m_selected = false;
    bool m_disabled = false;
    bool m_pressed = false;
    QLabel* m_mark;
    QLabel* m_title;
    QLabel* m_downloadHint;
    QLabel* m_note;
    QLabel* m_detail;
    ModelLoadingInlineView* m_loading;
    QToolButton* m_remove;
};

}  // namespace vandrel
