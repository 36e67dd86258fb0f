#include "settings.h"

namespace kordel {

namespace {
const QString kFormSize = QStringLiteral("FormSize");
const QString kDirSize = QStringLiteral("DirSize");
const QString kOption = QStringLiteral("Option");
const QString kObject = QStringLiteral("Object");
const QString kSubFormSize = QStringLiteral("SubFormSize");
const QString kPicSize = QStringLiteral("PicSize");
const char* const kColumnKeys[4] = {"Sub1_W", "Sub2_W", "Sub3_W", "Sub4_W"};
}  // namespace

MainSettings readMainSettings(const ProfileFile& f) {
    const MainSettings d;
    MainSettings s;
    s.top = f.readInteger(kFormSize, QStringLiteral("Top"), d.top);
    s.left = f.readInteger(kFormSize, QStringLiteral("Left"), d.left);
    s.width = f.readInteger(kFormSize, QStringLiteral("Width"), d.width);
    s.height = f.readInteger(kFormSize, QStringLiteral("Height"), d.height);
    s.dirWidth = f.readInteger(kDirSize, QStringLiteral("Width"), d.dirWidth);
    s.dirHeight = f.readInteger(kDirSize, QStringLiteral("Height"), d.dirHeight);
    s.vpHeight = f.readInteger(kDirSize, QStringLiteral("VP_Height"), d.vpHeight);
    s.viewStyle = f.readInteger(kDirSize, QStringLiteral("ViewStyle"), d.viewStyle);
    for (int i = 0; i < 4; ++i)
        s.columnWidths[i] =
            f.readInteger(kDirSize, QLatin1String(kColumnKeys[i]), d.columnWidths[i]);
    s.disp = f.readInteger(kOption, QStringLiteral("Disp"), d.disp);
    s.timer = f.readInteger(kOption, QStringLiteral("Timer"), d.timer);
    s.lzhIcon = f.readInteger(kOption, QStringLiteral("LzhIcon"), d.lzhIcon);
    s.jpegOpt = f.readBool(kOption, QStringLiteral("JpegOpt"), d.jpegOpt);
    s.sortOpt = f.readBool(kOption, QStringLiteral("SortOpt"), d.sortOpt);
    s.actOpt = f.readBool(kOption, QStringLiteral("ActOpt"), d.actOpt);
    s.hyouji = f.readInteger(kOption, QStringLiteral("Hyouji"), d.hyouji);
    s.selIndex = f.readInteger(kOption, QStringLiteral("SelIndex"), d.selIndex);
    s.toolBar = f.readBool(kObject, QStringLiteral("ToolBar"), d.toolBar);
    s.driveTab = f.readBool(kObject, QStringLiteral("DriveTab"), d.driveTab);
    s.dirTree = f.readBool(kObject, QStringLiteral("DirTree"), d.dirTree);
    s.listView = f.readBool(kObject, QStringLiteral("ListView"), d.listView);
    return s;
}

CatalogueSettings readCatalogueSettings(const ProfileFile& f) {
    const CatalogueSettings d;
    CatalogueSettings s;
    s.top = f.readInteger(kSubFormSize, QStringLiteral("Top"), d.top);
    s.left = f.readInteger(kSubFormSize, QStringLiteral("Left"), d.left);
    s.width = f.readInteger(kSubFormSize, QStringLiteral("Width"), d.width);
    s.height = f.readInteger(kSubFormSize, QStringLiteral("Height"), d.height);
    s.picX = f.readInteger(kPicSize, QStringLiteral("X"), d.picX);
    s.picY = f.readInteger(kPicSize, QStringLiteral("Y"), d.picY);
    return s;
}

void writeAllSettings(ProfileFile& f, const MainSettings& s, const CatalogueSettings& c) {
    f.writeInteger(kFormSize, QStringLiteral("Top"), s.top);
    f.writeInteger(kFormSize, QStringLiteral("Left"), s.left);
    f.writeInteger(kFormSize, QStringLiteral("Width"), s.width);
    f.writeInteger(kFormSize, QStringLiteral("Height"), s.height);
    f.writeInteger(kDirSize, QStringLiteral("Width"), s.dirWidth);
    f.writeInteger(kDirSize, QStringLiteral("Height"), s.dirHeight);
    f.writeInteger(kDirSize, QStringLiteral("VP_Height"), s.vpHeight);
    f.writeInteger(kDirSize, QStringLiteral("ViewStyle"), s.viewStyle);
    for (int i = 0; i < 4; ++i)
        f.writeInteger(kDirSize, QLatin1String(kColumnKeys[i]), s.columnWidths[i]);
    f.writeInteger(kOption, QStringLiteral("Disp"), s.disp);
    f.writeBool(kOption, QStringLiteral("JpegOpt"), s.jpegOpt);
    f.writeBool(kOption, QStringLiteral("SortOpt"), s.sortOpt);
    f.writeBool(kOption, QStringLiteral("ActOpt"), s.actOpt);
    f.writeInteger(kOption, QStringLiteral("Timer"), s.timer);
    f.writeInteger(kOption, QStringLiteral("LzhIcon"), s.lzhIcon);
    f.writeInteger(kOption, QStringLiteral("Hyouji"), s.hyouji);
    f.writeInteger(kOption, QStringLiteral("SelIndex"), s.selIndex);
    f.writeBool(kObject, QStringLiteral("ToolBar"), s.toolBar);
    f.writeBool(kObject, QStringLiteral("DriveTab"), s.driveTab);
    f.writeBool(kObject, QStringLiteral("DirTree"), s.dirTree);
    f.writeBool(kObject, QStringLiteral("ListView"), s.listView);
    f.writeInteger(kSubFormSize, QStringLiteral("Top"), c.top);
    f.writeInteger(kSubFormSize, QStringLiteral("Left"), c.left);
    f.writeInteger(kSubFormSize, QStringLiteral("Width"), c.width);
    f.writeInteger(kSubFormSize, QStringLiteral("Height"), c.height);
    f.writeInteger(kPicSize, QStringLiteral("X"), c.picX);
    f.writeInteger(kPicSize, QStringLiteral("Y"), c.picY);
}

}  // namespace kordel
