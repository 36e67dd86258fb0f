#include "catalogue_window.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>

#include "app_style.h"
#include "image.h"
#include "main.h"
#include "panel.h"
#include "profile_file.h"
#include "services.h"
#include "speed_button.h"
#include "status_bar.h"

namespace kordel {

namespace {
constexpr int kLabelHeight = 13;
// Window size of the design, used when there is no settings file.
constexpr QSize kDesignSize(460, 366);
}  // namespace

TForm2::TForm2(AppContext& context) : QMainWindow(nullptr), ctx_(context) {
    ctx_.form2 = this;
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Kordel [イメージ一覧]"));
    setFont(uiFont(12));
    createControls();
    FormCreate();
}

void TForm2::createControls() {
    GSize = menuBar()->addMenu(QStringLiteral("画像ｻｲｽﾞ(&S)"));
    GSize->setObjectName(QStringLiteral("GSize"));
    S2 = GSize->addAction(QStringLiteral("64 x 48"));
    S2->setObjectName(QStringLiteral("S2"));
    S3 = GSize->addAction(QStringLiteral("128 x 96"));
    S3->setObjectName(QStringLiteral("S3"));
    S2->setCheckable(true);
    S3->setCheckable(true);

    auto* client = new TPanel(this);
    client->setBevelOuter(TPanel::Bevel::None);
    setCentralWidget(client);

    Panel1 = new TPanel(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setBevelOuter(TPanel::Bevel::None);
    Panel1->resize(kDesignSize.width(), 33);
    appendAligned(Panel1, Align::Top);
    Bevel3 = new TBevel(Panel1);
    Bevel3->resize(kDesignSize.width(), 2);
    appendAligned(Bevel3, Align::Top);
    Bevel1 = new TBevel(Panel1);
    Bevel1->resize(kDesignSize.width(), 2);
    appendAligned(Bevel1, Align::Bottom);
    PrePage = new TSpeedButton(Panel1);
    PrePage->setObjectName(QStringLiteral("PrePage"));
    PrePage->setGeometry(40, 5, 25, 25);
    PrePage->setToolTip(QStringLiteral("前の一覧"));
    PrePage->setEnabled(false);
    NextPage = new TSpeedButton(Panel1);
    NextPage->setObjectName(QStringLiteral("NextPage"));
    NextPage->setGeometry(65, 5, 25, 25);
    NextPage->setToolTip(QStringLiteral("次の一覧"));

    Panel3 = new TPanel(client);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setBevelOuter(TPanel::Bevel::None);
    Panel3->resize(kDesignSize.width(), 19);
    appendAligned(Panel3, Align::Bottom);
    Panel5 = new TPanel(Panel3);
    Panel5->setBevelOuter(TPanel::Bevel::None);
    Panel5->resize(16, 19);
    appendAligned(Panel5, Align::Right);
    SBar = new TStatusBar(Panel5);
    SBar->setObjectName(QStringLiteral("SBar"));
    SBar->setPanelWidths({50});
    SBar->setSizeGrip(true);
    appendAligned(SBar, Align::Client);
    Panel4 = new TPanel(Panel3);
    Panel4->setBevelOuter(TPanel::Bevel::None);
    appendAligned(Panel4, Align::Client);
    PBar = new QProgressBar(Panel4);
    PBar->setObjectName(QStringLiteral("PBar"));
    PBar->setRange(0, 100);
    PBar->setTextVisible(false);
    appendAligned(PBar, Align::Client);

    Bevel2 = new TBevel(client);
    Bevel2->resize(kDesignSize.width(), 5);
    appendAligned(Bevel2, Align::Bottom);

    Panel2 = new TPanel(client);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setBevelOuter(TPanel::Bevel::None);
    appendAligned(Panel2, Align::Client);
}

void TForm2::FormCreate() {
    shown = 0;
    ctx_.form1->catalogueActive = 0;
    filling = 0;
    dragSource = 0;

    // The cells: 100 panels, then 100 images, then 100 labels.
    QWidget* client = centralWidget();
    for (int m = 0; m < kCells; ++m) {
        auto* p = new TPanel(client);
        p->setObjectName(QStringLiteral("ArPanel%1").arg(m));
        p->hide();
        ArPanel.append(p);
    }
    ctx_.splashStep(4);
    for (int m = 0; m < kCells; ++m) {
        auto* i = new QLabel(ArPanel[m]);
        i->setObjectName(QStringLiteral("ArImage%1").arg(m));
        i->setScaledContents(true);
        ArImage.append(i);
    }
    ctx_.splashStep(5);
    for (int m = 0; m < kCells; ++m) {
        auto* l = new QLabel(Panel2);
        l->setObjectName(QStringLiteral("ArLabel%1").arg(m));
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l->hide();
        ArLabel.append(l);
    }
    ctx_.splashStep(6);

    TForm1* f = ctx_.form1;
    NextPage->setIcon(f->G_step->icon());
    NextPage->setIconSize(f->G_step->iconSize());
    PrePage->setIcon(f->G_back->icon());
    PrePage->setIconSize(f->G_back->iconSize());

    const ProfileFile file(f->settingsPath);
    if (file.existed()) {
        const CatalogueSettings s = readCatalogueSettings(file);
        move(s.left, s.top);
        resize(s.width, s.height);
        savedWidth = width();
        savedHeight = height();
        cellWidth = s.picX;
        cellHeight = s.picY;
    } else {
        resize(kDesignSize);
        const QSize screen = ctx_.services->screen->size();
        move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
        cellWidth = 128;
        cellHeight = 96;
    }
    layoutCells();
    S2->setChecked(cellWidth == 64);
    S3->setChecked(cellWidth == 128);
    setStaysOnTop(f->ActOpt != 0);
}

void TForm2::layoutCells() {
    QFont labelFont = uiFont(12);
    if (cellWidth == 64) {
        labelFont.setPointSize(7);
    } else {
        labelFont.setPointSize(9);
        labelFont.setBold(true);
    }
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            const int m = 10 * r + c;
            TPanel* p = ArPanel[m];
            p->setCaption(QStringLiteral(" "));
            p->setBevelWidth(2);
            p->setGeometry(c * cellWidth, Panel2->y() + r * (cellHeight + kLabelHeight), cellWidth,
                           cellHeight);
            QLabel* l = ArLabel[m];
            l->setGeometry(c * cellWidth, cellHeight + r * (cellHeight + kLabelHeight), cellWidth,
                           kLabelHeight);
            l->setFont(labelFont);
            l->clear();
            ArImage[m]->move(2, 2);
        }
    }
}

