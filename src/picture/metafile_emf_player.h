// The enhanced-metafile player, shared by the three files that hold its record handlers.
#pragma once

#include "metafile_state.h"

namespace kordel::mf {

struct EmfHeader {
    QRectF frameRef;  // reference-device pixels
    QPointF pxPerMm;
    QSizeF naturalMm;  // the frame in millimetres
    qint64 end = 0;
    int handles = 0;
};

// Plays the records of one enhanced metafile through a Player.
class EmfPlayer {
public:
    EmfPlayer(Player& player, const Bytes& data, const EmfHeader& header)
        : p_(player), d_(data), h_(header) {}

    void play() {
        p_.objects().reset(h_.handles);
        qint64 pos = 0;
        for (qint64 n = 0; pos + 8 <= h_.end && n < kMaxRecords; ++n) {
            const quint32 type = d_.u32(pos), size = d_.u32(pos + 4);
            if (size < 8 || size % 4 || size > h_.end - pos)
                break;
            if (type == 14)  // EOF
                break;
            r_ = d_.mid(pos, size);
            record(type);
            pos += size;
        }
    }

private:
    bool need(qint64 bytes) const { return r_.size() >= bytes; }
    QPointF pt(qint64 o) const { return QPointF(r_.i32(o), r_.i32(o + 4)); }
    QRectF rectL(qint64 o) const {
        return QRectF(QPointF(r_.i32(o), r_.i32(o + 4)), QPointF(r_.i32(o + 8), r_.i32(o + 12)));
    }
    QTransform xform(qint64 o) const {
        return QTransform(r_.f32(o), r_.f32(o + 4), r_.f32(o + 8), r_.f32(o + 12), r_.f32(o + 16),
                          r_.f32(o + 20));
    }
    QPolygonF points(qint64 offset, qint64 count, bool small) const {
        const int size = small ? 4 : 8;
        count = std::min<qint64>(count, std::max<qint64>(0, (r_.size() - offset) / size));
        QPolygonF poly;
        poly.reserve(count);
        for (qint64 i = 0; i < count; ++i) {
            const qint64 o = offset + i * size;
            poly.append(small ? QPointF(r_.i16(o), r_.i16(o + 2))
                              : QPointF(r_.i32(o), r_.i32(o + 4)));
        }
        return poly;
    }

    void record(quint32 type);
    void poly(quint32 type);
    void polyPoly(quint32 type);
    void selectObject(quint32 index);
    void selectStock(quint32 index);
    void createPen();
    void createExtPen();
    void createBrush();
    void createDibBrush(bool mono);
    void createFont();
    void createPalette();
    QVector<QRect> rgnRects(qint64 offset, qint64 size) const;
    QPainterPath rgnPath(qint64 offset, qint64 size, bool logical);
    void extTextOut(bool wide,
                    qint64 base,
                    QPointF ref,
                    qint64 nChars,
                    qint64 offString,
                    quint32 options,
                    qint64 offDx,
                    bool hasRect,
                    const QRectF& rect);
    void extTextOutRecord(bool wide);
    void polyTextOut(bool wide);
    void smallTextOut();
    QImage bitmap(quint32 offBmi,
                  quint32 cbBmi,
                  quint32 offBits,
                  quint32 cbBits,
                  int usage,
                  int heightOverride = 0,
                  bool alpha = false);
    void bitBlt(quint32 type);
    void gradientFill();

    Player& p_;
    Bytes d_;
    EmfHeader h_;
    Bytes r_;  // the current record, header included
};

}  // namespace kordel::mf
