#include "version.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app_style.h"
#include "main.h"
#include "panel.h"
#include "services.h"

namespace kordel {

TAboutBox::TAboutBox(AppContext& context) : QDialog(context.form1), ctx_(context) {
    ctx_.aboutBox = this;
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setFont(uiFont(12));
    setFixedSize(277, 280);
    setModal(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(11, 11, 33, 33);
    Image1->setAlignment(Qt::AlignCenter);

    Product = new QLabel(QStringLiteral("Kordel"), this);
    Product->setObjectName(QStringLiteral("Product"));
    QFont productFont = uiFont(24);
    productFont.setBold(true);
    Product->setFont(productFont);
    Product->setGeometry(56, 8, 200, 30);

    Version = new QLabel(QStringLiteral("ver1.10"), this);
    Version->setObjectName(QStringLiteral("Version"));
    QFont versionFont = uiFont(15);
    versionFont.setBold(true);
    Version->setFont(versionFont);
    Version->setGeometry(56, 40, 200, 20);

    auto* line = new QLabel(QStringLiteral("フォルダと書庫の画像を見るビューア"), this);
    line->setGeometry(11, 70, 255, 18);

    auto* credits = new TPanel(this);
    credits->setObjectName(QStringLiteral("Credits"));
    credits->setBevelOuter(TPanel::Bevel::Lowered);
    credits->setBevelWidth(2);
    credits->setGeometry(11, 96, 255, 134);
    QFont bold = uiFont(12);
    bold.setBold(true);
    const struct {
        const char* heading;
        const char* credit;
    } entries[] = {
        {"プログラム", "Kordel 開発チーム"},
        {"画像の読み込み", "libjpeg-turbo, giflib, libtiff"},
        {"書庫の展開", "liblhasa"},
    };
    int y = 8;
    for (const auto& e : entries) {
        auto* h = new QLabel(QString::fromUtf8(e.heading), credits);
        h->setFont(bold);
        h->setGeometry(10, y, 235, 16);
        auto* c = new QLabel(QString::fromUtf8(e.credit), credits);
        c->setGeometry(22, y + 18, 225, 16);
        y += 42;
    }

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->setGeometry((277 - 64) / 2, 280 - 33 - 10, 64, 33);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

void TAboutBox::FormCreate() {
    const QSize screen = ctx_.services->screen->size();
    move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
    Image1->setPixmap(QIcon(QStringLiteral(":/images/kordel_32.png")).pixmap(32, 32));
}

void TAboutBox::showEvent(QShowEvent* e) {
    FormCreate();
    QDialog::showEvent(e);
    OKButton->setFocus();
}

}  // namespace kordel
