// A status bar of fixed-width text panels, like the classic tool kit's.
#pragma once

#include <QStringList>
#include <QWidget>

namespace kordel {

class TStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);

    // Adds panels of these widths, left to right.
    void setPanelWidths(const QList<int>& widths);
    int panelCount() const { return int(widths_.size()); }
    int panelWidth(int index) const { return widths_.value(index); }
    QString panelText(int index) const { return texts_.value(index); }
    // Sets the text of one panel and repaints it at once.
    void setPanelText(int index, const QString& text);
    void setSizeGrip(bool on);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QList<int> widths_;
    QStringList texts_;
    bool sizeGrip_ = false;
};

}  // namespace kordel
