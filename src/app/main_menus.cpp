// The main window's menu bar and its two pop-up menus.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>

#include "list_view.h"
#include "main.h"

namespace kordel {

void TForm1::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto action = [](QMenu* menu, const char* name, const char* caption,
                     QKeySequence shortcut = {}) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        return a;
    };
    auto submenu = [](QMenu* parent, const char* name, const char* caption) {
        QMenu* m = parent->addMenu(QString::fromUtf8(caption));
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    auto topMenu = [bar](const char* name, const char* caption, QKeySequence shortcut = {}) {
        QMenu* m = bar->addMenu(QString::fromUtf8(caption));
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty())
            m->menuAction()->setShortcut(shortcut);
        return m;
    };
    auto checked = [](QAction* a) {
        a->setCheckable(true);
        a->setChecked(true);
        return a;
    };

    // The wallpaper submenu, the same in the File menu (items K_…) and in the
    // viewer's pop-up menu (items P_…).
    auto wallpaperMenu = [&](QMenu* parent, const char* name, char prefix, QAction*& asIs,
                             QAction*& kordelBmp, QAction*& named, QAction*& tile) {
        QMenu* m = submenu(parent, name, "壁紙にする");
        const auto item = [&](const char* rest, const char* caption) {
            return action(m, (QByteArray(1, prefix) + rest).constData(), caption);
        };
        asIs = item("_NOMAL", "そのまま壁紙にする(BMP時のみ)");
        kordelBmp = item("_KORDEL", "KORDEL.BMPの名前で壁紙にする");
        named = item("_NAME", "名前を付けて保存後に壁紙にする");
        tile = checked(item("_TILE", "タイルで表示"));
        return m;
    };

    File1 = topMenu("File1", "ﾌｧｲﾙ(&F)", QKeySequence(Qt::CTRL | Qt::Key_F));
    SaveAs = action(File1, "SaveAs", "名前をつけて保存(&A)...");
    File1->addSeparator();
    Kabegami = wallpaperMenu(File1, "Kabegami", 'K', K_NOMAL, K_KORDEL, K_NAME, K_TILE);
    File1->addSeparator();
    Exit1 = action(File1, "Exit1", "終了(&X)");
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);

    Edit = topMenu("Edit", "編集(&E)");
    K4 = action(Edit, "K4", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰ(&C)", QKeySequence(Qt::CTRL | Qt::Key_C));
    KV1 = action(Edit, "KV1", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞから貼付(&V)", QKeySequence(Qt::CTRL | Qt::Key_V));
    Edit->addSeparator();
    KD2 = action(Edit, "KD2", "画像ファイルコピー(&F)...");
    KD1 = action(Edit, "KD1", "画像ファイル削除(&D)...");
    KD3 = action(Edit, "KD3", "画像ファイル移動(&M)...");

    Show1 = topMenu("Show1", "表示(&V)");
    KT1 = action(Show1, "KT1", "先頭の画像表示(&T)");
    KB1 = action(Show1, "KB1", "前の画像表示(&B)");
    KS1 = action(Show1, "KS1", "次の画像表示(&S)");
    KE1 = action(Show1, "KE1", "最後の画像表示(&E)");
    Show1->addSeparator();
    K_canvas = submenu(Show1, "K_canvas", "キャンバスサイズ指定");
    N320x2401 = action(K_canvas, "N320x2401", " 320 x 240");
    N640x4001 = action(K_canvas, "N640x4001", " 640 x 400");
    N640x4801 = action(K_canvas, "N640x4801", " 640 x 480");
    N640x8001 = action(K_canvas, "N640x8001", " 640 x 800");
    N800x6001 = action(K_canvas, "N800x6001", " 800 x 600");
    N1024x7681 = action(K_canvas, "N1024x7681", "1024 x 768");

    O1 = topMenu("O1", "設定(&O)", QKeySequence(Qt::CTRL | Qt::Key_O));
    K1 = action(O1, "K1", "設定(&V)...");
    connect(K1, &QAction::triggered, this, &TForm1::K1Click);
    O1->addSeparator();
    N9 = checked(action(O1, "N9", "ツールバー"));
    N7 = checked(action(O1, "N7", "ドライブタブ"));
    N8 = checked(action(O1, "N8", "ツリービュー"));
    NA = checked(action(O1, "NA", "リストビュー"));
    // The handlers look at the checkmark as it stood before the click and set it themselves.
    const std::pair<QAction*, void (TForm1::*)()> toggles[] = {{N9, &TForm1::N9Click},
                                                               {N7, &TForm1::N7Click},
                                                               {N8, &TForm1::N8Click},
                                                               {NA, &TForm1::NAClick}};
    for (const auto& [a, handler] : toggles) {
        connect(a, &QAction::triggered, this, [this, a = a, handler = handler] {
            a->setChecked(!a->isChecked());
            (this->*handler)();
        });
    }

    Help1 = topMenu("Help1", "ﾍﾙﾌﾟ(&H)");
    Contents1 = action(Help1, "Contents1", "目次(&C)");
    Help1->addSeparator();
    About1 = action(Help1, "About1", "ﾊﾞｰｼﾞｮﾝ情報(&A)...");
    connect(Contents1, &QAction::triggered, this, &TForm1::Contents1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    SaveAs2 = action(PopupMenu, "SaveAs2", "名前を付けて保存");
    PopupMenu->addSeparator();
    Kabegami2 = wallpaperMenu(PopupMenu, "Kabegami2", 'P', P_NOMAL, P_KORDEL, P_NAME, P_TILE);
    PopupMenu->addSeparator();
    Copy1 = action(PopupMenu, "Copy1", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰ");
    K7 = action(PopupMenu, "K7", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞから貼付");
    PopupMenu->addSeparator();
    G2 = action(PopupMenu, "G2", "画像ファイルコピー");
    G1 = action(PopupMenu, "G1", "画像ファイル削除");
    G3 = action(PopupMenu, "G3", "画像ファイル移動");
    connect(ScrollBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu->popup(ScrollBox->mapToGlobal(p)); });

    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    K3 = action(PopupMenu3, "K3", "詳細表示");
    PopupMenu3->addSeparator();
    K2 = action(PopupMenu3, "K2", "画像ファイルコピー");
    K5 = action(PopupMenu3, "K5", "画像ファイル削除");
    K6 = action(PopupMenu3, "K6", "画像ファイル移動");
    connect(ListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu3->popup(ListView->mapToGlobal(p)); });
}

}  // namespace kordel
