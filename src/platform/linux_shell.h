// Copy, move and delete of single files with the questions, progress and
// error reports a desktop shell gives, in Japanese, through the Dialogs service.
#pragma once

#include <QString>

#include "services.h"

namespace kordel {

class LinuxShell : public Shell {
public:
    explicit LinuxShell(Dialogs& dialogs) : dialogs_(dialogs) {}

    // A copy goes to a hidden temporary file in the destination's folder, is
    // synced and only then renamed into place, so a failure or a cancel leaves
    // no partial file and never touches an existing destination.
    bool copyFile(QWidget* parent, const QString& source, const QString& destination) override;
    // Within one file system a rename; across file systems a copy as above,
    // after which the source is removed.
    bool moveFile(QWidget* parent, const QString& source, const QString& destination) override;
    bool deleteFile(QWidget* parent, const QString& path) override;
    bool openWithDefault(const QString& path) override;

protected:
    // Moves a file to the freedesktop trash; false with the reason when the
    // trash cannot take it.
    virtual bool moveToTrash(const QString& path, QString& why);

private:
    enum class Op { Copy, Move };
    struct Plan;
    bool prepare(QWidget* parent,
                 Op op,
                 const QString& source,
                 const QString& destination,
                 Plan& plan);
    bool copyContents(QWidget* parent, Op op, const Plan& plan);
    void fail(QWidget* parent, Op op, const QString& text);

    Dialogs& dialogs_;
};

// The reason for an error number, in Japanese where the user meets it often.
QString systemErrorText(int error);

}  // namespace kordel
