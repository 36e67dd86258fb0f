#include "option_set.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>

#include "app_style.h"
#include "catalogue_window.h"
#include "main.h"
#include "panel.h"

namespace kordel {

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setObjectName(QStringLiteral("UpDownUp"));
    down_->setObjectName(QStringLiteral("UpDownDown"));
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
}

void TUpDown::setRange(int min, int max) {
    min_ = min;
    max_ = max;
    setPosition(position_);
}

void TUpDown::setPosition(int p) {
    position_ = qBound(min_, p, max_);
}

void TUpDown::step(int delta) {
    const int next = qBound(min_, position_ + delta, max_);
    if (next == position_)
        return;
    emit changing(next);
    position_ = next;
    emit clicked(position_);
}

namespace {
constexpr int kImages[3] = {0, 8, 10};
}

int TOptionPagesDlg::positionForImage(int image) {
    for (int i = 0; i < 3; ++i)
        if (kImages[i] == image)
            return i;
    return -1;
}

int TOptionPagesDlg::imageForPosition(int position) {
    return kImages[qBound(0, position, 2)];
}

QString TOptionPagesDlg::nameForPosition(int position) {
    switch (position) {
        case 0:
            return QStringLiteral("通常ﾌｫﾙﾀﾞ");
        case 1:
            return QStringLiteral("灰色ﾌｫﾙﾀﾞ");
        default:
            return QStringLiteral("がまぐっち(^^;");
    }
}

TOptionPagesDlg::TOptionPagesDlg(AppContext& context) : QDialog(context.form1), ctx_(context) {
    ctx_.optionPagesDlg = this;
    setObjectName(QStringLiteral("OptionPagesDlg"));
    setWindowTitle(QStringLiteral("設定"));
    setFont(uiFont(12));
    setFixedSize(342, 252);
    setModal(true);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setGeometry(4, 4, 334, 252 - 33 - 4);

    // Display method.
    auto* page1 = new QWidget;
    RadioGroup = new QGroupBox(QStringLiteral("画像表示のさせ方"), page1);
    RadioGroup->setObjectName(QStringLiteral("RadioGroup"));
    RadioGroup->setGeometry(8, 6, 312, 110);
    radioButtons = new QButtonGroup(this);
    const char* items[] = {"ウィンドウを画像サイズに合わせる",
                           "画像をウィンドウサイズに合わせる(比率維持)",
                           "画像をウィンドウサイズに合わせる(stretch)", "制御しない"};
    for (int i = 0; i < 4; ++i) {
        auto* r = new QRadioButton(QString::fromUtf8(items[i]), RadioGroup);
        r->setGeometry(12, 18 + i * 22, 290, 20);
        radioButtons->addButton(r, i);
    }
    JPEG_BOX = new QCheckBox(QStringLiteral("JPEG表示の高速化(1/4サイズで表示)"), page1);
    JPEG_BOX->setObjectName(QStringLiteral("JPEG_BOX"));
    JPEG_BOX->setGeometry(12, 124, 300, 20);
    SortBox = new QCheckBox(QStringLiteral("画像ファイルをソートして表示"), page1);
    SortBox->setObjectName(QStringLiteral("SortBox"));
    SortBox->setGeometry(12, 148, 300, 20);
    PageControl->addTab(page1, QStringLiteral("表示方法"));

    // Slideshow interval.
    auto* page2 = new QWidget;
    auto* frame = new QGroupBox(page2);
    frame->setGeometry(8, 6, 312, 150);
    QFont big = uiFont(19);
    auto* caption = new QLabel(QStringLiteral("表示時間間隔"), frame);
    caption->setFont(big);
    caption->setGeometry(16, 12, 140, 26);
    Panel3 = new TPanel(frame);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setBevelOuter(TPanel::Bevel::Lowered);
    QFont bold = uiFont(19);
    bold.setBold(true);
    Panel3->setFont(bold);
    Panel3->setGeometry(160, 10, 60, 28);
    auto* unit = new QLabel(QStringLiteral("秒"), frame);
    unit->setFont(big);
    unit->setGeometry(226, 12, 30, 26);
    TBar = new QSlider(Qt::Horizontal, frame);
    TBar->setObjectName(QStringLiteral("TBar"));
    TBar->setRange(0, 60);
    TBar->setTickInterval(1);
    TBar->setSingleStep(1);
    TBar->setPageStep(1);
    TBar->setTickPosition(QSlider::TicksBelow);
    TBar->setGeometry(10, 50, 292, 30);
    const struct {
        const char* text;
        int x;
    } scale[] = {{"0", 14}, {"30", 146}, {"60", 286}};
    for (const auto& s : scale) {
        auto* l = new QLabel(QLatin1String(s.text), frame);
        l->setGeometry(s.x, 82, 20, 14);
    }
    auto* note = new QLabel(QStringLiteral("0秒を指定するとノーウェイトで動作します"), frame);
    note->setGeometry(16, 110, 290, 20);
    PageControl->addTab(page2, QStringLiteral("連続表示時間"));
    connect(TBar, &QSlider::valueChanged, this, &TOptionPagesDlg::TBarChange);

    // Others.
    auto* page3 = new QWidget;
    ActWin = new QCheckBox(QStringLiteral("画像一覧ｳｨﾝﾄﾞｳを常に前面表示する"), page3);
    ActWin->setObjectName(QStringLiteral("ActWin"));
    ActWin->setGeometry(12, 12, 300, 20);
    auto* iconLabel = new QLabel(QStringLiteral("圧縮ﾌｧｲﾙﾌｫﾙﾀﾞのｱｲｺﾝ指定"), page3);
    iconLabel->setGeometry(12, 48, 160, 18);
    auto* later = new QLabel(QStringLiteral("（次回起動時有効）"), page3);
    QFont redBold = uiFont(12);
    redBold.setBold(true);
    later->setFont(redBold);
    later->setStyleSheet(QStringLiteral("color: red"));
    later->setGeometry(172, 48, 140, 18);
    auto* box = new TPanel(page3);
    box->setBevelOuter(TPanel::Bevel::Lowered);
    box->setGeometry(24, 76, 34, 34);
    Image1 = new QLabel(box);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(1, 1, 32, 32);
    Image1->setScaledContents(true);
    UpDown = new TUpDown(page3);
    UpDown->setObjectName(QStringLiteral("UpDown"));
    UpDown->setGeometry(60, 76, 17, 34);
    UpDown->upButton()->setGeometry(0, 0, 17, 17);
    UpDown->downButton()->setGeometry(0, 17, 17, 17);
    UpDown->setRange(0, 2);
    Label8 = new QLabel(page3);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setFont(redBold);
    Label8->setGeometry(90, 84, 200, 18);
    PageControl->addTab(page3, QStringLiteral("その他"));
    connect(UpDown, &TUpDown::changing, this, &TOptionPagesDlg::UpDownChanging);
    connect(UpDown, &TUpDown::clicked, this, &TOptionPagesDlg::UpDownClick);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    OKBtn->setGeometry(342 - 2 * 80, 252 - 29, 75, 25);
    CancelBtn = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(342 - 80, 252 - 29, 75, 25);
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        OKBtnClick();
        done(QDialog::Accepted);
    });
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        CancelBtnClick();
        done(QDialog::Rejected);
    });

    FormCreate();
}

