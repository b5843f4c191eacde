#pragma once

#include "admin/FirmwareCipher.h"

#include <QByteArray>

// Firmware files for the tests, benchmarks and fuzz seeds.
//
// Containers are built as the inverse of FirmwareCipher::decode(): version,
// flags, then the filler, the optional CRC or digest and the (optionally
// compressed) payload, each byte enciphered as
// E[p] = D[p] ^ keyByte(p % 8) ^ E[p - 1], E[-1] = 0.

// Enciphers a deciphered stream (filler, check value, payload) into a
// container with the given version and flags.
QByteArray encipherContainer(const QByteArray& plain, quint64 key, quint8 flags,
                             quint8 version = FirmwareCipher::ContainerVersion);

// The deciphered stream for `payload` as it stands (already compressed when
// the flags say so): filler, then the CRC or digest the flags ask for.
QByteArray plainStream(const QByteArray& payload, quint8 flags, char filler = 0x5a);

// A container holding `image`, compressed first when the flags say so.
QByteArray encodeFirmware(const QByteArray& image, quint64 key, quint8 flags, char filler = 0x5a,
                          quint8 version = FirmwareCipher::ContainerVersion);

// A payload in qCompress form that claims `claimedSize` bytes and inflates
// to `zeros` zero bytes, made a slice at a time: a 200 MB image never exists
// here, only its compressed form of a few hundred KB.
QByteArray compressedZeros(qint64 zeros, quint32 claimedSize);

// `size` bytes from a generator seeded with `seed`: the same on every run.
QByteArray randomBytes(int size, quint32 seed);
// The same, with the marker of a plain image (FirmwareImage::PlainMarker)
// altered wherever chance put it: an image to encipher.
QByteArray markerFreeBytes(int size, quint32 seed);
// A plain image file: marker-free random bytes that end with the marker.
QByteArray plainImage(int size, quint32 seed);
