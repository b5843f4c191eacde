#include "admin/FirmwareCipher.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <zlib.h>

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
// endian), then a zlib stream. The claim is only a hint (the toolkit's own
// qUncompress accepts a wrong one too), and a small stream can inflate to
// gigabytes: the image grows as the stream yields bytes, and inflating stops
// as soon as it passes LargestImage.
constexpr int ClaimedSizeBytes = 4;
constexpr int SmallestGrowth = 64 * 1024;

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

enum class Inflation { Image, Damaged, TooLarge };

// Inflates a payload in qCompress form into `image`, never holding more
// than LargestImage + 1 bytes.
Inflation inflatePayload(const QByteArray& payload, QByteArray& image)
{
    if (payload.size() <= ClaimedSizeBytes)
        return Inflation::Damaged;
    const quint32 claimed = qFromBigEndian<quint32>(payload.constData());
    if (claimed > FirmwareCipher::LargestImage)
        return Inflation::TooLarge;

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return Inflation::Damaged;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(payload.constData())) + ClaimedSizeBytes;
    stream.avail_in = uInt(payload.size() - ClaimedSizeBytes);

    // One byte of room beyond the bound tells an image of exactly
    // LargestImage bytes from a larger one.
    constexpr qsizetype Room = qsizetype(FirmwareCipher::LargestImage) + 1;
    image.clear();
    int status = Z_OK;
    while (status == Z_OK) {
        if (image.size() == qsizetype(stream.total_out)) {
            if (image.size() == Room)
                break;
            // The claimed size first; then doubling, up to the room.
            const qsizetype wanted = image.isEmpty() ? qMax<qsizetype>(claimed, SmallestGrowth) : 2 * image.size();
            const qsizetype grown = qMin(wanted, Room);
            image.reserve(int(grown));
            image.resize(int(grown));
        }
        stream.next_out = reinterpret_cast<Bytef*>(image.data()) + stream.total_out;
        stream.avail_out = uInt(image.size() - qsizetype(stream.total_out));
        status = inflate(&stream, Z_NO_FLUSH);
    }
    const qsizetype inflated = qsizetype(stream.total_out);
    inflateEnd(&stream);

    if (inflated > qsizetype(FirmwareCipher::LargestImage)) {
        image.clear();
        return Inflation::TooLarge;
    }
    if (status != Z_STREAM_END) {
        image.clear();
        return Inflation::Damaged;
    }
    image.resize(int(inflated));
    return Inflation::Image;
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
        QByteArray image;
        const Inflation inflation = inflatePayload(payload, image);
        if (inflation == Inflation::TooLarge) {
            m_lastError = ImageTooLarge;
            return {};
        }
        // Damaged compressed data leaves an empty image, and no error.
        payload = image;
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
