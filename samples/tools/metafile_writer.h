// Tiny WMF and EMF writers for the player's tests: headers, raw records and packed DIBs.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringEncoder>
#include <cstring>
#include <initializer_list>

namespace kordel::test {

inline void put16(QByteArray& a, int v) {
    const quint16 x = quint16(v);
    a.append(char(x & 0xff)).append(char(x >> 8));
}
inline void put32(QByteArray& a, qint64 v) {
    const quint32 x = quint32(v);
    for (int i = 0; i < 4; ++i)
        a.append(char((x >> (8 * i)) & 0xff));
}
inline quint32 rgb(int r, int g, int b) {
    return quint32(r) | (quint32(g) << 8) | (quint32(b) << 16);
}
inline void putFloat(QByteArray& a, float f) {
    quint32 v;
    std::memcpy(&v, &f, 4);
    put32(a, v);
}

// A packed DIB (BITMAPINFOHEADER, no colour table, 24 bits) of an image, rows bottom-up unless
// topDown.
inline QByteArray packedDib24(const QImage& img, bool topDown = false) {
    QByteArray a;
    const int w = img.width(), h = img.height();
    const int stride = ((w * 24 + 31) / 32) * 4;
    put32(a, 40);
    put32(a, w);
    put32(a, topDown ? -h : h);
    put16(a, 1);
    put16(a, 24);
    put32(a, 0);
    put32(a, stride * h);
    put32(a, 0);
    put32(a, 0);
    put32(a, 0);
    put32(a, 0);
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        QByteArray row;
        for (int x = 0; x < w; ++x) {
            const QRgb c = img.pixel(x, y);
            row.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        }
        row.append(QByteArray(stride - row.size(), '\0'));
        a += row;
    }
    return a;
}

// Records are written in file order: parameters as GDI stores them (points y before x).
class WmfWriter {
public:
    // Placeable when inch > 0, with the bounding box in logical units.
    explicit WmfWriter(QRect bbox = QRect(0, 0, 1000, 500), int inch = 1000)
        : bbox_(bbox), inch_(inch) {}

    void rec(quint16 fn, std::initializer_list<int> words, const QByteArray& tail = {}) {
        QByteArray params;
        for (int w : words)
            put16(params, w);
        params += tail;
        if (params.size() % 2)
            params.append('\0');
        put32(body_, 3 + params.size() / 2);
        put16(body_, fn);
        body_ += params;
    }
    // A record with arbitrary (possibly lying) size field.
    void raw(const QByteArray& bytes) { body_ += bytes; }

    void windowOrg(int x, int y) { rec(0x020B, {y, x}); }
    void windowExt(int x, int y) { rec(0x020C, {y, x}); }
    void mapMode(int m) { rec(0x0103, {m}); }
    void pen(int style, int width, quint32 color) {
        rec(0x02FA, {style, width, 0, int(color & 0xffff), int(color >> 16)});
    }
    void brush(int style, quint32 color, int hatch = 0) {
        rec(0x02FC, {style, int(color & 0xffff), int(color >> 16), hatch});
    }
    void font(int height,
              int charset,
              const QByteArray& face,
              int escapement = 0,
              int weight = 400) {
        QByteArray f;
        put16(f, height);
        put16(f, 0);
        put16(f, escapement);
        put16(f, escapement);
        put16(f, weight);
        f.append('\0').append('\0').append('\0').append(char(charset));
        f.append('\0').append('\0').append('\0').append('\0');
        f += face;
        f.append('\0');
        rec(0x02FB, {}, f);
    }
    void select(int i) { rec(0x012D, {i}); }
    void remove(int i) { rec(0x01F0, {i}); }
    void rectangle(int l, int t, int r, int b) { rec(0x041B, {b, r, t, l}); }
    void ellipse(int l, int t, int r, int b) { rec(0x0418, {b, r, t, l}); }
    void polygon(std::initializer_list<QPoint> pts) {
        QByteArray a;
        for (const QPoint& p : pts) {
            put16(a, p.x());
            put16(a, p.y());
        }
        rec(0x0324, {int(pts.size())}, a);
    }
    void textOut(int x, int y, const QByteArray& s) {
        QByteArray a = s;
        if (a.size() % 2)
            a.append('\0');
        put16(a, y);
        put16(a, x);
        rec(0x0521, {int(s.size())}, a);
    }
    void extTextOut(int x, int y, const QByteArray& s, const QVector<int>& dx) {
        QByteArray a = s;
        if (a.size() % 2)
            a.append('\0');
        for (int d : dx)
            put16(a, d);
        rec(0x0A32, {y, x, int(s.size()), 0}, a);
    }
    void textAlign(int a) { rec(0x012E, {a}); }
    void bkMode(int m) { rec(0x0102, {m}); }
    void stretchDib(QRect dst, QRect src, const QByteArray& dib, quint32 rop = 0x00CC0020) {
        rec(0x0F43,
            {int(rop & 0xffff), int(rop >> 16), 0, src.height(), src.width(), src.y(), src.x(),
             dst.height(), dst.width(), dst.y(), dst.x()},
            dib);
    }
    void saveDc() { rec(0x001E, {}); }
    void restoreDc(int n) { rec(0x0127, {n}); }
    void intersectClip(int l, int t, int r, int b) { rec(0x0416, {b, r, t, l}); }
    void excludeClip(int l, int t, int r, int b) { rec(0x0415, {b, r, t, l}); }

