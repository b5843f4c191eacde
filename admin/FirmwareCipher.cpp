#include "admin/FirmwareCipher.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <cstring>

namespace {

// The built-in key, kept as two 32-bit halves; LENSDESK_FIRMWARE_KEY replaces it.
constexpr quint32 FirmwareKeyHigh = 0x4b58c0deu;
constexpr quint32 FirmwareKeyLow = 0x0e7a5f31u;

constexpr int CrcSize = 2;
constexpr int DigestSize = 20;
constexpr int FillerSize = 1;
constexpr int HeaderSize = 2;

// A compressed payload starts with the image size it claims (4 bytes, big
// endian), and the toolkit reserves that much before it inflates anything:
// a ten-byte file could make the panel take 2 GB. No controller image comes
// near this bound; a larger claim is treated as damaged compressed data.
constexpr quint32 LargestImage = 64u << 20;
constexpr int ClaimedSizeBytes = 4;

// Deciphers `count` bytes of the enciphered stream starting at stream position
// `position` into `out`. `previous` is the enciphered byte before the first
// one (0 at the stream's start).
void decipher(const uchar* in, uchar* out, qsizetype count, qsizetype position, uchar previous,
              const QByteArray& keyBytes)
{
    // The key word as it lines up with an eight-byte block starting at `position`.
    uchar rotatedKey[8];
    for (int i = 0; i < 8; ++i)
        rotatedKey[i] = uchar(keyBytes[int((position + i) % 8)]);
    const quint64 key = qFromLittleEndian<quint64>(rotatedKey);

    qsizetype p = 0;
    for (; p + 8 <= count; p += 8) {
        const quint64 word = qFromLittleEndian<quint64>(in + p);
        // Byte j of the shifted word is enciphered byte j - 1 of this block.
        const quint64 chained = (word << 8) | previous;
        qToLittleEndian<quint64>(word ^ key ^ chained, out + p);
        previous = uchar(word >> 56);
    }
    for (; p < count; ++p) {
        const uchar e = in[p];
        out[p] = e ^ rotatedKey[p % 8] ^ previous;
        previous = e;
    }
}

} // namespace

quint64 firmwareKey()
{
#ifdef LENSDESK_FIRMWARE_KEY
    return quint64(LENSDESK_FIRMWARE_KEY);
#else
    return (quint64(FirmwareKeyHigh) << 32) | FirmwareKeyLow;
#endif
}

FirmwareCipher::FirmwareCipher(quint64 key)
    : m_key(key)
{
    m_keyBytes.resize(8);
    for (int i = 0; i < 8; ++i)
        m_keyBytes[i] = char((key >> (8 * i)) & 0xff);
}

QByteArray FirmwareCipher::decode(const QByteArray& container)
{
    if (m_keyBytes.isEmpty()) {
        qWarning("No key set.");
        m_lastError = NoKey;
        return {};
    }
    if (container.size() < HeaderSize + 1)
        return {};
    if (quint8(container[0]) != ContainerVersion) {
        m_lastError = UnknownVersion;
        qWarning("Invalid version or not a cyphertext.");
        return {};
    }

    const quint8 flags = quint8(container[1]);
    const auto* stream = reinterpret_cast<const uchar*>(container.constData()) + HeaderSize;
    const qsizetype streamSize = container.size() - HeaderSize;

    // The CRC takes precedence over the digest when both flags are set.
    const int checkSize = (flags & FlagCrc) ? CrcSize : (flags & FlagDigest) ? DigestSize : 0;
    const qsizetype prefixSize = FillerSize + checkSize;
    if (streamSize < prefixSize) {
        // Only reachable with a check value: the filler always fits.
        m_lastError = IntegrityFailure;
        return {};
    }

    uchar prefix[FillerSize + DigestSize];
    decipher(stream, prefix, prefixSize, 0, 0, m_keyBytes);

    // The payload is deciphered straight into the result: no second copy.
    QByteArray payload(int(streamSize - prefixSize), Qt::Uninitialized);
    decipher(stream + prefixSize, reinterpret_cast<uchar*>(payload.data()), payload.size(), prefixSize,
             stream[prefixSize - 1], m_keyBytes);

    bool intact = true;
    if (flags & FlagCrc) {
        const quint16 stored = qFromBigEndian<quint16>(prefix + FillerSize);
        intact = stored == crc(payload);
    } else if (flags & FlagDigest) {
        const QByteArray digest = QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
        intact = std::memcmp(digest.constData(), prefix + FillerSize, DigestSize) == 0;
    }
    if (!intact) {
        m_lastError = IntegrityFailure;
        return {};
    }

    if (flags & FlagCompressed) {
        const bool claimFits = payload.size() < ClaimedSizeBytes
                               || qFromBigEndian<quint32>(payload.constData()) <= LargestImage;
        payload = claimFits ? qUncompress(payload) : QByteArray();
    }
    m_lastError = NoError;
    return payload;
}

quint16 FirmwareCipher::crc(const QByteArray& payload)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    return qChecksum(payload.constData(), uint(payload.size()));
#else
    return qChecksum(payload);
#endif
}
