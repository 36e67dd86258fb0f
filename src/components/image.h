// A plain image control: shows a bitmap or a metafile drawing, at its natural
// size or stretched over the control.
#pragma once

#include <QImage>
#include <QPicture>
#include <QWidget>

namespace kordel {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    // A drawing recorded for the given natural size.
    void setDrawing(const QPicture& picture, QSize naturalSize);
    void clear();

    bool hasPicture() const { return !image_.isNull() || hasDrawing_; }
    bool isDrawing() const { return hasDrawing_; }
    const QImage& image() const { return image_; }
    const QPicture& drawing() const { return drawing_; }
    QSize naturalSize() const { return natural_; }

    // Stretched over the control, or drawn at its natural size from the top-left corner.
    void setStretch(bool on);
    bool stretch() const { return stretch_; }
    // The picture as it is drawn now (its size is the control's when stretched).
    QImage rendered() const;

protected:
    void paintEvent(QPaintEvent* e) override;
    // The control takes its own clicks: they do not reach the control below as well.
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void paintInto(QPainter& p, const QRect& target) const;

    QImage image_;
    QImage shown_;  // what is painted: image_ without a colour table
    QPicture drawing_;
    bool hasDrawing_ = false;
    QSize natural_;
    bool stretch_ = false;
};

}  // namespace kordel
