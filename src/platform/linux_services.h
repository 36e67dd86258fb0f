// Linux implementations of the platform services.
#pragma once

#include <QTemporaryDir>

#include "services.h"

namespace kordel {

class LinuxDialogs : public Dialogs {
public:
    void message(QWidget* parent, Icon icon, const QString& title, const QString& text) override;
    bool confirm(QWidget* parent,
                 const QString& title,
                 const QString& text,
                 bool yesIsDefault = true) override;
    QString saveFileName(QWidget* parent,
                         const QString& title,
                         const QString& folder,
                         const QString& filter,
                         const QString& name = QString()) override;
    int runModal(QDialog* dialog) override;
};

// The real screen; a modern display is never a palette device.
class LinuxScreen : public Screen {
public:
    int bitsPerPixel() override;
    QSize size() override;
    QRect desktop() override;
    double dotsPerInch() override;
};

// Opens the HTML help in the default browser.
class LinuxHelp : public Help {
public:
    bool showContents(const QString& helpFile) override;
};

// A private folder (mode 0700) under the system's temporary folder, made at
// start-up and removed at exit; member names in it cannot be predicted or
// planted by another user.
class LinuxTempFolder : public TempFolder {
public:
    LinuxTempFolder();
    QString path() override;

private:
    QTemporaryDir dir_;
};

}  // namespace kordel
