#pragma once

#include <QByteArray>
#include <QtGlobal>

// Decoder for enciphered firmware containers (".orvoc").
//
// Container: byte 0 is the version (3), byte 1 the flags (0x01 compressed
// payload, 0x02 CRC-16 present, 0x04 SHA-1 digest present), then the
// enciphered stream. Each enciphered byte E[p] deciphers to
//     D[p] = E[p] ^ keyBytes[p % 8] ^ E[p - 1]      (E[-1] = 0)
// with keyBytes[0] the least significant byte of the 64-bit key. The
// deciphered stream holds a filler byte, the optional CRC (2 bytes, most
// significant first; it wins over the digest when both flags are set) or
// digest (20 bytes), then the payload, optionally in qCompress form. A
// compressed payload is inflated a slice at a time and refused once it
// passes LargestImage.
//
// Because every deciphered byte depends on enciphered bytes only, the stream
// is deciphered eight bytes at a time in one linear pass.
class FirmwareCipher
{
public:
    enum Error {
        NoError = 0,
        NoKey = 1,            // constructed without a key
        UnknownVersion = 2,   // the first byte is not the container version
        IntegrityFailure = 3, // CRC or digest missing or not matching
        ImageTooLarge = 4,    // the compressed image would exceed LargestImage
    };

    // No controller image comes near this; a container that claims or
    // inflates to more is damaged or hostile.
    static constexpr quint32 LargestImage = 64u << 20;

    static constexpr quint8 ContainerVersion = 3;
    static constexpr quint8 FlagCompressed = 0x01;
    static constexpr quint8 FlagCrc = 0x02;
    static constexpr quint8 FlagDigest = 0x04;

    // A cipher without a key: every decode() fails with NoKey.
    FirmwareCipher() = default;
    explicit FirmwareCipher(quint64 key);

    // Decodes a whole container. Returns the firmware image, or an empty
    // array on failure with lastError() telling why. Input shorter than three
    // bytes returns empty and leaves lastError() as it was. A payload that
    // fails to uncompress comes back empty with NoError; one that would
    // inflate beyond LargestImage comes back empty with ImageTooLarge.
    QByteArray decode(const QByteArray& container);

    int lastError() const { return m_lastError; }
    quint64 key() const { return m_key; }

    // The container's CRC-16 of a payload (ISO 3309, as qChecksum).
    static quint16 crc(const QByteArray& payload);

private:
    quint64 m_key = 0;
    QByteArray m_keyBytes;
    int m_lastError = NoError;
};

// The key with which the controller's firmware containers are enciphered. A
// build for real images sets it at configure time (LENSDESK_FIRMWARE_KEY).
quint64 firmwareKey();
