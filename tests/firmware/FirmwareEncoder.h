#pragma once

#include "admin/FirmwareCipher.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QtEndian>

#include <zlib.h>

// Builds enciphered firmware containers for the tests and benchmarks, the
// inverse of FirmwareCipher::decode(): version, flags, then the filler, the
// optional CRC or digest and the (optionally compressed) payload, each byte
// enciphered as E[p] = D[p] ^ keyByte(p % 8) ^ E[p - 1], E[-1] = 0.
// Enciphers a deciphered stream (filler, check value, payload) into a
// container with the given version and flags.
inline QByteArray encipherContainer(const QByteArray& plain, quint64 key, quint8 flags,
                                    quint8 version = FirmwareCipher::ContainerVersion)
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

// The deciphered stream for `payload` as it stands (already compressed when
// the flags say so): filler, then the CRC or digest the flags ask for.
inline QByteArray plainStream(const QByteArray& payload, quint8 flags, char filler = 0x5a)
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

inline QByteArray encodeFirmware(const QByteArray& image, quint64 key, quint8 flags, char filler = 0x5a,
                                 quint8 version = FirmwareCipher::ContainerVersion)
{
    const QByteArray payload = (flags & FirmwareCipher::FlagCompressed) ? qCompress(image) : image;
    return encipherContainer(plainStream(payload, flags, filler), key, flags, version);
}

// A payload in qCompress form that claims `claimedSize` bytes and inflates
// to `zeros` zero bytes, made a slice at a time: a 200 MB image never exists
// here, only its compressed form of a few hundred KB.
inline QByteArray compressedZeros(qint64 zeros, quint32 claimedSize)
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
