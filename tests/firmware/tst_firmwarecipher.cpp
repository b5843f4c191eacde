#include "FirmwareImages.h"
#include "ProcessMemory.h"
#include "TestMain.h"

#include "admin/FirmwareCipher.h"
#include "admin/FirmwareFile.h"
#include "admin/FirmwareImage.h"

#include <QtTest>

namespace {

constexpr quint64 TestKey = 0x8877665544332211ull;
const char* const NoKeyWarning = "No key set.";
const char* const VersionWarning = "Invalid version or not a cyphertext.";

// Payload offset inside the enciphered stream for a container's flags.
int payloadOffset(quint8 flags)
{
    return 1 + ((flags & FirmwareCipher::FlagCrc) ? 2 : (flags & FirmwareCipher::FlagDigest) ? 20 : 0);
}

} // namespace

class FirmwareCipherTest : public QObject
{
    Q_OBJECT

private slots:
    void crcIsIso3309() { QCOMPARE(FirmwareCipher::crc("123456789"), quint16(0x906E)); }

    void roundTrip_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("flags");
        const QList<int> sizes{0, 1, 2, 7, 8, 9, 15, 16, 17, 19, 20, 21, 1000, 100003};
        for (int flags = 0; flags < 8; ++flags)
            for (int size : sizes)
                QTest::newRow(qPrintable(QStringLiteral("flags %1, %2 bytes").arg(flags).arg(size))) << size << flags;
        // Bits beyond the three known flags are ignored.
        QTest::newRow("unknown flag bits") << 500 << 0xf2;
    }
    void roundTrip()
    {
        QFETCH(int, size);
        QFETCH(int, flags);
        const QByteArray image = randomBytes(size, quint32(size * 8 + flags));
        FirmwareCipher cipher(TestKey);
        const QByteArray decoded = cipher.decode(encodeFirmware(image, TestKey, quint8(flags)));
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::NoError));
        QCOMPARE(decoded, image);
    }

    void compressedPayloadShrinks()
    {
        const QByteArray image = QByteArray("ORVO firmware block ").repeated(5000);
        const QByteArray container =
            encodeFirmware(image, TestKey, FirmwareCipher::FlagCompressed | FirmwareCipher::FlagDigest);
        QVERIFY(container.size() < image.size() / 10);
        FirmwareCipher cipher(TestKey);
        QCOMPARE(cipher.decode(container), image);
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::NoError));
    }

    void damagedCompressedPayloadIsEmptyWithoutError_data()
    {
        QTest::addColumn<QByteArray>("payload");
        dataRow("claims 64 bytes, no zlib stream", QByteArray(QByteArray("\x00\x00\x00\x40", 4) + randomBytes(64, 7)));
        dataRow("stream cut short", qCompress(randomBytes(5000, 8)).left(1000));
        dataRow("claim only", QByteArray("\x00\x00\x10\x00", 4));
        dataRow("shorter than a claim", QByteArray("\x00\x10", 2));
    }
    void damagedCompressedPayloadIsEmptyWithoutError()
    {
        QFETCH(QByteArray, payload);
        const QByteArray flagged = encipherContainer(plainStream(payload, 0), TestKey, FirmwareCipher::FlagCompressed);
        FirmwareCipher cipher(TestKey);
        QVERIFY(cipher.decode(flagged).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::NoError));
    }

    // The claimed size is only a hint: the stream itself decides how large
    // the image is, and inflating stops at the bound, whatever either says.
    void inflatedImageIsBounded_data()
    {
        QTest::addColumn<qint64>("inflated");
        QTest::addColumn<quint32>("claimed");
        QTest::addColumn<int>("error");
        constexpr quint32 Bound = FirmwareCipher::LargestImage;
        dataRow("claims one byte, inflates to 200 MB", qint64(200000000), 1u, int(FirmwareCipher::ImageTooLarge));
        dataRow("one byte beyond the bound", qint64(Bound) + 1, Bound, int(FirmwareCipher::ImageTooLarge));
        dataRow("claim beyond the bound", qint64(3), Bound + 1, int(FirmwareCipher::ImageTooLarge));
        dataRow("exactly the bound", qint64(Bound), Bound, int(FirmwareCipher::NoError));
        dataRow("claims less than it holds", qint64(300000), 1000u, int(FirmwareCipher::NoError));
        dataRow("claims more than it holds", qint64(1000), Bound, int(FirmwareCipher::NoError));
    }
    void inflatedImageIsBounded()
    {
        QFETCH(qint64, inflated);
        QFETCH(quint32, claimed);
        QFETCH(int, error);
        const quint8 flags = FirmwareCipher::FlagCompressed | FirmwareCipher::FlagCrc;
        const QByteArray payload = compressedZeros(inflated, claimed);
        QVERIFY(!payload.isEmpty());
        const QByteArray container = encipherContainer(plainStream(payload, flags), TestKey, flags);
        FirmwareCipher cipher(TestKey);

        const qint64 before = residentKiB();
        QVERIFY(resetPeakResident());
        const QByteArray image = cipher.decode(container);
        const qint64 peakGrowth = peakResidentKiB() - before;

        QCOMPARE(cipher.lastError(), error);
        if (error == FirmwareCipher::NoError) {
            QCOMPARE(image.size(), inflated);
            QCOMPARE(image.count('\0'), image.size());
        } else {
            QVERIFY(image.isEmpty());
        }
        if (MemoryIsMeaningful)
            QVERIFY2(peakGrowth < 100 * 1024, qPrintable(QStringLiteral("%1 KiB").arg(peakGrowth)));
    }

    void shortInputKeepsLastError_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("0 bytes") << QByteArray();
        QTest::newRow("1 byte") << QByteArray(1, 3);
        QTest::newRow("2 bytes") << QByteArray("\x03\x00", 2);
    }
    void shortInputKeepsLastError()
    {
        QFETCH(QByteArray, input);
        FirmwareCipher cipher(TestKey);
        QVERIFY(cipher.decode(input).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::NoError));

        QTest::ignoreMessage(QtWarningMsg, VersionWarning);
        cipher.decode(QByteArray("\x04\x00\x00", 3));
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::UnknownVersion));
        QVERIFY(cipher.decode(input).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::UnknownVersion));
    }

    void unknownVersion_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("version 2") << 2;
        QTest::newRow("version 4") << 4;
        QTest::newRow("version 0") << 0;
    }
    void unknownVersion()
    {
        QFETCH(int, version);
        const QByteArray container = encodeFirmware("payload", TestKey, FirmwareCipher::FlagCrc, 0, quint8(version));
        FirmwareCipher cipher(TestKey);
        QTest::ignoreMessage(QtWarningMsg, VersionWarning);
        QVERIFY(cipher.decode(container).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::UnknownVersion));
    }

    void noKey()
    {
        FirmwareCipher cipher;
        QTest::ignoreMessage(QtWarningMsg, NoKeyWarning);
        QVERIFY(cipher.decode(encodeFirmware("payload", TestKey, 0)).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::NoKey));
    }

    void oneByteStreamIsEmptyImage()
    {
        FirmwareCipher cipher(TestKey);
        QTest::ignoreMessage(QtWarningMsg, VersionWarning);
        cipher.decode(QByteArray("\x02\x00\x00", 3)); // leaves error 2 behind
        QVERIFY(cipher.decode(QByteArray("\x03\x00\x7f", 3)).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::NoError));
    }

    void checkValueTooShort_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("streamSize");
        QTest::newRow("CRC, filler only") << int(FirmwareCipher::FlagCrc) << 1;
        QTest::newRow("CRC, one byte") << int(FirmwareCipher::FlagCrc) << 2;
        QTest::newRow("digest, filler only") << int(FirmwareCipher::FlagDigest) << 1;
        QTest::newRow("digest, 19 bytes") << int(FirmwareCipher::FlagDigest) << 20;
        QTest::newRow("both, one byte") << int(FirmwareCipher::FlagCrc | FirmwareCipher::FlagDigest) << 2;
    }
    void checkValueTooShort()
    {
        QFETCH(int, flags);
        QFETCH(int, streamSize);
        QByteArray container(streamSize + 2, '\0');
        container[0] = char(FirmwareCipher::ContainerVersion);
        container[1] = char(flags);
        FirmwareCipher cipher(TestKey);
        QVERIFY(cipher.decode(container).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::IntegrityFailure));
    }

    void crcWinsOverDigest()
    {
        // With both flags set, the bytes after the CRC are all payload, even
        // the twenty a digest would occupy.
        const QByteArray image = randomBytes(64, 11);
        const QByteArray crcOnly = encodeFirmware(image, TestKey, FirmwareCipher::FlagCrc);
        QByteArray both = crcOnly;
        both[1] = char(FirmwareCipher::FlagCrc | FirmwareCipher::FlagDigest);
        FirmwareCipher cipher(TestKey);
        QCOMPARE(cipher.decode(both), image);
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::NoError));
    }

    void changedPayloadByteFailsIntegrity_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("payloadIndex");
        for (int flags : {int(FirmwareCipher::FlagCrc), int(FirmwareCipher::FlagDigest),
                          int(FirmwareCipher::FlagCrc | FirmwareCipher::FlagCompressed),
                          int(FirmwareCipher::FlagDigest | FirmwareCipher::FlagCompressed)}) {
            for (int index : {0, 100, 299}) {
                QTest::newRow(qPrintable(QStringLiteral("flags %1, byte %2").arg(flags).arg(index))) << flags << index;
            }
        }
    }
    void changedPayloadByteFailsIntegrity()
    {
        QFETCH(int, flags);
        QFETCH(int, payloadIndex);
        const QByteArray image = randomBytes(3000, 5);
        QByteArray container = encodeFirmware(image, TestKey, quint8(flags));
        // The last enciphered byte garbles only itself; elsewhere two bytes change.
        const int position = 2 + payloadOffset(quint8(flags)) + payloadIndex;
        QVERIFY(position < container.size());
        container[position] = char(container[position] ^ 0x10);
        FirmwareCipher cipher(TestKey);
        QVERIFY(cipher.decode(container).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::IntegrityFailure));
    }

    void changedCheckValueFailsIntegrity_data()
    {
        QTest::addColumn<int>("flags");
        QTest::newRow("CRC") << int(FirmwareCipher::FlagCrc);
        QTest::newRow("digest") << int(FirmwareCipher::FlagDigest);
    }
    void changedCheckValueFailsIntegrity()
    {
        QFETCH(int, flags);
        QByteArray container = encodeFirmware(randomBytes(200, 3), TestKey, quint8(flags));
        container[3] = char(container[3] ^ 0x01); // first byte of the check value
        FirmwareCipher cipher(TestKey);
        QVERIFY(cipher.decode(container).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::IntegrityFailure));
    }

    void chainingGarblesOnlyTwoBytes_data()
    {
        QTest::addColumn<int>("streamPosition");
        for (int p : {1, 2, 7, 8, 9, 15, 16, 63, 64, 100})
            QTest::newRow(qPrintable(QStringLiteral("stream byte %1").arg(p))) << p;
    }
    void chainingGarblesOnlyTwoBytes()
    {
        const QByteArray image = randomBytes(120, 9);
        QByteArray container = encodeFirmware(image, TestKey, 0);
        QFETCH(int, streamPosition);
        container[2 + streamPosition] = char(container[2 + streamPosition] ^ 0xff);
        FirmwareCipher cipher(TestKey);
        const QByteArray decoded = cipher.decode(container);
        QCOMPARE(decoded.size(), image.size());
        // Stream byte p is image byte p - 1 (the filler comes first).
        const int p = streamPosition - 1;
        for (int i = 0; i < image.size(); ++i) {
            const bool garbled = i == p || i == p + 1;
            QVERIFY2((decoded[i] != image[i]) == garbled, qPrintable(QStringLiteral("image byte %1").arg(i)));
        }
    }

    void keyByteOrder()
    {
        // With an all-zero enciphered stream each deciphered byte is the key
        // byte for its position: the least significant first, and again at
        // the ninth byte.
        QByteArray container(2 + 10, '\0');
        container[0] = char(FirmwareCipher::ContainerVersion);
        FirmwareCipher cipher(TestKey);
        QCOMPARE(cipher.decode(container), QByteArray::fromHex("223344556677881122"));
    }

    void wrongKeyFailsIntegrity()
    {
        const QByteArray container = encodeFirmware(randomBytes(500, 1), TestKey, FirmwareCipher::FlagDigest);
        FirmwareCipher cipher(TestKey ^ 0x0100000000000000ull);
        QVERIFY(cipher.decode(container).isEmpty());
        QCOMPARE(cipher.lastError(), int(FirmwareCipher::IntegrityFailure));
    }

    void firmwareKeyFromHalves()
    {
        // A build for real images overrides the key; the default is the two halves.
        QVERIFY(firmwareKey() != 0);
        QVERIFY(quint32(firmwareKey() >> 32) != 0 && quint32(firmwareKey()) != 0);
    }

    // --- which bytes of a firmware file get uploaded

    void imageFromFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("problem");
        const QByteArray body = randomBytes(4000, 21).replace("ORVO ::", "ORVO ;;");
        const QByteArray marked = body + "ORVO ::";
        const QByteArray markedFirst = "ORVO ::" + body;
        const QByteArray likeAContainer("\x03\x02ORVO ::", 9);
        const auto key = firmwareKey();
        const quint8 compressed = FirmwareCipher::FlagCompressed | FirmwareCipher::FlagDigest;
        QByteArray damaged = encodeFirmware(body, key, FirmwareCipher::FlagDigest);
        damaged[2000] = char(damaged[2000] ^ 0x40);
        const QByteArray tooLarge = encipherContainer(
            plainStream(compressedZeros(FirmwareCipher::LargestImage + 1, 1), compressed), key, compressed);
        const QByteArray markedCompressed = encodeFirmware(marked, key, compressed);
        const QByteArray otherKeyCrc = encodeFirmware(body, key + 1, FirmwareCipher::FlagCrc);
        const QByteArray otherKeyCompressed = encodeFirmware(body, key + 1, FirmwareCipher::FlagCompressed);
        const QByteArray none;
        const auto row = [](const char* name, const QByteArray& file, const QByteArray& image,
                            FirmwareImage::Problem problem) { dataRow(name, file, image, int(problem)); };
        row("plain, marker at the end", marked, marked, FirmwareImage::None);
        row("plain, marker at the start", markedFirst, markedFirst, FirmwareImage::None);
        row("plain, starts like a container", likeAContainer, likeAContainer, FirmwareImage::None);
        row("container", encodeFirmware(body, key, FirmwareCipher::FlagCrc), body, FirmwareImage::None);
        row("compressed container with marker inside", markedCompressed, marked, FirmwareImage::None);
        row("empty file", none, none, FirmwareImage::EmptyFile);
        row("two bytes", QByteArray("\x03\x00", 2), none, FirmwareImage::UnknownVersion);
        row("neither plain nor container", "MZ" + body, none, FirmwareImage::UnknownVersion);
        row("damaged container", damaged, none, FirmwareImage::IntegrityFailure);
        row("container for another key", otherKeyCrc, none, FirmwareImage::IntegrityFailure);
        row("container without payload", encodeFirmware(none, key, 0), none, FirmwareImage::NothingDecoded);
        row("compressed container for another key", otherKeyCompressed, none, FirmwareImage::NothingDecoded);
        row("container with an image beyond the bound", tooLarge, none, FirmwareImage::ImageTooLarge);
        // The boot loader's TFTP write counts 512-byte blocks in 16 bits.
        const quint32 tftp = quint32(FirmwareFile::MaximumBytes);
        const auto zeros = [&](quint32 n) {
            return encipherContainer(plainStream(compressedZeros(n, n), compressed), key, compressed);
        };
        row("past TFTP's reach", zeros(tftp + 1), none, FirmwareImage::ImageBeyondTftp);
        row("TFTP's largest", zeros(tftp), QByteArray(int(tftp), '\0'), FirmwareImage::None);
    }
    void imageFromFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, image);
        QFETCH(int, problem);
        if (file.size() >= 3 && quint8(file[0]) != FirmwareCipher::ContainerVersion && !file.contains("ORVO ::"))
            QTest::ignoreMessage(QtWarningMsg, VersionWarning);
        const FirmwareImage result = FirmwareImage::fromFileBytes(file, firmwareKey());
        QCOMPARE(int(result.problem), problem);
        QCOMPARE(result.isUploadable(), problem == FirmwareImage::None);
        QCOMPARE(result.bytes, image);
    }

    // Decoded under the wrong key, a container is caught by its CRC, its
    // digest, or, compressed, by the zlib stream's own check. Without any
    // of them it decodes to random bytes of the right length.
    void unverifiedContainers_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("unverified");
        const QByteArray body = randomBytes(3000, 31).replace("ORVO ::", "ORVO ;;");
        dataRow("plain image", QByteArray(body + "ORVO ::"), false);
        dataRow("CRC", encodeFirmware(body, firmwareKey(), FirmwareCipher::FlagCrc), false);
        dataRow("digest", encodeFirmware(body, firmwareKey(), FirmwareCipher::FlagDigest), false);
        const quint8 compressedOnly = FirmwareCipher::FlagCompressed;
        dataRow("compressed, no check value", encodeFirmware(body, firmwareKey(), compressedOnly), false);
        dataRow("no check value", encodeFirmware(body, firmwareKey(), 0), true);
        dataRow("no check value, another key", encodeFirmware(body, firmwareKey() + 1, 0), true);
        dataRow("no check value, unknown flag bits", encodeFirmware(body, firmwareKey(), 0xf0), true);
    }
    void unverifiedContainers()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, unverified);
        const FirmwareImage result = FirmwareImage::fromFileBytes(file, firmwareKey());
        QVERIFY(result.isUploadable());
        QCOMPARE(result.bytes.size(), 3000 + (result.enciphered ? 0 : 7));
        QCOMPARE(result.unverified, unverified);
    }
};

LENSDESK_TEST_MAIN(FirmwareCipherTest)
#include "tst_firmwarecipher.moc"