void TForm2::blankAllCells() {
    const QColor face = palette().color(QPalette::Button);
    for (int m = 0; m < kCells; ++m) {
        ArImage[m]->clear();
        for (QWidget* w : {static_cast<QWidget*>(ArPanel[m]), static_cast<QWidget*>(ArLabel[m])}) {
            QPalette pal = w->palette();
            pal.setColor(QPalette::Window, face);
            pal.setColor(QPalette::WindowText, Qt::black);
            w->setPalette(pal);
        }
        ArLabel[m]->clear();
        ArPanel[m]->hide();
    }
    PrePage->setEnabled(false);
    NextPage->setEnabled(false);
}

void TForm2::markCellDeleted(const QString& name) {
    int m = -1;
    for (int i = 0; i < kCells; ++i)
        if (ArLabel[i]->text() == name)
            m = i;
    if (m < 0)
        return;
    const QSize size = cellWidth == 128 ? QSize(124, 92) : QSize(60, 44);
    ArImage[m]->setGeometry(QRect(QPoint(2, 2), size));
    ArImage[m]->setPixmap(QPixmap::fromImage(ctx_.form1->del_image->image()));
    ArLabel[m]->clear();
    const QColor face = palette().color(QPalette::Button);
    for (QWidget* w : {static_cast<QWidget*>(ArPanel[m]), static_cast<QWidget*>(ArLabel[m])}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, face);
        pal.setColor(QPalette::WindowText, Qt::black);
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    }
    ArPanel[m]->setContextMenuPolicy(Qt::NoContextMenu);
}

void TForm2::setStaysOnTop(bool on) {
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on)
        return;
    const QRect frame = geometry();
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    setGeometry(frame);
    if (visible)
        show();
}

void TForm2::resetAllCells() {
    blankAllCells();
}

void TForm2::FillPage() {}

void TForm2::startLoader() {}

void TForm2::requestLoaderStop() {
    stopFill = 1;
}

CatalogueSettings TForm2::currentSettings() const {
    CatalogueSettings s;
    s.top = y();
    s.left = x();
    s.width = width();
    s.height = height();
    s.picX = cellWidth;
    s.picY = cellHeight;
    return s;
}

}  // namespace kordel
