#include "metafile_state.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QLinearGradient>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>
#include <limits>

#include "spi.h"

namespace kordel::mf {

namespace {

constexpr int kMaxSaveDepth = 4096;
constexpr int kMaxClipElements = 4000;

bool finite(const QTransform& t) {
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
           std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy()) &&
           std::isfinite(t.m13()) && std::isfinite(t.m23()) && std::isfinite(t.m33());
}

// How much longer a glyph may come out in one direction than in the other and still
// be drawn as text. Qt renders small text through its glyph cache, and it picks the
// cache by the glyph's area alone, so a glyph squeezed flat by the mapping would be
// rasterised at a length its font engine does not survive; such text is drawn as
// outlines instead.
constexpr double kMaxGlyphAspect = 16;

// The ratio of the longest to the shortest axis of what t does to a unit circle.
double aspectOf(const QTransform& t) {
    const double a = t.m11(), b = t.m12(), c = t.m21(), d = t.m22();
    const double sum = a * a + b * b + c * c + d * d;
    const double det = std::abs(a * d - b * c);
    const double root = std::sqrt(std::max(0.0, sum * sum - 4 * det * det));
    const double longest = std::sqrt((sum + root) / 2), shortest = det / longest;
    return shortest > 0 ? longest / shortest : std::numeric_limits<double>::infinity();
}

// Logical units per millimetre of the fixed map modes (isotropic starts like MM_LOMETRIC).
double unitsPerMm(int mode) {
    switch (mode) {
        case 2:  // MM_LOMETRIC
        case 7:
            return 10;
        case 3:  // MM_HIMETRIC
            return 100;
        case 4:  // MM_LOENGLISH
            return 100 / 25.4;
        case 5:  // MM_HIENGLISH
            return 1000 / 25.4;
        case 6:  // MM_TWIPS
            return 1440 / 25.4;
        default:
            return 1;
    }
}

QPainterPath rectPath(const QRectF& r) {
    QPainterPath p;
    p.addRect(r);
    return p;
}

// GDI's 8×8 hatch cells, one byte per row, most significant bit leftmost.
const uchar kHatch[6][8] = {
    {0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal "\"
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal "/"
    {0x08, 0x08, 0x08, 0xff, 0x08, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

enum class RopColour { Keep, Black, White, Invert, Skip };

// A binary raster operation as a truth table (bit index: 2·source + destination) turned into
// a composition mode plus what to do with the source colour.
QPainter::CompositionMode binaryRop(int table, RopColour& colour) {
    colour = RopColour::Keep;
    switch (table & 15) {
        case 0:
            colour = RopColour::Black;
            return QPainter::CompositionMode_SourceOver;
        case 15:
            colour = RopColour::White;
            return QPainter::CompositionMode_SourceOver;
        case 12:
            return QPainter::CompositionMode_SourceOver;
        case 3:
            colour = RopColour::Invert;
            return QPainter::CompositionMode_SourceOver;
        case 10:
            colour = RopColour::Skip;
            return QPainter::CompositionMode_SourceOver;
        case 5:
            return QPainter::RasterOp_NotDestination;
        case 6:
            return QPainter::RasterOp_SourceXorDestination;
        case 9:
            return QPainter::RasterOp_NotSourceXorDestination;
        case 8:
            return QPainter::RasterOp_SourceAndDestination;
        case 14:
            return QPainter::RasterOp_SourceOrDestination;
        case 1:
            return QPainter::RasterOp_NotSourceAndNotDestination;
        case 7:
            return QPainter::RasterOp_NotSourceOrNotDestination;
        case 2:
            return QPainter::RasterOp_NotSourceAndDestination;
        case 11:
            return QPainter::RasterOp_NotSourceOrDestination;
        case 4:
            return QPainter::RasterOp_SourceAndNotDestination;
        case 13:
            return QPainter::RasterOp_SourceOrNotDestination;
    }
    return QPainter::CompositionMode_SourceOver;
}

// Truth table of a ternary raster operation restricted to one operand (P or S) and D.
int tableOf(int rop, bool pattern) {
    int t = 0;
    for (int a = 0; a < 2; ++a)
        for (int d = 0; d < 2; ++d) {
            const int bit = pattern ? ((a << 2) | d) : ((a << 1) | d);
            if ((rop >> bit) & 1)
                t |= 1 << (a * 2 + d);
        }
    return t;
}

QRgb invertRgb(QRgb c) {
    return qRgba(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c), qAlpha(c));
}

double emPerCell(const QFont& font) {
    static thread_local QHash<QString, double> cache;
    const QString key = font.key();
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QFont f = font;
    f.setPixelSize(256);
    QFontMetricsF fm(f);
    const double cell = fm.ascent() + fm.descent();
    const double r = cell > 0 ? 256.0 / cell : 1.0;
    if (cache.size() > 256)
        cache.clear();
    cache.insert(key, r);
    return r;
}

bool substitutedByDingbats(QFont& f, QFont::StyleHint hint) {
    static thread_local QHash<QString, bool> cache;
    const QString key = f.families().join(QLatin1Char(','));
    auto it = cache.constFind(key);
    bool bad;
    if (it != cache.constEnd()) {
        bad = *it;
    } else {
        const QString resolved = QFontInfo(f).family().toLower();
        bad = resolved.contains(QLatin1String("d050000l")) ||
              resolved.contains(QLatin1String("dingbat")) ||
              resolved.contains(QLatin1String("standard symbols")) ||
              resolved.contains(QLatin1String("opensymbol"));
        if (cache.size() > 256)
            cache.clear();
        cache.insert(key, bad);
    }
    if (bad)
        f.setFamilies({hint == QFont::Serif       ? QStringLiteral("serif")
                       : hint == QFont::Monospace ? QStringLiteral("monospace")
                                                  : QStringLiteral("sans-serif")});
    return bad;
}

QFont makeFont(const FontDef& fd) {
    QFont f;
    // An empty family list would keep the default font (and must never be recorded).
    const QStringList families = fontFamiliesFor(fd);
    if (!families.isEmpty())
        f.setFamilies(families);
    const int family = fd.pitchAndFamily & 0xf0;
    QFont::StyleHint hint = QFont::SansSerif;
    if ((fd.pitchAndFamily & 3) == 1 || family == 0x30)
        hint = QFont::Monospace;
    else if (family == 0x10)
        hint = QFont::Serif;
    else if (family == 0x40)
        hint = QFont::Cursive;
    else if (family == 0x50)
        hint = QFont::Decorative;
    // A named face is left to the font configuration, which knows metric-compatible
    // substitutes; the hint would override them. But an unknown face may be "substituted" by
    // a dingbat font, which would turn words into pictures: then the hint decides.
    if (fd.face.isEmpty() || substitutedByDingbats(f, hint))
        f.setStyleHint(hint);
    const int w = fd.weight <= 0 ? 400 : std::clamp(fd.weight, 1, 1000);
    f.setWeight(QFont::Weight(w));
    f.setItalic(fd.italic);
    f.setUnderline(fd.underline);
    f.setStrikeOut(fd.strikeOut);
    f.setKerning(false);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Object table

void ObjectTable::reset(int size) {
    slots_.assign(size_t(std::clamp(size, 0, kMaxSlots)), GdiObject{});
    firstFree_ = 0;
}

int ObjectTable::addLowest(GdiObject object) {
    // Every slot below firstFree_ is taken, so the first empty one from there is the lowest.
    size_t i = firstFree_;
    while (i < slots_.size() && !std::holds_alternative<std::monostate>(slots_[i]))
        ++i;
    if (i == slots_.size()) {
        if (slots_.size() >= size_t(kMaxSlots))
            return -1;
        slots_.emplace_back();
    }
    slots_[i] = std::move(object);
    firstFree_ = i + 1;
    return int(i);
}

void ObjectTable::put(quint32 index, GdiObject object) {
    if (index >= quint32(kMaxSlots))
        return;
    if (index >= slots_.size())
        slots_.resize(index + 1);
    slots_[index] = std::move(object);
    if (std::holds_alternative<std::monostate>(slots_[index]))
        firstFree_ = std::min(firstFree_, size_t(index));
}

const GdiObject* ObjectTable::get(quint32 index) const {
    if (index >= slots_.size() || std::holds_alternative<std::monostate>(slots_[index]))
        return nullptr;
    return &slots_[index];
}

void ObjectTable::remove(quint32 index) {
    if (index >= slots_.size())
        return;
    slots_[index] = std::monostate{};
    firstFree_ = std::min(firstFree_, size_t(index));
}

QPainterPath Clip::toPath() const {
    if (kind == Rect)
        return rectPath(rect);
    return path;
}

// ---------------------------------------------------------------------------------------------
// Player: framing and mapping

Player::Player(QPainter& painter, QSize size)
    : p_(painter),
      size_(size),
      target_(0, 0, size.width(), size.height()),
      pixelBudget_(qint64(SPI_MAX_PIXELS)),
      clampLimit_(64.0 * std::max(size.width(), size.height()) + 4096) {
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
}

Player::~Player() = default;

void Player::finish() {
    p_.setClipping(false);
    p_.setTransform(QTransform());
}

void Player::frameWindowToTarget(const QRectF& window, double unitsPerInch, const QRectF& bbox) {
    windowFraming_ = true;
    unitsPerInch_ = unitsPerInch;
    bbox_ = bbox;
    s_.winOrg = window.topLeft();
    s_.winExt = QPointF(window.width() != 0 ? window.width() : 1,
                        window.height() != 0 ? window.height() : 1);
    mappingChanged();
}

void Player::frameReferenceDevice(const QRectF& frameRef, QPointF pxPerMm) {
    windowFraming_ = false;
    pxPerMm_ = pxPerMm;
    const double fw = frameRef.width() != 0 ? frameRef.width() : 1;
    const double fh = frameRef.height() != 0 ? frameRef.height() : 1;
    init_ = QTransform::fromTranslate(-frameRef.left(), -frameRef.top()) *
            QTransform::fromScale(target_.width() / fw, target_.height() / fh);
    mappingChanged();
}

QTransform Player::pageTransform() const {
    const QPointF wo = s_.winOrg;
    double sx, sy;
    if (windowFraming_) {
        const int m = s_.mapMode;
        if (m >= 2 && m <= 6 && unitsPerInch_ > 0 && bbox_.width() > 0 && bbox_.height() > 0) {
            // Physical units against the placeable box, whose size in inches is known.
            const double inchesPerUnit = 1.0 / (unitsPerMm(m) * 25.4);
            sx = target_.width() / bbox_.width() * unitsPerInch_ * inchesPerUnit;
            sy = -target_.height() / bbox_.height() * unitsPerInch_ * inchesPerUnit;
        } else {
            sx = target_.width() / s_.winExt.x();
            sy = target_.height() / s_.winExt.y();
            if (m == 7) {
                const double k = std::min(std::abs(sx), std::abs(sy));
                sx = std::copysign(k, sx);
                sy = std::copysign(k, sy);
            }
        }
        return QTransform(sx, 0, 0, sy, target_.left() - wo.x() * sx, target_.top() - wo.y() * sy);
    }
    sx = s_.vpExt.x() / s_.winExt.x();
    sy = s_.vpExt.y() / s_.winExt.y();
    return QTransform(sx, 0, 0, sy, s_.vpOrg.x() - wo.x() * sx, s_.vpOrg.y() - wo.y() * sy);
}

const QTransform& Player::transform() {
    if (xfDirty_) {
        xf_ = windowFraming_ ? pageTransform() : s_.world * pageTransform() * init_;
        if (!finite(xf_) || xf_.isAffine() == false)
            xf_ = QTransform(0, 0, 0, 0, -clampLimit_, -clampLimit_);  // draws nothing visible
        xfDirty_ = false;
    }
    return xf_;
}

QPointF Player::clampPoint(QPointF p) const {
    double x = std::isfinite(p.x()) ? p.x() : 0;
    double y = std::isfinite(p.y()) ? p.y() : 0;
    return QPointF(std::clamp(x, -clampLimit_, clampLimit_),
                   std::clamp(y, -clampLimit_, clampLimit_));
}

QPointF Player::map(QPointF p) {
    return clampPoint(transform().map(p));
}

QPainterPath Player::clampPath(QPainterPath p) const {
    for (int i = 0; i < p.elementCount(); ++i) {
        const QPainterPath::Element e = p.elementAt(i);
        const QPointF c = clampPoint(QPointF(e.x, e.y));
        if (c.x() != e.x || c.y() != e.y)
            p.setElementPositionAt(i, c.x(), c.y());
    }
    return p;
}

QPainterPath Player::mapPath(const QPainterPath& logical) {
    return clampPath(transform().map(logical));
}

bool Player::axisAligned() {
    const QTransform& t = transform();
    return std::abs(t.m12()) < 1e-12 && std::abs(t.m21()) < 1e-12;
}

QRectF Player::deviceBox(const QRectF& logical) {
    return QRectF(map(logical.topLeft()), map(logical.bottomRight())).normalized();
}

void Player::setMapMode(int mode) {
    if (mode < 1 || mode > 8)
        return;
    if (mode == s_.mapMode && mode >= 7)
        return;
    s_.mapMode = mode;
    if (!windowFraming_) {
        if (mode == 1) {
            s_.winExt = s_.vpExt = QPointF(1, 1);
        } else if (mode <= 7) {
            const double k = unitsPerMm(mode);
            s_.winExt = QPointF(1000 * k, 1000 * k);
            s_.vpExt = QPointF(1000 * pxPerMm_.x(), -1000 * pxPerMm_.y());
        }
    }
    mappingChanged();
}

void Player::updateIsotropic() {
    if (s_.mapMode != 7 || windowFraming_)
        return;
    const double xdim = std::abs(s_.vpExt.x() / pxPerMm_.x() / s_.winExt.x());
    const double ydim = std::abs(s_.vpExt.y() / pxPerMm_.y() / s_.winExt.y());
    if (!(xdim > 0) || !(ydim > 0))
        return;
    if (xdim > ydim)
        s_.vpExt.setX(s_.vpExt.x() * ydim / xdim);
    else
        s_.vpExt.setY(s_.vpExt.y() * xdim / ydim);
}

void Player::setWindowOrg(QPointF p) {
    s_.winOrg = p;
    mappingChanged();
}

void Player::setWindowExt(QPointF e) {
    if (e.x() == 0 || e.y() == 0 || !std::isfinite(e.x()) || !std::isfinite(e.y()))
        return;
    if (!windowFraming_ && s_.mapMode < 7)
        return;
    s_.winExt = e;
    updateIsotropic();
    mappingChanged();
}

void Player::setViewportOrg(QPointF p) {
    if (windowFraming_)
        return;  // the viewport belongs to the player: the target rectangle
    s_.vpOrg = p;
    mappingChanged();
}

void Player::setViewportExt(QPointF e) {
    if (windowFraming_ || s_.mapMode < 7 || e.x() == 0 || e.y() == 0)
        return;
    s_.vpExt = e;
    updateIsotropic();
    mappingChanged();
}

void Player::offsetWindowOrg(QPointF d) {
    s_.winOrg += d;
    mappingChanged();
}

void Player::offsetViewportOrg(QPointF d) {
    if (windowFraming_)
        return;
    s_.vpOrg += d;
    mappingChanged();
}

namespace {
void scaleExtent(QPointF& ext, double xNum, double xDen, double yNum, double yDen) {
    double x = ext.x() * xNum / xDen;
    double y = ext.y() * yNum / yDen;
    if (x == 0 || !std::isfinite(x))
        x = 1;
    if (y == 0 || !std::isfinite(y))
        y = 1;
    ext = QPointF(x, y);
}
}  // namespace

void Player::scaleWindowExt(double xNum, double xDen, double yNum, double yDen) {
    if (xNum == 0 || xDen == 0 || yNum == 0 || yDen == 0)
        return;
    if (!windowFraming_ && s_.mapMode < 7)
        return;
    scaleExtent(s_.winExt, xNum, xDen, yNum, yDen);
    updateIsotropic();
    mappingChanged();
}

void Player::scaleViewportExt(double xNum, double xDen, double yNum, double yDen) {
    if (xNum == 0 || xDen == 0 || yNum == 0 || yDen == 0)
        return;
    if (windowFraming_ || s_.mapMode < 7)
        return;
    scaleExtent(s_.vpExt, xNum, xDen, yNum, yDen);
    updateIsotropic();
    mappingChanged();
}

void Player::setWorldTransform(const QTransform& t) {
    if (!finite(t) || !t.isInvertible())
        return;
    s_.world = t;
    mappingChanged();
}

void Player::modifyWorldTransform(const QTransform& t, int mode) {
    if (mode == 1) {
        s_.world = QTransform();
        mappingChanged();
        return;
    }
    if (mode < 2 || mode > 4 || !finite(t) || !t.isInvertible())
        return;
    QTransform w = mode == 2 ? t * s_.world : mode == 3 ? s_.world * t : t;
    if (!finite(w) || !w.isInvertible())
        return;
    s_.world = w;
    mappingChanged();
}

void Player::saveDc() {
    if (stack_.size() >= size_t(kMaxSaveDepth))
        return;
    stack_.push_back(s_);
}

void Player::restoreDc(int n) {
    const qint64 depth = qint64(stack_.size());
    qint64 level;  // number of entries left after the restore
    if (n < 0)
        level = depth + n;
    else if (n > 0)
        level = qint64(n) - 1;
    else
        return;
    if (level < 0 || level >= depth)
        return;
    s_ = std::move(stack_[size_t(level)]);
    stack_.resize(size_t(level));
    mappingChanged();
    clipDirty_ = true;
}

// ---------------------------------------------------------------------------------------------
// Clipping

void Player::setClip(Clip c) {
    s_.clip = std::move(c);
    clipDirty_ = true;
}

void Player::combineClip(const QPainterPath& device, int mode) {
    if (mode == RgnCopy) {
        Clip c;
        c.kind = Clip::Path;
        c.path = device;
        setClip(std::move(c));
        return;
    }
    QPainterPath whole;
    whole.addRect(unbounded_ ? QRectF(-clampLimit_, -clampLimit_, 2 * clampLimit_, 2 * clampLimit_)
                             : target_);
    const QPainterPath cur = s_.clip.kind == Clip::None ? whole : s_.clip.toPath();
    Clip c;
    c.kind = Clip::Path;
    switch (mode) {
        case RgnAnd:
            c.path = cur.intersected(device);
            break;
        case RgnOr:
            if (s_.clip.kind == Clip::None)
                return;
            c.path = cur.united(device);
            break;
        case RgnXor:
            c.path = cur.united(device).subtracted(cur.intersected(device));
            break;
        case RgnDiff:
            c.path = cur.subtracted(device);
            break;
        default:
            return;
    }
    // Thousands of combined pieces make every further operation slower; past a bound the
    // clip stops changing rather than letting a file stall the player.
    if (c.path.elementCount() > kMaxClipElements)
        return;
    setClip(std::move(c));
}

void Player::intersectClipRect(const QRectF& logical) {
    if (axisAligned()) {
        const QRectF d = deviceBox(logical.normalized());
        if (s_.clip.kind == Clip::None || s_.clip.kind == Clip::Rect) {
            Clip c;
            c.kind = Clip::Rect;
            c.rect = s_.clip.kind == Clip::None ? d : s_.clip.rect.intersected(d);
            if (c.rect.isEmpty())
                c.rect = QRectF();
            setClip(std::move(c));
            return;
        }
        combineClip(rectPath(d), RgnAnd);
        return;
    }
    combineClip(mapPath(rectPath(logical.normalized())), RgnAnd);
}

void Player::excludeClipRect(const QRectF& logical) {
    const QPainterPath d =
        axisAligned() ? rectPath(deviceBox(logical.normalized())) : mapPath(rectPath(logical));
    combineClip(d, RgnDiff);
}

void Player::offsetClip(QPointF logical) {
    if (s_.clip.kind == Clip::None)
        return;
    const QPointF d = transform().map(logical) - transform().map(QPointF(0, 0));
    if (!std::isfinite(d.x()) || !std::isfinite(d.y()))
        return;
    Clip c = s_.clip;
    c.rect.translate(d);
    c.path.translate(d);
    setClip(std::move(c));
}

void Player::resetClip() {
    setClip(Clip{});
}

void Player::setMetaRegion() {
    if (s_.clip.kind != Clip::None) {
        if (s_.metaClip.kind == Clip::None) {
            s_.metaClip = s_.clip;
        } else {
            s_.metaClip.path = s_.metaClip.toPath().intersected(s_.clip.toPath());
            s_.metaClip.kind = Clip::Path;
        }
    }
    setClip(Clip{});
}

void Player::applyClip() {
    if (!clipDirty_)
        return;
    clipDirty_ = false;
    // The effective clip: the file's clip, its meta region and the target.
    Clip eff = s_.clip;
    auto intersectWith = [&eff](const Clip& other) {
        if (other.kind == Clip::None)
            return;
        if (eff.kind == Clip::None) {
            eff = other;
        } else if (eff.kind == Clip::Rect && other.kind == Clip::Rect) {
            eff.rect = eff.rect.intersected(other.rect);
        } else {
            eff.path = eff.toPath().intersected(other.toPath());
            eff.kind = Clip::Path;
        }
    };
    intersectWith(s_.metaClip);
    if (!unbounded_) {
        Clip t;
        t.kind = Clip::Rect;
        t.rect = target_;
        intersectWith(t);
    }
    if (eff.kind == Clip::None)
        p_.setClipping(false);
    else if (eff.kind == Clip::Rect)
        p_.setClipRect(eff.rect.isEmpty() ? QRectF(-10, -10, 0, 0) : eff.rect);
    else
        p_.setClipPath(eff.path);
}

// ---------------------------------------------------------------------------------------------
// Pens, brushes, raster operations

double Player::penDeviceWidth() {
    const QTransform& t = transform();
    return s_.pen.width * std::hypot(t.m11(), t.m12());
}

QPen Player::devicePen() {
    const PenDef& d = s_.pen;
    if (d.style == PsNull)
        return QPen(Qt::NoPen);
    QPen pen{QColor(d.color)};
    const double w = d.geometric ? penDeviceWidth() : 0;
    const bool thin = !(w >= 1.5);
    if (thin) {
        pen.setWidthF(1);
        pen.setCosmetic(true);
        pen.setCapStyle(Qt::FlatCap);
    } else {
        pen.setWidthF(std::min(w, clampLimit_));
        pen.setCapStyle(d.endCap == 0x100   ? Qt::SquareCap
                        : d.endCap == 0x200 ? Qt::FlatCap
                                            : Qt::RoundCap);
    }
    pen.setJoinStyle(d.join == 0x1000   ? Qt::BevelJoin
                     : d.join == 0x2000 ? Qt::MiterJoin
                                        : Qt::RoundJoin);
    pen.setMiterLimit(std::max(1.0, s_.miterLimit / 2));

    QVector<qreal> dashes;
    switch (d.style) {
        case PsDash:
        case PsDot:
        case PsDashDot:
        case PsDashDotDot:
            if (thin) {
                // Cosmetic runs in device pixels.
                static const QVector<qreal> runs[4] = {
                    {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
                dashes = runs[d.style - 1];
            } else if (d.extended) {
                static const QVector<qreal> runs[4] = {
                    {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
                dashes = runs[d.style - 1];
            }
            // Wide pens of the old kind draw solid.
            break;
        case PsAlternate:
            dashes = {1, 1};
            break;
        case PsUserStyle: {
            const double scale =
                d.geometric ? std::hypot(transform().m11(), transform().m12()) / (thin ? 1 : w) : 1;
            for (qreal v : d.userDash)
                dashes.append(std::clamp(v * scale, 0.01, 1e4));
            if (dashes.size() % 2)
                dashes += dashes;
            break;
        }
        default:
            break;
    }
    if (!dashes.isEmpty()) {
        pen.setDashPattern(dashes);
        if (thin)
            pen.setCapStyle(Qt::FlatCap);
    }
    return pen;
}

QBrush Player::deviceBrush(const BrushDef& b) {
    switch (b.kind) {
        case BrushDef::Null:
            return QBrush(Qt::NoBrush);
        case BrushDef::Solid:
            return QBrush(QColor(b.color));
        case BrushDef::Hatched: {
            if (b.hatch < 0 || b.hatch > 5)
                return QBrush(QColor(b.color));
            QImage tile(8, 8, QImage::Format_ARGB32_Premultiplied);
            const QRgb bg = s_.bkMode == 2 ? s_.bkColor : qRgba(0, 0, 0, 0);
            for (int y = 0; y < 8; ++y) {
                auto* line = reinterpret_cast<QRgb*>(tile.scanLine(y));
                for (int x = 0; x < 8; ++x)
                    line[x] = (kHatch[b.hatch][y] & (0x80 >> x)) ? b.color : bg;
            }
            QBrush br(tile);
            br.setTransform(QTransform::fromTranslate(s_.brushOrg.x(), s_.brushOrg.y()));
            return br;
        }
        case BrushDef::Pattern: {
            if (b.pattern.isNull())
                return QBrush(QColor(b.color));
            QBrush br(b.monoPattern ? monoTile(b.pattern, s_.textColor, s_.bkColor) : b.pattern);
            br.setTransform(QTransform::fromTranslate(s_.brushOrg.x(), s_.brushOrg.y()));
            return br;
        }
    }
    return QBrush(Qt::NoBrush);
}

bool Player::rop2Setup(QPen& pen, QBrush& brush, QPainter::CompositionMode& mode) {
    RopColour colour;
    mode = binaryRop(s_.rop2 - 1, colour);
    auto recolour = [&](QRgb (*f)(QRgb)) {
        if (pen.style() != Qt::NoPen)
            pen.setColor(QColor(f(pen.color().rgba())));
        if (brush.style() != Qt::NoBrush)
            brush = QBrush(QColor(f(brush.color().rgba())));
    };
    switch (colour) {
        case RopColour::Skip:
            return false;
        case RopColour::Black:
            recolour([](QRgb) { return qRgb(0, 0, 0); });
            break;
        case RopColour::White:
            recolour([](QRgb) { return qRgb(255, 255, 255); });
            break;
        case RopColour::Invert:
            recolour(invertRgb);
            break;
        case RopColour::Keep:
            break;
    }
    return true;
}

void Player::prepare(const QPen& pen, const QBrush& brush, QPainter::CompositionMode mode) {
    applyClip();
    p_.setTransform(QTransform());
    p_.setPen(pen);
    p_.setBrush(brush);
    p_.setOpacity(1);
    p_.setCompositionMode(mode);
    // Raster operations on antialiased edges would combine twice.
    p_.setRenderHint(QPainter::Antialiasing, mode == QPainter::CompositionMode_SourceOver);
}

void Player::noteBounds(const QRectF& r) {
    if (!r.isValid() && r.isNull())
        return;
    bounds_ = bounds_.isNull() ? r : bounds_.united(r);
}

void Player::fillDevice(const QPainterPath& path,
                        const QBrush& brush,
                        QPainter::CompositionMode mode) {
    if (brush.style() == Qt::NoBrush || path.isEmpty())
        return;
    prepare(QPen(Qt::NoPen), brush, mode);
    p_.drawPath(path);
    noteBounds(path.controlPointRect());
}

void Player::strokeDevice(const QPainterPath& path0, bool offsetHalf) {
    QPen pen = devicePen();
    if (pen.style() == Qt::NoPen || path0.isEmpty())
        return;
    QBrush none(Qt::NoBrush);
    QPainter::CompositionMode mode;
    if (!rop2Setup(pen, none, mode))
        return;
    const QPainterPath path = offsetHalf ? path0.translated(0.5, 0.5) : path0;
    if (pen.style() == Qt::CustomDashLine && s_.bkMode == 2 &&
        mode == QPainter::CompositionMode_SourceOver) {
        // Opaque background: the gaps of a styled line show the background colour.
        QPen gap = pen;
        gap.setStyle(Qt::SolidLine);
        gap.setColor(QColor(s_.bkColor));
        prepare(gap, none, mode);
        p_.drawPath(path);
    }
    prepare(pen, none, mode);
    p_.drawPath(path);
    const double w = pen.isCosmetic() ? 1 : pen.widthF();
    noteBounds(path.controlPointRect().adjusted(-w / 2, -w / 2, w / 2, w / 2));
}

void Player::shape(const QPainterPath& fill, const QPainterPath& outline, bool offsetOutline) {
    if (!fill.isEmpty()) {
        QPen none(Qt::NoPen);
        QBrush brush = deviceBrush(s_.brush);
        QPainter::CompositionMode mode;
        if (brush.style() != Qt::NoBrush && rop2Setup(none, brush, mode))
            fillDevice(fill, brush, mode);
    }
    if (!outline.isEmpty())
        strokeDevice(outline, offsetOutline);
}

void Player::addToPath(const QPainterPath& device, bool closed) {
    s_.path.addPath(device);
    if (closed)
        s_.figureOpen = false;
}

// ---------------------------------------------------------------------------------------------
// Lines and shapes

void Player::moveTo(QPointF p) {
    s_.pos = p;
    s_.figureOpen = false;
}

void Player::lineTo(QPointF p) {
    if (s_.pathOpen) {
        if (!s_.figureOpen) {
            s_.path.moveTo(map(s_.pos));
            s_.figureOpen = true;
        }
        s_.path.lineTo(map(p));
    } else {
        QPainterPath path;
        path.moveTo(map(s_.pos));
        path.lineTo(map(p));
        strokeDevice(path);
    }
    s_.pos = p;
}

void Player::polyline(const QPolygonF& pts) {
    if (pts.size() < 2)
        return;
    QPainterPath path;
    path.moveTo(map(pts[0]));
    for (int i = 1; i < pts.size(); ++i)
        path.lineTo(map(pts[i]));
    if (s_.pathOpen) {
        addToPath(path, false);
        s_.figureOpen = false;
        return;
    }
    strokeDevice(path);
}

void Player::polylineTo(const QPolygonF& pts) {
    if (pts.isEmpty())
        return;
    if (s_.pathOpen) {
        if (!s_.figureOpen) {
            s_.path.moveTo(map(s_.pos));
            s_.figureOpen = true;
        }
        for (const QPointF& p : pts)
            s_.path.lineTo(map(p));
    } else {
        QPainterPath path;
        path.moveTo(map(s_.pos));
        for (const QPointF& p : pts)
            path.lineTo(map(p));
        strokeDevice(path);
    }
    s_.pos = pts.last();
}

void Player::polygon(const QPolygonF& pts) {
    if (pts.size() < 2)
        return;
    polyPolygon({pts});
}

void Player::polyPolygon(const QVector<QPolygonF>& polys) {
    QPainterPath path;
    path.setFillRule(s_.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    for (const QPolygonF& poly : polys) {
        if (poly.size() < 2)
            continue;
        path.moveTo(map(poly[0]));
        for (int i = 1; i < poly.size(); ++i)
            path.lineTo(map(poly[i]));
        path.closeSubpath();
    }
    if (path.isEmpty())
        return;
    if (s_.pathOpen) {
        addToPath(path, true);
        return;
    }
    shape(path, path);
}

void Player::polyPolyline(const QVector<QPolygonF>& polys) {
    for (const QPolygonF& poly : polys)
        polyline(poly);
}

void Player::polyBezier(const QPolygonF& pts) {
    if (pts.size() < 4)
        return;
    QPainterPath path;
    path.moveTo(map(pts[0]));
    for (int i = 1; i + 2 < pts.size(); i += 3)
        path.cubicTo(map(pts[i]), map(pts[i + 1]), map(pts[i + 2]));
    if (s_.pathOpen) {
        addToPath(path, false);
        s_.figureOpen = false;
        return;
    }
    strokeDevice(path);
}

void Player::polyBezierTo(const QPolygonF& pts) {
    if (pts.size() < 3)
        return;
    QPainterPath local;
    QPainterPath& path = s_.pathOpen ? s_.path : local;
    if (!s_.pathOpen || !s_.figureOpen) {
        path.moveTo(map(s_.pos));
        s_.figureOpen = s_.pathOpen;
    }
    int i = 0;
    for (; i + 2 < pts.size(); i += 3)
        path.cubicTo(map(pts[i]), map(pts[i + 1]), map(pts[i + 2]));
    s_.pos = pts[i - 1];
    if (!s_.pathOpen)
        strokeDevice(local);
}

void Player::polyDraw(const QPolygonF& pts, const QByteArray& types) {
    QPainterPath local;
    QPainterPath& path = s_.pathOpen ? s_.path : local;
    bool open = s_.pathOpen && s_.figureOpen;
    QPointF start = s_.pos;
    const int n = std::min<int>(pts.size(), types.size());
    for (int i = 0; i < n; ++i) {
        const int t = quint8(types[i]);
        const int kind = t & 6;
        if (kind == 6) {  // PT_MOVETO
            path.moveTo(map(pts[i]));
            open = true;
            start = pts[i];
            s_.pos = pts[i];
        } else if (kind == 2) {  // PT_LINETO
            if (!open) {
                path.moveTo(map(s_.pos));
                open = true;
            }
            path.lineTo(map(pts[i]));
            s_.pos = pts[i];
        } else if (kind == 4 && i + 2 < n) {  // PT_BEZIERTO: three points
            if (!open) {
                path.moveTo(map(s_.pos));
                open = true;
            }
            path.cubicTo(map(pts[i]), map(pts[i + 1]), map(pts[i + 2]));
            i += 2;
            s_.pos = pts[i];
        } else {
            break;
        }
        if (quint8(types[i]) & 1) {  // PT_CLOSEFIGURE
            path.closeSubpath();
            s_.pos = start;
            open = false;
        }
    }
    if (s_.pathOpen)
        s_.figureOpen = open;
    else
        strokeDevice(local);
}

void Player::rectangle(const QRectF& box0) {
    const QRectF box = box0.normalized();
    if (s_.pathOpen) {
        addToPath(mapPath(rectPath(box)), true);
        return;
    }
    if (!axisAligned()) {
        const QPainterPath p = mapPath(rectPath(box));
        shape(p, p);
        return;
    }
    // Right and bottom edges are exclusive: the outline runs along the last pixel inside.
    const QRectF d = deviceBox(box);
    QRectF o = d.adjusted(0.5, 0.5, -0.5, -0.5);
    if (s_.pen.style == PsInsideFrame) {
        const double h = std::max(0.0, penDeviceWidth() - 1) / 2;
        o.adjust(h, h, -h, -h);
    }
    shape(rectPath(d), o.isValid() ? rectPath(o) : QPainterPath(), false);
}

void Player::roundRect(const QRectF& box0, QSizeF corner) {
    const QRectF box = box0.normalized();
    const double cw = std::min(std::abs(corner.width()), box.width());
    const double ch = std::min(std::abs(corner.height()), box.height());
    if (s_.pathOpen || !axisAligned()) {
        QPainterPath p;
        p.addRoundedRect(box, cw / 2, ch / 2);
        p = mapPath(p);
        if (s_.pathOpen)
            addToPath(p, true);
        else
            shape(p, p);
        return;
    }
    const QTransform& t = transform();
    const double rx = cw / 2 * std::abs(t.m11()), ry = ch / 2 * std::abs(t.m22());
    const QRectF d = deviceBox(box);
    QPainterPath f, o;
    f.addRoundedRect(d, rx, ry);
    const QRectF od = d.adjusted(0.5, 0.5, -0.5, -0.5);
    if (od.isValid())
        o.addRoundedRect(od, rx, ry);
    shape(f, o, false);
}

void Player::ellipse(const QRectF& box0) {
    const QRectF box = box0.normalized();
    if (s_.pathOpen || !axisAligned()) {
        QPainterPath p;
        p.addEllipse(box);
        p = mapPath(p);
        if (s_.pathOpen)
            addToPath(p, true);
        else
            shape(p, p);
        return;
    }
    const QRectF d = deviceBox(box);
    QRectF od = d.adjusted(0.5, 0.5, -0.5, -0.5);
    if (s_.pen.style == PsInsideFrame) {
        const double h = std::max(0.0, penDeviceWidth() - 1) / 2;
        od.adjust(h, h, -h, -h);
    }
    QPainterPath f, o;
    f.addEllipse(d);
    if (od.isValid())
        o.addEllipse(od);
    shape(f, o, false);
}

QPainterPath Player::arcPath(ArcKind kind,
                             const QRectF& box0,
                             QPointF a,
                             QPointF b,
                             bool forStroke,
                             QPointF* logicalStart,
                             QPointF* logicalEnd) {
    const QRectF box = box0.normalized();
    if (box.width() <= 0 || box.height() <= 0)
        return {};
    const QPointF c = box.center();
    // Where a ray from the centre through p crosses the ellipse.
    auto onEllipse = [&](QPointF p) {
        double dx = p.x() - c.x(), dy = p.y() - c.y();
        if (dx == 0 && dy == 0)
            dx = 1;
        const double k = 1 / std::hypot(dx / (box.width() / 2), dy / (box.height() / 2));
        return QPointF(c.x() + dx * k, c.y() + dy * k);
    };
    if (logicalStart)
        *logicalStart = onEllipse(a);
    if (logicalEnd)
        *logicalEnd = onEllipse(b);

    const bool aligned = axisAligned();
    QRectF r;
    QPointF ra, rb;
    if (aligned) {
        // Work on the device: arcs run counter-clockwise as seen on the output.
        r = deviceBox(box);
        ra = map(a);
        rb = map(b);
        if (forStroke && r.width() > 1 && r.height() > 1)
            r.adjust(0.5, 0.5, -0.5, -0.5);
    } else {
        r = box;
        ra = a;
        rb = b;
    }
    const QPointF rc = aligned ? deviceBox(box).center() : c;
    const double rx = r.width() / 2, ry = r.height() / 2;
    auto angle = [&](QPointF p) {
        double dx = p.x() - rc.x(), dy = p.y() - rc.y();
        if (dx == 0 && dy == 0)
            dx = 1;
        return std::atan2(-dy * rx, dx * ry) * 180 / M_PI;
    };
    const double sa = angle(ra), ea = angle(rb);
    bool ccw = !s_.clockwise;
    if (!aligned && transform().determinant() < 0)
        ccw = !ccw;
    double sweep = std::fmod(ea - sa, 360.0);
    if (std::abs(sweep) < 1e-9) {
        sweep = ccw ? 360 : -360;
    } else if (ccw) {
        if (sweep < 0)
            sweep += 360;
    } else if (sweep > 0) {
        sweep -= 360;
    }
    QPainterPath path;
    if (kind == ArcKind::Pie) {
        path.moveTo(rc);
        path.arcTo(r, sa, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(r, sa);
        path.arcTo(r, sa, sweep);
        if (kind == ArcKind::Chord)
            path.closeSubpath();
    }
    return aligned ? path : mapPath(path);
}

void Player::arc(ArcKind kind, const QRectF& box, QPointF start, QPointF end) {
    QPointF ls, le;
    const bool closed = kind == ArcKind::Pie || kind == ArcKind::Chord;
    if (s_.pathOpen) {
        QPainterPath p = arcPath(kind, box, start, end, false, &ls, &le);
        if (p.isEmpty())
            return;
        if (kind == ArcKind::ArcTo) {
            if (!s_.figureOpen)
                s_.path.moveTo(map(s_.pos));
            s_.path.connectPath(p);
            s_.figureOpen = true;
            s_.pos = le;
        } else {
            addToPath(p, closed);
            s_.figureOpen = !closed;
        }
        return;
    }
    QPainterPath outline = arcPath(kind, box, start, end, true, &ls, &le);
    if (outline.isEmpty())
        return;
    if (kind == ArcKind::ArcTo) {
        QPainterPath p;
        p.moveTo(map(s_.pos));
        p.connectPath(outline);
        outline = p;
        s_.pos = le;
    }
    if (closed)
        shape(arcPath(kind, box, start, end, false, nullptr, nullptr), outline, false);
    else
        strokeDevice(outline, false);
}

void Player::angleArc(QPointF center, double radius, double startAngle, double sweepAngle) {
    if (!std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(sweepAngle))
        return;
    sweepAngle = std::clamp(sweepAngle, -3600.0, 3600.0);
    const QRectF box(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    QPainterPath logical;
    logical.moveTo(s_.pos);
    logical.arcTo(box, startAngle, sweepAngle);
    const double e = (startAngle + sweepAngle) * M_PI / 180;
    s_.pos = QPointF(center.x() + radius * std::cos(e), center.y() - radius * std::sin(e));
    QPainterPath d = mapPath(logical);
    if (s_.pathOpen) {
        if (s_.figureOpen)
            s_.path.connectPath(d);
        else
            s_.path.addPath(d);
        s_.figureOpen = true;
        return;
    }
    strokeDevice(d);
}

void Player::setPixel(QPointF p, QRgb color) {
    const QPointF d = map(p);
    fillDevice(rectPath(QRectF(std::floor(d.x()), std::floor(d.y()), 1, 1)), QBrush(QColor(color)));
}

QPainterPath Player::regionToDevice(const QRegion& logical) {
    QPainterPath p;
    p.addRegion(logical);
    return mapPath(p);
}

void Player::fillRegion(const QPainterPath& device, const BrushDef& brush) {
    QPen none(Qt::NoPen);
    QBrush br = deviceBrush(brush);
    QPainter::CompositionMode mode;
    if (rop2Setup(none, br, mode))
        fillDevice(device, br, mode);
}

void Player::frameRegion(const QPainterPath& device, const BrushDef& brush, QSizeF logicalSize) {
    const QTransform& t = transform();
    const double w = std::max(1.0, std::abs(logicalSize.width() * std::hypot(t.m11(), t.m12())));
    QPainterPathStroker st;
    st.setWidth(std::min(2 * w, clampLimit_));
    st.setJoinStyle(Qt::MiterJoin);
    fillRegion(st.createStroke(device).intersected(device), brush);
}

void Player::invertRegion(const QPainterPath& device) {
    fillDevice(device, QBrush(Qt::white), QPainter::RasterOp_NotDestination);
}

void Player::gradientRect(const QRectF& logical, QRgb c1, QRgb c2, bool vertical) {
    const QRectF r = logical.normalized();
    if (r.isEmpty())
        return;
    const QPointF a = map(logical.topLeft());
    const QPointF b = vertical ? map(QPointF(logical.left(), logical.bottom()))
                               : map(QPointF(logical.right(), logical.top()));
    QLinearGradient g(a, b);
    g.setColorAt(0, QColor(c1));
    g.setColorAt(1, QColor(c2));
    fillDevice(axisAligned() ? rectPath(deviceBox(r)) : mapPath(rectPath(r)), QBrush(g));
}

void Player::gradientTriangle(const QPolygonF& logical, QRgb c1, QRgb c2, QRgb c3) {
    QPainterPath p;
    p.addPolygon(logical);
    p.closeSubpath();
    const QRgb avg =
        qRgb((qRed(c1) + qRed(c2) + qRed(c3)) / 3, (qGreen(c1) + qGreen(c2) + qGreen(c3)) / 3,
             (qBlue(c1) + qBlue(c2) + qBlue(c3)) / 3);
    fillDevice(mapPath(p), QBrush(QColor(avg)));
}

// ---------------------------------------------------------------------------------------------
// Paths

void Player::beginPath() {
    s_.path = QPainterPath();
    s_.pathOpen = true;
    s_.figureOpen = false;
}

void Player::endPath() {
    s_.pathOpen = false;
    s_.figureOpen = false;
}

void Player::abortPath() {
    s_.path = QPainterPath();
    s_.pathOpen = false;
    s_.figureOpen = false;
}

void Player::closeFigure() {
    if (!s_.pathOpen)
        return;
    s_.path.closeSubpath();
    s_.figureOpen = false;
}

void Player::fillPath() {
    if (s_.pathOpen)
        return;  // GDI refuses a path that was never ended
    QPainterPath p = s_.path;
    p.setFillRule(s_.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    shape(p, QPainterPath());
    s_.path = QPainterPath();
}

void Player::strokePath() {
    if (s_.pathOpen)
        return;
    strokeDevice(s_.path);
    s_.path = QPainterPath();
}

void Player::strokeAndFillPath() {
    if (s_.pathOpen)
        return;
    QPainterPath p = s_.path;
    p.setFillRule(s_.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    shape(p, p);
    s_.path = QPainterPath();
}

void Player::widenPath() {
    if (s_.pathOpen || s_.path.isEmpty())
        return;
    QPainterPathStroker st;
    st.setWidth(std::clamp(penDeviceWidth(), 1.0, clampLimit_));
    st.setCapStyle(Qt::RoundCap);
    st.setJoinStyle(Qt::RoundJoin);
    s_.path = st.createStroke(s_.path);
}

void Player::selectClipPath(int mode) {
    if (s_.pathOpen)
        return;
    QPainterPath p = s_.path;
    p.setFillRule(s_.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    combineClip(p, mode);
    s_.path = QPainterPath();
}

// ---------------------------------------------------------------------------------------------
// Raster operations and bitmaps

void Player::fillWithRop(const QPainterPath& device, quint32 rop) {
    const int idx = int((rop >> 16) & 0xff);
    RopColour colour;
    const QPainter::CompositionMode mode = binaryRop(tableOf(idx, true), colour);
    QBrush brush = deviceBrush(s_.brush);
    switch (colour) {
        case RopColour::Skip:
            return;
        case RopColour::Black:
            brush = QBrush(Qt::black);
            break;
        case RopColour::White:
            brush = QBrush(Qt::white);
            break;
        case RopColour::Invert:
            brush = QBrush(QColor(invertRgb(brush.color().rgba())));
            break;
        case RopColour::Keep:
            if (mode == QPainter::RasterOp_NotDestination)
                brush = QBrush(Qt::white);
            break;
    }
    fillDevice(device, brush, mode);
}

void Player::patBlt(const QRectF& dst, quint32 rop) {
    const QRectF r = dst.normalized();
    if (r.isEmpty())
        return;
    fillWithRop(axisAligned() ? rectPath(deviceBox(r)) : mapPath(rectPath(r)), rop);
}

void Player::blit(const QRectF& dst, const QImage& image, const QRectF& src, quint32 rop) {
    const int idx = int((rop >> 16) & 0xff);
    const bool usesSource = ((idx >> 2) & 0x33) != (idx & 0x33);
    const bool usesPattern = ((idx >> 4) & 0x0f) != (idx & 0x0f);
    if (!usesSource) {
        patBlt(dst, rop);
        return;
    }
    if (image.isNull() || dst.width() == 0 || dst.height() == 0 || !(src.width() > 0) ||
        !(src.height() > 0))
        return;
    const QRectF crop = src.intersected(QRectF(image.rect()));
    if (crop.isEmpty())
        return;
    const double kx = dst.width() / src.width(), ky = dst.height() / src.height();
    const QRectF d(dst.x() + (crop.x() - src.x()) * kx, dst.y() + (crop.y() - src.y()) * ky,
                   crop.width() * kx, crop.height() * ky);

    QImage img = image;
    if (img.format() != QImage::Format_ARGB32 && img.format() != QImage::Format_RGB32 &&
        img.format() != QImage::Format_ARGB32_Premultiplied)
        img = img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32
                                                        : QImage::Format_RGB32);
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    if (!usesPattern) {
        RopColour colour;
        mode = binaryRop(tableOf(idx, false), colour);
        switch (colour) {
            case RopColour::Skip:
                return;
            case RopColour::Black:
            case RopColour::White:
                patBlt(dst, colour == RopColour::Black ? 0x00000042 : 0x00FF0062);
                return;
            case RopColour::Invert:
                img.invertPixels();
                break;
            case RopColour::Keep:
                break;
        }
    } else if (idx == 0xC0) {
        // MERGECOPY: source AND brush colour.
        const QRgb b = s_.brush.color;
        img = img.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < img.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                line[x] = qRgba(qRed(line[x]) & qRed(b), qGreen(line[x]) & qGreen(b),
                                qBlue(line[x]) & qBlue(b), qAlpha(line[x]));
        }
    }
    // Other operations that mix source and pattern are drawn as a plain copy.

    const QTransform m =
        QTransform::fromScale(d.width() / crop.width(), d.height() / crop.height()) *
        QTransform::fromTranslate(d.x(), d.y()) * transform();
    const QTransform full = QTransform::fromTranslate(-crop.x(), -crop.y()) * m;
    if (!finite(full))
        return;
    const QRectF devRect = full.mapRect(crop);
    if (!(devRect.width() > 0) || devRect.width() > 4 * clampLimit_ ||
        devRect.height() > 4 * clampLimit_)
        return;
    applyClip();
    p_.setOpacity(1);
    p_.setTransform(full);
    p_.setCompositionMode(mode);
    p_.setRenderHint(QPainter::Antialiasing, false);
    const bool shrinking = devRect.width() < crop.width() || devRect.height() < crop.height();
    p_.setRenderHint(QPainter::SmoothPixmapTransform, shrinking && s_.stretchMode == 4);
    p_.drawImage(crop, img, crop);
    p_.setTransform(QTransform());
    noteBounds(devRect);
}

void Player::alphaBlit(const QRectF& dst, const QImage& image, const QRectF& src, int constAlpha) {
    if (image.isNull() || constAlpha <= 0 || dst.width() == 0 || dst.height() == 0 ||
        !(src.width() > 0) || !(src.height() > 0))
        return;
    const QRectF crop = src.intersected(QRectF(image.rect()));
    if (crop.isEmpty())
        return;
    const double kx = dst.width() / src.width(), ky = dst.height() / src.height();
    const QRectF d(dst.x() + (crop.x() - src.x()) * kx, dst.y() + (crop.y() - src.y()) * ky,
                   crop.width() * kx, crop.height() * ky);
    const QTransform full =
        QTransform::fromTranslate(-crop.x(), -crop.y()) *
        QTransform::fromScale(d.width() / crop.width(), d.height() / crop.height()) *
        QTransform::fromTranslate(d.x(), d.y()) * transform();
    if (!finite(full))
        return;
    applyClip();
    p_.setTransform(full);
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p_.setOpacity(std::min(constAlpha, 255) / 255.0);
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setRenderHint(QPainter::SmoothPixmapTransform, s_.stretchMode == 4);
    p_.drawImage(crop, image, crop);
    p_.setOpacity(1);
    p_.setTransform(QTransform());
    noteBounds(full.mapRect(crop));
}

// ---------------------------------------------------------------------------------------------
// Text

void Player::text(const TextRun& run) {
    const QTransform& t = transform();
    const FontDef& fd = s_.font;
    const bool updateCp = s_.textAlign & 1;
    const QPointF ref = updateCp ? s_.pos : run.ref;

    QPainterPath rectDevice;
    if (run.hasRect) {
        const QRectF r = run.rect.normalized();
        rectDevice = axisAligned() ? rectPath(deviceBox(r)) : mapPath(rectPath(r));
        if (run.options & EtoOpaque)
            fillDevice(rectDevice, QBrush(QColor(s_.bkColor)));
    }
    if (run.text.isEmpty() || (run.options & EtoGlyphIndex))
        return;  // glyph numbers of a font we do not have cannot be drawn

    // The glyph frame follows the mapping but stays upright and unmirrored.
    QTransform a(t.m11(), t.m12(), t.m21(), t.m22(), 0, 0);
    if (a.determinant() < 0)
        a = (t.m22() < 0 ? QTransform::fromScale(1, -1) : QTransform::fromScale(-1, 1)) * a;
    const double ky = std::hypot(a.m21(), a.m22());
    if (!(ky > 0) || !std::isfinite(ky))
        return;

    QFont font = makeFont(fd);
    double em;
    if (fd.height < 0)
        em = -double(fd.height);
    else if (fd.height > 0)
        em = fd.height * emPerCell(font);
    else
        em = 13.0 / ky;  // the device's default font
    const double deviceEm = em * ky;
    if (!(deviceEm >= 0.5) || deviceEm > 1e5)
        return;
    const int px = std::clamp(int(std::lround(deviceEm)), 2, 4096);
    font.setPixelSize(px);
    const QFontMetricsF fm(font);
    const double s = em / px;  // logical units per glyph unit

    double stretch = 1;
    if (fd.width != 0) {
        const double avg = fm.averageCharWidth();
        if (avg > 0)
            stretch = std::clamp(std::abs(double(fd.width)) / s / avg, 0.05, 20.0);
    }

    // Positions along the baseline, in glyph units.
    const QString& str = run.text;
    const int n = int(str.size());
    QVector<double> xs(n + 1, 0), ys(n + 1, 0);
    // Dingbat fonts we do not have are not drawn, but still take their room.
    const bool perChar = !run.dx.isEmpty() || s_.charExtra != 0 || run.symbol;
    double x = 0, y = 0;
    if (!run.dx.isEmpty()) {
        for (int i = 0; i < n; ++i) {
            xs[i] = x;
            ys[i] = y;
            x += run.dx.value(i) / s;
            y += run.dy.value(i) / s;
        }
    } else if (perChar) {
        for (int i = 0; i < n; ++i) {
            xs[i] = x;
            const int len = (str[i].isHighSurrogate() && i + 1 < n) ? 2 : 1;
            if (i > 0 && str[i].isLowSurrogate())
                continue;
            x += fm.horizontalAdvance(str.mid(i, len)) * stretch + s_.charExtra / s;
        }
    } else {
        x = fm.horizontalAdvance(str) * stretch;
    }
    const double width = x;

    double x0 = 0;
    switch (s_.textAlign & 6) {
        case 6:
            x0 = -width / 2;
            break;
        case 2:
            x0 = -width;
            break;
    }
    double base = 0;
    switch (s_.textAlign & 24) {
        case 0:
            base = fm.ascent();
            break;
        case 8:
            base = -fm.descent();
            break;
    }

    QTransform rot;
    rot.rotate(-fd.escapement / 10.0);
    const QPointF p0 = map(ref);
    const QTransform frame =
        QTransform::fromScale(s, s) * a * rot * QTransform::fromTranslate(p0.x(), p0.y());
    if (!finite(frame))
        return;
    const QRectF cell(x0, base - fm.ascent(), width, fm.ascent() + fm.descent());

    if (s_.bkMode == 2 && !(run.hasRect && (run.options & EtoOpaque))) {
        QPainterPath bg;
        bg.addPolygon(frame.map(QPolygonF(cell)));
        bg.closeSubpath();
        fillDevice(clampPath(bg), QBrush(QColor(s_.bkColor)));
    }

    applyClip();
    const bool clipped = run.hasRect && (run.options & EtoClipped);
    if (clipped) {
        p_.setClipPath(rectDevice, Qt::IntersectClip);
        clipDirty_ = true;
    }
    const QTransform glyphs = QTransform::fromScale(stretch, 1) * frame;
    const bool asOutlines = !(aspectOf(glyphs) <= kMaxGlyphAspect);
    p_.setTransform(glyphs);
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p_.setOpacity(1);
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setFont(font);
    p_.setPen(QColor(s_.textColor));
    p_.setBrush(Qt::NoBrush);
    QPainterPath outlines;
    const auto draw = [&](QPointF at, const QString& text) {
        if (asOutlines)
            outlines.addText(at, font, text);
        else
            p_.drawText(at, text);
    };
    if (!perChar) {
        draw(QPointF(x0 / stretch, base), str);
    } else {
        for (int i = 0; i < n; ++i) {
            if (str[i].isLowSurrogate() && i > 0)
                continue;
            const int len = (str[i].isHighSurrogate() && i + 1 < n) ? 2 : 1;
            const QString ch = str.mid(i, len);
            if (ch[0].isSpace() || (run.symbol && ch[0].unicode() >= 0xf000))
                continue;
            draw(QPointF((x0 + xs[i]) / stretch, base + ys[i]), ch);
        }
    }
    if (!outlines.isEmpty())
        p_.fillPath(outlines, QColor(s_.textColor));
    p_.setTransform(QTransform());
    noteBounds(frame.mapRect(cell));

    if (updateCp) {
        double adv = width * s;
        if (t.m11() < 0)
            adv = -adv;
        if ((s_.textAlign & 6) == 0)
            s_.pos.rx() += adv;
        else if ((s_.textAlign & 6) == 2)
            s_.pos.rx() -= adv;
    }
}

}  // namespace kordel::mf
