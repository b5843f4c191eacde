#include "admin/FirmwareImage.h"

#include "admin/FirmwareCipher.h"
#include "admin/FirmwareFile.h"

#include <QCoreApplication>

FirmwareImage FirmwareImage::fromFileBytes(const QByteArray& fileBytes, quint64 key)
{
    FirmwareImage image;
    if (fileBytes.isEmpty()) {
        image.problem = EmptyFile;
        return image;
    }
    if (fileBytes.contains(PlainMarker)) {
        image.bytes = fileBytes;
        return image;
    }

    image.enciphered = true;
    FirmwareCipher cipher(key);
    image.bytes = cipher.decode(fileBytes);
    switch (cipher.lastError()) {
    case FirmwareCipher::UnknownVersion:
        image.problem = UnknownVersion;
        break;
    case FirmwareCipher::IntegrityFailure:
        image.problem = IntegrityFailure;
        break;
    case FirmwareCipher::ImageTooLarge:
        image.problem = ImageTooLarge;
        break;
    default:
        // Containers of one or two bytes leave the error untouched: judge by
        // the result.
        if (image.bytes.isEmpty())
            image.problem = fileBytes.size() < 3 ? UnknownVersion : NothingDecoded;
        break;
    }
    // The file itself was read within the TFTP bound, but a compressed
    // container can decode to more than a TFTP write can carry: its block
    // numbers would wrap and the boot loader would store a corrupted image.
    if (image.problem == None && image.bytes.size() > FirmwareFile::MaximumBytes)
        image.problem = ImageBeyondTftp;
    if (image.problem != None) {
        image.bytes.clear();
        return image;
    }
    // A decoded container has its two header bytes; the second holds the flags.
    const quint8 checks = FirmwareCipher::FlagCrc | FirmwareCipher::FlagDigest | FirmwareCipher::FlagCompressed;
    image.unverified = (quint8(fileBytes.at(1)) & checks) == 0;
    return image;
}

QString FirmwareImage::problemText(Problem problem)
{
    auto tr = [](const char* text) { return QCoreApplication::translate("FirmwareImage", text); };
    switch (problem) {
    case EmptyFile:
        return tr("the file is empty.");
    case UnknownVersion:
        return tr("it is neither a plain firmware image nor an enciphered firmware container of a known version.");
    case IntegrityFailure:
        return tr("the enciphered container failed its integrity check: the file is damaged or not made for "
                  "this controller.");
    case NothingDecoded:
        return tr("the enciphered container holds no firmware image (its payload is empty or cannot be "
                  "uncompressed).");
    case ImageTooLarge:
        return tr("the firmware image in the enciphered container would be larger than %1 MiB, far larger than "
                  "any controller's firmware: the file is damaged or not a firmware container.")
            .arg(FirmwareCipher::LargestImage >> 20);
    case ImageBeyondTftp:
        return tr("the firmware image in the enciphered container is larger than %1 bytes (%2 TFTP blocks), more "
                  "than the controller's boot loader can receive.")
            .arg(FirmwareFile::MaximumBytes)
            .arg(FirmwareFile::MaximumBlocks);
    case None:
        break;
    }
    return QString();
}
