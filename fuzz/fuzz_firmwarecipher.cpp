// libFuzzer target: FirmwareCipher::decode on any file the operator might pick.
//
// The first input byte chooses how the rest reaches the decoder:
//   0: the rest is the container as read from disk;
//   1: the rest is a deciphered stream (filler, check value, payload) that is
//      enciphered first, so the fuzzer steers the deciphered bytes directly;
//   2: the rest is a payload that gets a correct CRC or digest, so damaged
//      compressed data reaches the uncompress step.
// The second byte of modes 1 and 2 holds the flags.
#include "FirmwareImages.h"
#include "admin/FirmwareCipher.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

static void ignoreMessages(QtMsgType, const QMessageLogContext&, const QString&) { }

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(ignoreMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int mode = data[0] % 3;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), int(size - 1));
    FirmwareCipher cipher(firmwareKey());

    QByteArray container;
    if (mode == 0 || rest.isEmpty()) {
        container = rest;
    } else {
        const quint8 flags = quint8(rest[0]);
        const QByteArray body = rest.mid(1);
        container = encipherContainer(mode == 1 ? body : plainStream(body, flags), firmwareKey(), flags);
    }

    const QByteArray image = cipher.decode(container);
    // A failure never comes back with an image, and the codes are the known ones.
    if (cipher.lastError() != FirmwareCipher::NoError && !image.isEmpty())
        std::abort();
    if (cipher.lastError() < FirmwareCipher::NoError || cipher.lastError() > FirmwareCipher::ImageTooLarge)
        std::abort();
    return 0;
}
