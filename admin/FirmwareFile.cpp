#include "admin/FirmwareFile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("FirmwareFile", text); }

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return tr("it is a directory, not a firmware file");
    if (S_ISFIFO(mode))
        return tr("it is a FIFO (a named pipe), not a firmware file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return tr("it is a device, not a firmware file");
    return tr("it is not a regular file");
}

FirmwareFile refused(FirmwareFile::Problem problem, const QString& reason)
{
    FirmwareFile file;
    file.problem = problem;
    file.reason = reason;
    return file;
}

// Closes the descriptor when the reading ends, however it ends.
class Descriptor
{
public:
    explicit Descriptor(int descriptor)
        : m_descriptor(descriptor)
    { }
    ~Descriptor()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

} // namespace

FirmwareFile FirmwareFile::read(const QString& path)
{
    // Opened without waiting (a FIFO would wait for a writer), then judged by
    // what was opened, so that nothing swapped in after a look at the name
    // can be read instead.
    const Descriptor descriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (descriptor.get() < 0)
        return refused(CannotOpen, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status;
    if (::fstat(descriptor.get(), &status) != 0)
        return refused(CannotOpen, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(status.st_mode))
        return refused(NotRegular, kindOf(status.st_mode));
    const auto tooLarge = [] {
        return refused(TooLarge,
                       tr("it is larger than %1 bytes (%2 TFTP blocks of %3 bytes), more than a controller "
                          "can take")
                           .arg(MaximumBytes)
                           .arg(MaximumBlocks)
                           .arg(BlockBytes));
    };
    if (status.st_size > MaximumBytes)
        return tooLarge();

    // Room for one byte beyond the size found: a file that grew meanwhile is
    // read on, in steps, up to one byte beyond the limit.
    FirmwareFile file;
    file.bytes.resize(int(status.st_size) + 1);
    qint64 filled = 0;
    while (filled < file.bytes.size()) {
        const ssize_t got = ::read(descriptor.get(), file.bytes.data() + filled, size_t(file.bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return refused(CannotRead, QString::fromLocal8Bit(std::strerror(errno)));
        if (got == 0)
            break;
        filled += got;
        if (filled == file.bytes.size() && filled <= MaximumBytes)
            file.bytes.resize(int(qMin<qint64>(filled * 2, MaximumBytes + 1)));
        else if (filled > MaximumBytes)
            return tooLarge();
    }
    file.bytes.truncate(int(filled));
    return file;
}
