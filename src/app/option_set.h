// The settings dialog: display method, JPEG quick view, sorting, slideshow
// interval, catalogue stacking and the icon of archive folders. Its controls
// hold the stored form of these options.
#pragma once

#include <QDialog>

#include "app_context.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QTabWidget;
class QToolButton;

namespace kordel {

class TPanel;

// A small up-down control: two arrow buttons that step a position within a range, no wrap.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* parent = nullptr);
    void setRange(int min, int max);
    int position() const { return position_; }
    void setPosition(int p);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    // Before and after a step the user made.
    void changing(int newPosition);
    void clicked(int position);

private:
    void step(int delta);
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0, max_ = 100, position_ = 0;
};

class TOptionPagesDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOptionPagesDlg(AppContext& context);

    QTabWidget* PageControl = nullptr;
    QGroupBox* RadioGroup = nullptr;
    QButtonGroup* radioButtons = nullptr;
    QCheckBox* JPEG_BOX = nullptr;
    QCheckBox* SortBox = nullptr;
    QSlider* TBar = nullptr;
    TPanel* Panel3 = nullptr;  // shows the interval
    QCheckBox* ActWin = nullptr;
    QLabel* Image1 = nullptr;
    TUpDown* UpDown = nullptr;
    QLabel* Label8 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The radio group's item index, -1 for none.
    int radioIndex() const;
    // Selects an item; a value outside 0..3 selects none.
    void setRadioIndex(int index);

    void FormCreate();
    void FormShow();
    void TBarChange();
    void UpDownChanging(int position);
    void UpDownClick(int position);
    void OKBtnClick();
    void CancelBtnClick();

    // Position of the up-down control for an archive image index; -1 for none.
    static int positionForImage(int image);
    static int imageForPosition(int position);
    static QString nameForPosition(int position);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    void takeSnapshot();
    void showIcon();

    AppContext& ctx_;
    struct Snapshot {
        int radio = -1;
        int timer = 0;
        bool jpeg = false, sort = false, act = false;
        int archiveImage = 8;
    } snapshot_;
    bool closingByBox_ = false;
};

}  // namespace kordel
