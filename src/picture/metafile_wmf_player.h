// The Windows-metafile player, shared by the three files that hold its record handlers.
#pragma once

#include "metafile_state.h"

namespace kordel::mf {

struct WmfHeader {
    bool placeable = false;
    QRectF bbox;  // normalised
    int inch = 0;
    qint64 start = 0;  // the META_HEADER
    qint64 end = 0;    // end of the records
    int objects = 0;
};

// Plays the records of one Windows metafile through a Player.
class WmfPlayer {
public:
    WmfPlayer(Player& player, const Bytes& data, const WmfHeader& header)
        : p_(player), d_(data), h_(header) {}

    void play();

private:
    qint16 s(int i) const { return r_.i16(2 * i); }
    quint16 u(int i) const { return r_.u16(2 * i); }
    QPointF pt(int iy, int ix) const { return QPointF(s(ix), s(iy)); }
    // A rectangle stored bottom, right, top, left from parameter i.
    QRectF rectRev(int i) const { return QRectF(pt(i + 2, i + 3), pt(i, i + 1)); }
    bool need(qint64 bytes) const { return r_.size() >= bytes; }

    void create(GdiObject o) { p_.objects().addLowest(std::move(o)); }
    void record(quint16 fn, const Bytes& params, quint32 words);
    void selectObject(quint32 index);
    void createFont();
    void createRegion();
    void createDibBrush();
    void createPatternBrush();
    QPolygonF points(qint64 offset, qint64 count) const;
    void polyPolygon();
    void textOut();
    void extTextOut();
    void drawText(QPointF ref,
                  const QByteArray& bytes,
                  const Bytes& dx,
                  bool pdy,
                  quint32 options,
                  bool hasRect,
                  const QRectF& rect);
    QImage dib(const Bytes& packed, int usage);
    QImage bitmap16(const Bytes& b);
    void bitBlt(quint16 fn, quint32 words);
    void selectClipRegion(quint32 index);
    const QRegion* region(quint32 index) const;
    const BrushDef* brush(quint32 index) const;

    Player& p_;
    Bytes d_;
    WmfHeader h_;
    Bytes r_;  // parameters of the current record
};

}  // namespace kordel::mf
