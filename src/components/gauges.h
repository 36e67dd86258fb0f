// TGauge: a progress control drawn as text, a bar, a pie or a needle, with the
// percentage written over it in inverted colours.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <stdexcept>

namespace kordel {

// A value outside the range a property accepts. The message is the program's
// own Japanese text.
class RangeError : public std::runtime_error {
public:
    explicit RangeError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

class TGauge : public QWidget {
    Q_OBJECT

public:
    enum BorderStyle { bsNone, bsSingle };

    // A new gauge is 100 x 100 pixels, 0..100 at 0, a horizontal bar with a
    // single border, black on white, with text.
    explicit TGauge(QWidget* parent = nullptr);

    // MinValue: raising it above MaxValue throws RangeError and changes nothing;
    // otherwise Progress is raised to it when lower.
    int minValue() const { return minValue_; }
    void setMinValue(int value);
    // MaxValue: lowering it below MinValue throws RangeError and changes
    // nothing; otherwise Progress is lowered to it when higher.
    int maxValue() const { return maxValue_; }
    void setMaxValue(int value);
    // Progress: clamped to MinValue..MaxValue. Repaints only when the shown
    // percentage changes, so fine-grained steps cost nothing.
    int progress() const { return progress_; }
    void setProgress(int value);

    TGaugeKind kind() const { return kind_; }
    void setKind(TGaugeKind kind);
    bool showText() const { return showText_; }
    void setShowText(bool show);
    BorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(BorderStyle style);
    QColor foreColor() const { return foreColor_; }
    void setForeColor(const QColor& color);
    QColor backColor() const { return backColor_; }
    void setBackColor(const QColor& color);
    // The control's own Color (around the pie and the needle) is the palette's
    // window colour.

    // Whole percent of the way from MinValue to MaxValue; 0 for an empty range.
    int percentDone() const;
    // The text written over the gauge, such as "42%".
    QString text() const;

    // The picture the gauge paints, at its current size (RGB32).
    QImage renderToImage() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int minValue_ = 0;
    int maxValue_ = 100;
    int progress_ = 0;
    TGaugeKind kind_ = gkHorizontalBar;
    bool showText_ = true;
    BorderStyle borderStyle_ = bsSingle;
    QColor foreColor_ = Qt::black;
    QColor backColor_ = Qt::white;
};

}  // namespace kordel
