#include "Snapshot.h"

#include "platform/Detached.h"
#include "widgets/Palette.h"
#include "widgets/PanelView.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

void putBigEndian(QByteArray& out, quint32 v) {
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(bytes, 4);
}

void putChunk(QByteArray& out, const char* type, QByteArrayView data) {
    putBigEndian(out, quint32(data.size()));
    const qsizetype at = out.size();
    out.append(type, 4);
    out.append(data);
    const auto* bytes = reinterpret_cast<const Bytef*>(out.constData() + at);
    putBigEndian(out, quint32(crc32(0, bytes, uInt(out.size() - at))));
}

// Some of the picture's rows, deflated, with the checksum of their scanlines.
struct Part {
    QByteArray deflated;
    uLong adler = adler32(0, nullptr, 0);
    uLong rawSize = 0;
};

// Rows [from, to) as PNG scanlines (no filter) in one raw deflate stream, the
// last one ended, any other flushed to a byte so that the next follows it. They
// are made a few at a time into one small buffer that stays in the cache.
bool deflateRows(const QImage& opaque, int from, int to, bool last, Part& part) {
    constexpr int kRowsAtOnce = 16;
    const int width = opaque.width();
    const qsizetype rowBytes = 1 + 3 * qsizetype(width);
    // One byte more: each pixel is stored as four bytes, the fourth overwritten next.
    QByteArray scanlines(rowBytes * kRowsAtOnce + 1, Qt::Uninitialized);
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    part.rawSize = uLong(rowBytes * (to - from));
    part.deflated.resize(qsizetype(deflateBound(&z, part.rawSize)) + 16);
    z.next_out = reinterpret_cast<Bytef*>(part.deflated.data());
    z.avail_out = uInt(part.deflated.size());
    int done = Z_OK;
    for (int y = from; y < to && done == Z_OK;) {
        const int rows = std::min(kRowsAtOnce, to - y);
        char* out = scanlines.data();
        for (const int end = y + rows; y < end; ++y) {
            *out++ = 0;
            const auto* pixel = reinterpret_cast<const quint32*>(opaque.constScanLine(y));
            for (int x = 0; x < width; ++x, out += 3) {
                const quint32 rgb = qToBigEndian(pixel[x] << 8); // 0xRRGGBB00 as R, G, B, 0
                std::memcpy(out, &rgb, 4);
            }
        }
        auto* bytes = reinterpret_cast<Bytef*>(scanlines.data());
        const uInt size = uInt(rows * rowBytes);
        part.adler = adler32(part.adler, bytes, size);
        z.next_in = bytes;
        z.avail_in = size;
        const bool end = y == to;
        done = deflate(&z, !end ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH);
        if (!end && done == Z_OK && z.avail_in != 0) done = Z_BUF_ERROR;
    }
    part.deflated.resize(qsizetype(z.total_out));
    const bool whole = z.avail_in == 0;
    deflateEnd(&z);
    return whole && (last ? done == Z_STREAM_END : done == Z_OK);
}

} // namespace

namespace Snapshot {

// Without row filters, at light compression: a panel's flat colours come out
// small, and the picture is compressed in two halves at once, as one stream.
bool writePng(const QImage& image, const QString& path) {
    const QImage opaque = image.convertToFormat(QImage::Format_RGB32); // no copy when drawn so
    const int half = opaque.height() / 2;
    Part top, bottom;
    bool topDone = false, bottomDone = false;
    runAlongside([&] { topDone = deflateRows(opaque, 0, half, false, top); },
                 [&] { bottomDone = deflateRows(opaque, half, opaque.height(), true, bottom); });
    if (!topDone || !bottomDone) return false;

    QByteArray header;
    putBigEndian(header, quint32(opaque.width()));
    putBigEndian(header, quint32(opaque.height()));
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    QByteArray stream("\x78\x01", 2);         // deflate, 32 KiB window, fastest
    stream += top.deflated;
    stream += bottom.deflated;
    putBigEndian(stream,
                 quint32(adler32_combine(top.adler, bottom.adler, z_off_t(bottom.rawSize))));
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", stream);
    putChunk(png, "IEND", {});
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(png) == png.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

void render(Engine& engine, const QString& path, bool dark, bool expandAll) {
    QApplication::setPalette(dark ? Palette::dark() : Palette::light());
    PanelView panel(&engine, expandAll);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();      // lays the panel out; nothing reaches a screen
    panel.showWhole(); // a picture shows every row
    const double scale = 2.0;
    QImage image(QSize(panel.width(), panel.height()) * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(dark ? QColor::fromRgbF(0.17f, 0.17f, 0.17f) : QColor(Qt::white));
    panel.setAutoFillBackground(false);
    {
        QPainter p(&image);
        panel.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    panel.hide();
    writePng(image, path);
}

} // namespace Snapshot
