#include "FirmwareImages.h"

#include "admin/FirmwareImage.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtEndian>

#include <zlib.h>

QByteArray encipherContainer(const QByteArray& plain, quint64 key, quint8 flags, quint8 version)
{
    QByteArray container;
    container.reserve(plain.size() + 2);
    container.append(char(version)).append(char(flags));
    uchar previous = 0;
    for (int p = 0; p < plain.size(); ++p) {
        const uchar e = uchar(plain[p]) ^ uchar(key >> (8 * (p % 8))) ^ previous;
        container.append(char(e));
        previous = e;
    }
    return container;
}

QByteArray plainStream(const QByteArray& payload, quint8 flags, char filler)
{
    QByteArray plain(1, filler);
    if (flags & FirmwareCipher::FlagCrc) {
        const quint16 crc = FirmwareCipher::crc(payload);
        plain.append(char(crc >> 8)).append(char(crc & 0xff));
    } else if (flags & FirmwareCipher::FlagDigest) {
        plain.append(QCryptographicHash::hash(payload, QCryptographicHash::Sha1));
    }
    return plain.append(payload);
}

QByteArray encodeFirmware(const QByteArray& image, quint64 key, quint8 flags, char filler, quint8 version)
{
    const QByteArray payload = (flags & FirmwareCipher::FlagCompressed) ? qCompress(image) : image;
    return encipherContainer(plainStream(payload, flags, filler), key, flags, version);
}

QByteArray compressedZeros(qint64 zeros, quint32 claimedSize)
{
    QByteArray payload(4, '\0');
    qToBigEndian<quint32>(claimedSize, payload.data());
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK)
        return {};
    static const QByteArray slice(1 << 20, '\0');
    char out[1 << 16];
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        const qint64 left = zeros - qint64(stream.total_in);
        if (stream.avail_in == 0 && left > 0) {
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(slice.constData()));
            stream.avail_in = uInt(qMin<qint64>(left, slice.size()));
        }
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = sizeof out;
        status = deflate(&stream, zeros - qint64(stream.total_in) > stream.avail_in ? Z_NO_FLUSH : Z_FINISH);
        if (status == Z_STREAM_ERROR)
            break;
        payload.append(out, int(sizeof out - stream.avail_out));
    }
    deflateEnd(&stream);
    return status == Z_STREAM_END ? payload : QByteArray();
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

QByteArray markerFreeBytes(int size, quint32 seed)
{
    const QByteArray altered = QByteArray(FirmwareImage::PlainMarker).replace(':', ';');
    return randomBytes(size, seed).replace(FirmwareImage::PlainMarker, altered);
}

QByteArray plainImage(int size, quint32 seed) { return markerFreeBytes(size, seed).append(FirmwareImage::PlainMarker); }
