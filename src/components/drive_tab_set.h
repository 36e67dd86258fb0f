// The drive tab strip: owner-drawn tabs, each with a 16 × 16 glyph before its text.
#pragma once

#include <QPixmap>
#include <QTabBar>
#include <functional>

namespace kordel {

class TDriveTabSet : public QTabBar {
    Q_OBJECT
public:
    explicit TDriveTabSet(QWidget* parent = nullptr);

    // The glyph of a tab (the strip image of its drive type).
    std::function<QPixmap(int index)> glyphOf;

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent* e) override;
};

}  // namespace kordel
