#pragma once

#include "admin/FirmwareCipher.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QtEndian>

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