int TOptionPagesDlg::radioIndex() const {
    return radioButtons->checkedId();
}

void TOptionPagesDlg::setRadioIndex(int index) {
    // Like the track bar, the group limits what it is given: past the last item
    // means the last item, below the first means none.
    if (index >= 0) {
        radioButtons->button(qMin(index, 3))->setChecked(true);
    } else if (QAbstractButton* b = radioButtons->checkedButton()) {
        radioButtons->setExclusive(false);
        b->setChecked(false);
        radioButtons->setExclusive(true);
    }
}

void TOptionPagesDlg::FormCreate() {
    const MainSettings& read = ctx_.form1->optionsRead;
    setRadioIndex(read.disp);
    TBar->setValue(read.timer);
    TBarChange();
    JPEG_BOX->setChecked(read.jpegOpt);
    SortBox->setChecked(read.sortOpt);
    ActWin->setChecked(read.actOpt);
    takeSnapshot();
    const int pos = positionForImage(ctx_.form1->archiveImage);
    if (pos >= 0)
        UpDown->setPosition(pos);
}

void TOptionPagesDlg::takeSnapshot() {
    snapshot_.radio = radioIndex();
    snapshot_.timer = TBar->value();
    snapshot_.jpeg = JPEG_BOX->isChecked();
    snapshot_.sort = SortBox->isChecked();
    snapshot_.act = ActWin->isChecked();
}

void TOptionPagesDlg::showIcon() {
    Image1->clear();
    Image1->setPixmap(ctx_.form1->ImageList.value(ctx_.form1->archiveImage));
}

void TOptionPagesDlg::FormShow() {
    takeSnapshot();
    const int pos = positionForImage(ctx_.form1->archiveImage);
    if (pos >= 0)
        UpDown->setPosition(pos);
    snapshot_.archiveImage = ctx_.form1->archiveImage;
    Label8->setText(nameForPosition(UpDown->position()));
    showIcon();
}

void TOptionPagesDlg::showEvent(QShowEvent* e) {
    closingByBox_ = false;
    // Centred on the screen, not on the main window as a dialog would be by default.
    const QSize screen = ctx_.services->screen->size();
    // Placed by its client area: a move() would place the frame once the window
    // manager has framed the dialog, so a second opening would land lower.
    setGeometry(
        QRect(QPoint((screen.width() - width()) / 2, (screen.height() - height()) / 2), size()));
    FormShow();
    QDialog::showEvent(e);
}

void TOptionPagesDlg::TBarChange() {
    Panel3->setCaption(QString::number(TBar->value()));
}

void TOptionPagesDlg::UpDownChanging(int position) {
    Label8->setText(nameForPosition(position));
}

void TOptionPagesDlg::UpDownClick(int position) {
    Label8->setText(nameForPosition(position));
    ctx_.form1->archiveImage = imageForPosition(position);
    showIcon();
}

void TOptionPagesDlg::OKBtnClick() {
    TForm1* f = ctx_.form1;
    if (radioIndex() >= 0)
        f->displayMode = radioIndex();
    f->JpegOpt = JPEG_BOX->isChecked() ? 1 : 0;
    f->SortOpt = SortBox->isChecked() ? 1 : 0;
    f->ActOpt = ActWin->isChecked() ? 1 : 0;
    ctx_.form2->setStaysOnTop(f->ActOpt == 1);
}

void TOptionPagesDlg::CancelBtnClick() {
    setRadioIndex(snapshot_.radio);
    TBar->setValue(snapshot_.timer);
    TBarChange();
    ctx_.form1->archiveImage = snapshot_.archiveImage;
    JPEG_BOX->setChecked(snapshot_.jpeg);
    SortBox->setChecked(snapshot_.sort);
    ActWin->setChecked(snapshot_.act);
}

void TOptionPagesDlg::closeEvent(QCloseEvent* e) {
    // The title bar's close box is neither OK nor Cancel: the controls keep their changes.
    closingByBox_ = true;
    QDialog::closeEvent(e);
}

void TOptionPagesDlg::reject() {
    if (!closingByBox_)
        CancelBtnClick();  // Esc presses the cancel button
    closingByBox_ = false;
    QDialog::reject();
}

}  // namespace kordel
