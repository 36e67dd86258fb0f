#include "browse_helpers.h"

#include <QAbstractItemView>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTest>

#include "list_view.h"
#include "main.h"
#include "metafile_writer.h"
#include "speed_button.h"

namespace kordel::test {

ScratchFolder::ScratchFolder() : previous_(QDir::currentPath()) {
    if (dir_.isValid() && QDir::setCurrent(dir_.path())) {
        path_ = QDir::currentPath() + u'/';
        valid_ = true;
    }
}

ScratchFolder::~ScratchFolder() {
    QDir::setCurrent(previous_);
}

bool ScratchFolder::write(const QString& name, const QByteArray& data) const {
    QFile f(file(name));
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

bool ScratchFolder::touch(const QStringList& names) const {
    for (const QString& name : names) {
        QFile f(file(name));
        if (!f.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

QByteArray bmpFile(QSize size, int bits, bool core) {
    const int w = size.width(), h = size.height();
    const int colours = bits <= 8 ? 1 << bits : 0;
    const int entry = core ? 3 : 4;
    const int header = core ? 12 : 40;
    const int stride = ((w * bits + 31) / 32) * 4;
    const int offset = 14 + header + colours * entry;
    QByteArray a;
    a.append("BM");
    put32(a, offset + stride * h);
    put32(a, 0);
    put32(a, offset);
    put32(a, header);
    if (core) {
        put16(a, w);
        put16(a, h);
        put16(a, 1);
        put16(a, bits);
    } else {
        put32(a, w);
        put32(a, h);
        put16(a, 1);
        put16(a, bits);
        put32(a, 0);  // no compression
        put32(a, stride * h);
        put32(a, 2835);
        put32(a, 2835);
        put32(a, 0);
        put32(a, 0);
    }
    for (int i = 0; i < colours; ++i) {
        const int grey = colours > 1 ? i * 255 / (colours - 1) : 0;
        a.append(char(grey)).append(char(grey)).append(char(grey));
        if (!core)
            a.append('\0');
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < stride; ++x)
            a.append(char((x * 37 + y * 11) & 0xff));
    return a;
}

QByteArray icoFile(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(qRgba(200, 40, 40, 255));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    return data;
}

QByteArray emfFile() {
    EmfWriter emf;
    emf.brush(1, 0, rgb(255, 0, 0));
    emf.select(1);
    emf.rectangle(10, 10, 80, 50);
    return emf.data();
}

QByteArray wmfFile() {
    WmfWriter wmf(QRect(0, 0, 200, 100), 96);
    wmf.brush(0, rgb(0, 0, 255));
    wmf.select(0);
    wmf.rectangle(10, 10, 90, 50);
    return wmf.data();
}

QByteArray jpegFile(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(30, 120, 200));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return data;
}

void openMenu(QMenu* menu) {
    menu->popup(QPoint(0, 0));
    menu->hide();
}

void chooseKind(QComboBox* box, int index) {
    box->showPopup();
    QAbstractItemView* view = box->view();
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    const QPoint at = view->visualRect(item).center();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (box->view()->isVisible())
        box->hidePopup();
}

QString navigation(const TForm1* f) {
    QString state;
    for (const TSpeedButton* b : {f->G_rev, f->G_play, f->G_top, f->G_back, f->G_step, f->G_end})
        state += b->isEnabled() ? u'E' : u'D';
    return state;
}

QStringList tableNames(const TForm1* f) {
    QStringList names;
    for (int i = 0; i <= f->lastIndex; ++i)
        names << f->fileNames[i];
    return names;
}

QStringList listCaptions(const TListView* list) {
    QStringList captions;
    for (int r = 0; r < list->count(); ++r)
        captions << list->caption(r);
    return captions;
}

}  // namespace kordel::test
