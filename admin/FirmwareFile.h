#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Reads a firmware file into memory, within bounds, for the panel's firmware
// dialog and the command-line client alike.
//
// The controller's boot loader takes the image by a TFTP write without
// options: 512-byte blocks numbered in 16 bits, so no file beyond 65,535
// blocks (just under 32 MiB) can reach it. Only a regular file of at most
// that size is read. Anything else is refused with the reason before its
// contents are read: a directory, a FIFO (whose opening would wait for a
// writer), a device such as /dev/zero (which never ends), a larger file.
// Never more than the limit plus one byte is read, even from a file that
// grows or is replaced while it is being read.
struct FirmwareFile
{
    static constexpr qint64 BlockBytes = 512;
    static constexpr qint64 MaximumBlocks = 65535;
    static constexpr qint64 MaximumBytes = BlockBytes * MaximumBlocks;

    enum Problem {
        None,
        CannotOpen, // reason: the system's message (no such file, permission denied)
        NotRegular, // a directory, a FIFO, a device, a socket
        TooLarge,
        CannotRead, // reason: the system's message
    };

    QByteArray bytes;
    Problem problem = None;
    // Why the file was refused: the system's message ("No such file or
    // directory") or a phrase ("it is a directory, not a firmware file"),
    // without a full stop; empty when it was read.
    QString reason;

    bool isRead() const { return problem == None; }

    static FirmwareFile read(const QString& path);
};