    QByteArray data(bool withEof = true) const {
        QByteArray out;
        if (inch_ > 0) {
            put32(out, 0x9AC6CDD7);
            put16(out, 0);
            put16(out, bbox_.left());
            put16(out, bbox_.top());
            put16(out, bbox_.left() + bbox_.width());
            put16(out, bbox_.top() + bbox_.height());
            put16(out, inch_);
            put32(out, 0);
            quint16 sum = 0;
            for (int i = 0; i < 20; i += 2)
                sum ^= quint16(uchar(out[i]) | (uchar(out[i + 1]) << 8));
            put16(out, sum);
        }
        QByteArray body = body_;
        if (withEof)
            put32(body, 3), put16(body, 0);
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x0300);
        put32(out, (18 + body.size()) / 2);
        put16(out, 4);  // too small on purpose: the table grows on demand
        put32(out, 64);
        put16(out, 0);
        return out + body;
    }

private:
    QRect bbox_;
    int inch_;
    QByteArray body_;
};

class EmfWriter {
public:
    // The reference device is 96 dpi: 960 × 480 pixels over 254 × 127 mm. frame in 0.01 mm.
    explicit EmfWriter(QRect frame = QRect(0, 0, 5080, 2540)) : frame_(frame) {}

    void rec(quint32 type, const QByteArray& payload = {}) {
        QByteArray p = payload;
        while (p.size() % 4)
            p.append('\0');
        put32(body_, type);
        put32(body_, 8 + p.size());
        body_ += p;
        ++count_;
    }
    void raw(const QByteArray& bytes) { body_ += bytes; }

    static QByteArray ints(std::initializer_list<qint64> v) {
        QByteArray a;
        for (qint64 x : v)
            put32(a, x);
        return a;
    }
    void mapMode(int m) { rec(17, ints({m})); }
    void windowExt(int x, int y) { rec(9, ints({x, y})); }
    void windowOrg(int x, int y) { rec(10, ints({x, y})); }
    void viewportExt(int x, int y) { rec(11, ints({x, y})); }
    void viewportOrg(int x, int y) { rec(12, ints({x, y})); }
    void brush(int ih, int style, quint32 color, int hatch = 0) {
        rec(39, ints({ih, style, color, hatch}));
    }
    void pen(int ih, int style, int width, quint32 color) {
        rec(38, ints({ih, style, width, 0, color}));
    }
    void select(quint32 ih) { rec(37, ints({ih})); }
    void rectangle(int l, int t, int r, int b) { rec(43, ints({l, t, r, b})); }
    void ellipse(int l, int t, int r, int b) { rec(42, ints({l, t, r, b})); }
    void xform(quint32 type,
               float m11,
               float m12,
               float m21,
               float m22,
               float dx,
               float dy,
               int mode = -1) {
        QByteArray a;
        for (float f : {m11, m12, m21, m22, dx, dy})
            putFloat(a, f);
        if (mode >= 0)
            put32(a, mode);
        rec(type, a);
    }
    void pie(QRect box, QPoint start, QPoint end) {
        rec(47, ints({box.left(), box.top(), box.left() + box.width(), box.top() + box.height(),
                      start.x(), start.y(), end.x(), end.y()}));
    }
    // EXTTEXTOUTW with an optional Dx array.
    void textW(int x, int y, const QString& s, const QVector<int>& dx = {}) {
        QByteArray a = ints({0, 0, 0, 0, 1});  // bounds, graphics mode
        putFloat(a, 1);
        putFloat(a, 1);
        const int offString = 76;
        const int strBytes = int(s.size()) * 2 + (s.size() % 2 ? 2 : 0);
        a += ints(
            {x, y, s.size(), offString, 0, 0, 0, 0, 0, dx.isEmpty() ? 0 : offString + strBytes});
        for (QChar c : s)
            put16(a, c.unicode());
        if (s.size() % 2)
            put16(a, 0);
        for (int d : dx)
            put32(a, d);
        rec(84, a);
    }
    void font(int ih, int height, const QString& face, int charset = 1) {
        QByteArray a = ints({ih, height, 0, 0, 0, 400});
        a.append('\0').append('\0').append('\0').append(char(charset));
        a.append('\0').append('\0').append('\0').append('\0');
        for (int i = 0; i < 32; ++i)
            put16(a, i < face.size() ? face[i].unicode() : 0);
        rec(82, a);
    }
    void stretchDiBits(QRect dst, QRect src, const QByteArray& dib, quint32 rop = 0x00CC0020) {
        const int info = 40;
        QByteArray a =
            ints({0, 0, 0, 0, dst.x(), dst.y(), src.x(), src.y(), src.width(), src.height(), 80,
                  info, 80 + info, dib.size() - info, 0, rop, dst.width(), dst.height()});
        a += dib;
        rec(81, a);
    }

    QByteArray data(bool withEof = true) const {
        QByteArray body = body_;
        int count = count_ + 1;
        if (withEof) {
            body += ints({14, 20, 0, 16, 20});
            ++count;
        }
        QByteArray h;
        put32(h, 1);
        put32(h, 108);
        h += ints({0, 0, 191, 95});  // bounds
        h += ints({frame_.left(), frame_.top(), frame_.left() + frame_.width(),
                   frame_.top() + frame_.height()});
        put32(h, 0x464D4520);
        put32(h, 0x10000);
        put32(h, 108 + body.size());
        put32(h, count);
        put16(h, 16);
        put16(h, 0);
        h += ints({0, 0, 0, 960, 480, 254, 127, 0, 0, 0, 254000, 127000});
        return h + body;
    }

private:
    QRect frame_;
    QByteArray body_;
    int count_ = 0;
};

}  // namespace kordel::test
