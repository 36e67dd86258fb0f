// Application-wide look: the tool kit's style with the hint delay the program sets.
#pragma once

#include <QProxyStyle>

namespace kordel {

class AppStyle : public QProxyStyle {
public:
    AppStyle();
    int styleHint(StyleHint hint,
                  const QStyleOption* option,
                  const QWidget* widget,
                  QStyleHintReturn* returnData) const override;

    // Delay before a tool-bar hint appears, in milliseconds (500 unless the program sets it).
    static int hintPause();
    static void setHintPause(int ms);
};

// The program's user-interface font: "ＭＳ Ｐゴシック", with IPAPGothic standing in.
QFont uiFont(int pixelSize = 12);
// The splash's serif font: "ＭＳ Ｐ明朝", with IPAPMincho standing in.
QFont serifFont(int pixelSize);

}  // namespace kordel
