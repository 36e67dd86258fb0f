// The about box: name, icon, version and credits.
#pragma once

#include <QDialog>

#include "app_context.h"

class QLabel;
class QPushButton;

namespace kordel {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(AppContext& context);

    QLabel* Image1 = nullptr;
    QLabel* Product = nullptr;
    QLabel* Version = nullptr;
    QPushButton* OKButton = nullptr;

    // Centres the box on the screen and loads the program icon; runs at
    // creation and each time the box is shown.
    void FormCreate();

protected:
    void showEvent(QShowEvent* e) override;

private:
    AppContext& ctx_;
};

}  // namespace kordel
