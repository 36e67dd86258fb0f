#include "metafile_state.h"

#include <algorithm>
#include <cmath>

#include "spi.h"

namespace kordel::mf {

namespace {

constexpr int kMaxSaveDepth = 4096;
constexpr int kMaxClipElements = 4000;

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

bool selectInto(DcState& dc, const GdiObject& object) {
    if (const auto* pen = std::get_if<PenDef>(&object))
        dc.pen = *pen;
    else if (const auto* b = std::get_if<BrushDef>(&object))
        dc.brush = *b;
    else if (const auto* f = std::get_if<FontDef>(&object))
        dc.font = *f;
    else if (const auto* pal = std::get_if<Palette>(&object))
        dc.palette = std::make_shared<const Palette>(*pal);
    else
        return false;
    return true;
}

}  // namespace kordel::mf
