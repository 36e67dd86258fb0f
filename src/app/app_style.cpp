#include "app_style.h"

#include <QFont>

namespace kordel {

namespace {
int gHintPause = 500;
}

AppStyle::AppStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

int AppStyle::styleHint(StyleHint hint,
                        const QStyleOption* option,
                        const QWidget* widget,
                        QStyleHintReturn* returnData) const {
    if (hint == SH_ToolTip_WakeUpDelay)
        return gHintPause;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

int AppStyle::hintPause() {
    return gHintPause;
}

void AppStyle::setHintPause(int ms) {
    gHintPause = ms;
}

QFont uiFont(int pixelSize) {
    QFont f;
    f.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                   QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    f.setPixelSize(pixelSize);
    return f;
}

QFont serifFont(int pixelSize) {
    QFont f;
    f.setFamilies({QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("MS PMincho"),
                   QStringLiteral("IPAPMincho"), QStringLiteral("IPAMincho")});
    f.setPixelSize(pixelSize);
    return f;
}

}  // namespace kordel
