#include "splash.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include "app_style.h"
#include "gauges.h"
#include "panel.h"
#include "services.h"

namespace kordel {

TSplashWindow::TSplashWindow(AppContext& context)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ctx_(context) {
    ctx_.splash = this;
    setObjectName(QStringLiteral("SplashWindow"));
    setWindowTitle(QStringLiteral("\u3000"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(338, 91);

    auto* panel = new TPanel(this);
    panel->setBevelOuter(TPanel::Bevel::Raised);
    panel->setBevelWidth(3);
    panel->setGeometry(0, 0, 338, 91);
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
    panel->setAutoFillBackground(false);

    auto* box = new TPanel(this);
    box->setBevelOuter(TPanel::Bevel::Lowered);
    box->setBevelInner(TPanel::Bevel::Lowered);
    box->setGeometry((338 - 289) / 2, 91 - 17 - 14, 289, 17);
    PB = new TGauge(box);
    PB->setObjectName(QStringLiteral("PB"));
    PB->setGeometry(2, 2, 285, 13);
    PB->setForeColor(Qt::blue);
    PB->setMaxValue(10);
    PB->setProgress(0);

    const QSize screen = ctx_.services->screen->size();
    move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
            &TSplashWindow::onFocusWindowChanged);
}

TSplashWindow::~TSplashWindow() {
    if (ctx_.splash == this)
        ctx_.splash = nullptr;
}

void TSplashWindow::setProgress(int progress) {
    PB->setProgress(progress);
    repaint();
    PB->repaint();
}

void TSplashWindow::FormDeactivate() {
    if (released_)
        return;
    released_ = true;
    setProgress(10);
    // Later start-up steps must not reach a window that is going away.
    ctx_.splash = nullptr;
    close();  // deleted once pending events are handled
}

bool TSplashWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowDeactivate)
        FormDeactivate();
    return QWidget::event(e);
}

void TSplashWindow::onFocusWindowChanged(QWindow* window) {
    // Another of the program's windows became active.
    if (window && window != windowHandle())
        FormDeactivate();
}

namespace {

bool hasBoldFace(const QFont& font) {
    const QString family = QFontInfo(font).family();
    for (const QString& style : QFontDatabase::styles(family))
        if (QFontDatabase::weight(family, style) >= QFont::Bold)
            return true;
    return false;
}

}  // namespace

void TSplashWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    // A framed line inside the raised border.
    const QRect frame = rect().adjusted(6, 6, -7, -7);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(frame);
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(frame.translated(1, 1));

    // "Kordel": the capital large and red, then the letters in turn green and
    // blue for further capitals; the other letters black.
    const QString name = QStringLiteral("Kordel");
    const QColor capitals[] = {Qt::red, QColor(0, 128, 0), Qt::blue};
    QFont capitalFont = serifFont(35);
    capitalFont.setBold(true);
    QFont letterFont = serifFont(32);
    letterFont.setBold(true);
    int width = 0;
    for (const QChar c : name)
        width += QFontMetrics(c.isUpper() ? capitalFont : letterFont).horizontalAdvance(c);
    int x = (this->width() - width) / 2;
    const int baseline = 50;
    int capital = 0;
    p.setRenderHint(QPainter::Antialiasing);
    for (const QChar c : name) {
        const bool upper = c.isUpper();
        const QFont& font = upper ? capitalFont : letterFont;
        const QColor colour = upper ? capitals[capital++ % 3] : QColor(Qt::black);
        QPainterPath glyph;
        glyph.addText(x, baseline, font, QString(c));
        p.fillPath(glyph, colour);
        // The Japanese serif fonts here come in one weight only: thicken the
        // outline where no bold face exists, so the name is bold as intended.
        if (!hasBoldFace(font))
            p.strokePath(glyph, QPen(colour, font.pixelSize() / 24.0));
        x += QFontMetrics(font).horizontalAdvance(c);
    }
}

}  // namespace kordel
