#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Turns the bytes of a firmware file into the image to upload, or says why
// the file cannot be uploaded. A firmware update is the one operation that
// can leave a controller unusable, so nothing is sent to it unless this
// yields an image.
//
// A plain image carries the marker text "ORVO ::" somewhere inside and is
// uploaded unchanged; any other file is taken for an enciphered container
// and decoded with the firmware cipher. The file name extension is never
// consulted.
struct FirmwareImage
{
    enum Problem {
        None,
        EmptyFile,        // the file holds no bytes
        UnknownVersion,   // neither a plain image nor a known container
        IntegrityFailure, // the container is damaged
        NothingDecoded,   // the container decodes to nothing (empty or uncompressible payload)
        ImageTooLarge,    // the compressed image would be larger than FirmwareCipher::LargestImage
        ImageBeyondTftp,  // the decoded image is larger than a TFTP write can carry (FirmwareFile::MaximumBytes)
    };

    static constexpr const char* PlainMarker = "ORVO ::";

    QByteArray bytes;
    bool enciphered = false;
    // An enciphered container that carries neither CRC nor digest and is not
    // compressed (a zlib stream has a check of its own). Decoded under
    // another key than its own, it still yields an image of the right
    // length, of random bytes: nothing can tell, so the operator must.
    bool unverified = false;
    Problem problem = None;

    bool isUploadable() const { return problem == None; }

    static FirmwareImage fromFileBytes(const QByteArray& fileBytes, quint64 key);

    // Why a file with `problem` is refused, as the end of a sentence ("the
    // file is empty."); empty for None.
    static QString problemText(Problem problem);
};
