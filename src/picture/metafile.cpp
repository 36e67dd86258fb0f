#include "metafile.h"

#include <algorithm>
#include <cmath>

#include "metafile_state.h"
#include "spi.h"

namespace kordel {

namespace mf {

QSize fittedSize(double width, double height) {
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0)
        return QSize(1, 1);
    // A vector picture has no natural limit, but whoever rasterises it at its stored size
    // needs one: the same as for decoded pictures.
    double k = 1;
    k = std::min(k, SPI_MAX_DIMENSION / width);
    k = std::min(k, SPI_MAX_DIMENSION / height);
    k = std::min(k, std::sqrt(double(SPI_MAX_PIXELS) / (width * height)));
    return QSize(std::max(1, int(std::lround(width * k))),
                 std::max(1, int(std::lround(height * k))));
}

}  // namespace mf

std::optional<Metafile> playMetafile(const QByteArray& data, double dpiX, double dpiY) {
    if (!(dpiX > 0) || !(dpiY > 0) || dpiX > 10000 || dpiY > 10000)
        return std::nullopt;
    const mf::Bytes bytes(data);
    if (mf::isEmf(bytes))
        return mf::playEmf(bytes, dpiX, dpiY);
    return mf::playWmf(bytes, dpiX, dpiY);
}

}  // namespace kordel
