#include "platform/Platform.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

// Linux desktops keep no per-user text scale that the panel could read before
// the toolkit starts, so the display scale stays 1.0 and Qt's own high-DPI
// handling applies.

namespace {

// One IPv4 neighbour (ARP) entry: the adapter and the address it maps.
struct Neighbour
{
    int interfaceIndex = 0;
    unsigned char address[4] = {};
};

// Netlink messages are padded to four bytes.
constexpr size_t align4(size_t length) { return (length + 3) & ~size_t(3); }

// A request to the kernel's routing service: header, neighbour message and
// at most one address attribute.
struct NeighbourRequest
{
    nlmsghdr header;
    ndmsg body;
    rtattr destination;
    unsigned char address[4];
};

// The kernel's routing service (rtnetlink) on a socket of our own. Every
// read waits at most a second and the number of reads is bounded, so a
// misbehaving kernel cannot hang the GUI thread.
class NetlinkRoute
{
public:
    NetlinkRoute()
        : m_descriptor(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
    {
        if (m_descriptor < 0)
            return;
        timeval limit{1, 0};
        ::setsockopt(m_descriptor, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~NetlinkRoute()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    NetlinkRoute(const NetlinkRoute&) = delete;
    NetlinkRoute& operator=(const NetlinkRoute&) = delete;

    bool isOpen() const { return m_descriptor >= 0; }

    // Reads the IPv4 neighbour table of every adapter. Returns 0 or an errno value.
    int listIpv4Neighbours(std::vector<Neighbour>& out)
    {
        NeighbourRequest request = makeRequest(RTM_GETNEIGH, NLM_F_REQUEST | NLM_F_DUMP);
        request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
        if (!sendRequest(request))
            return errno;
        for (int reads = 0; reads < MaximumReads; ++reads) {
            const ssize_t received = ::recv(m_descriptor, m_buffer, sizeof m_buffer, 0);
            if (received < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            size_t offset = 0;
            while (offset + sizeof(nlmsghdr) <= size_t(received)) {
                nlmsghdr header;
                std::memcpy(&header, m_buffer + offset, sizeof header);
                if (header.nlmsg_len < sizeof(nlmsghdr) || offset + header.nlmsg_len > size_t(received))
                    return EPROTO;
                if (header.nlmsg_seq == request.header.nlmsg_seq) {
                    if (header.nlmsg_type == NLMSG_DONE)
                        return 0;
                    if (header.nlmsg_type == NLMSG_ERROR)
                        return errorOf(offset, header);
                    if (header.nlmsg_type == RTM_NEWNEIGH)
                        collect(offset, header, out);
                }
                offset += align4(header.nlmsg_len);
            }
        }
        return ETIMEDOUT;
    }

    // Asks the kernel to drop one entry and waits for its answer. Returns 0
    // or the kernel's errno value (EPERM without the privilege); a refused
    // removal leaves the entry, nothing more.
    int removeNeighbour(const Neighbour& neighbour)
    {
        NeighbourRequest request = makeRequest(RTM_DELNEIGH, NLM_F_REQUEST | NLM_F_ACK);
        request.body.ndm_ifindex = neighbour.interfaceIndex;
        request.destination.rta_type = NDA_DST;
        request.destination.rta_len = RTA_LENGTH(sizeof request.address);
        std::memcpy(request.address, neighbour.address, sizeof request.address);
        request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg)) + RTA_LENGTH(sizeof request.address);
        if (!sendRequest(request))
            return errno;
        for (int reads = 0; reads < MaximumAckReads; ++reads) {
            const ssize_t received = ::recv(m_descriptor, m_buffer, sizeof m_buffer, 0);
            if (received < 0 && errno == EINTR)
                continue;
            if (received < 0)
                return errno;
            if (received < ssize_t(sizeof(nlmsghdr)))
                return EPROTO;
            nlmsghdr header;
            std::memcpy(&header, m_buffer, sizeof header);
            if (header.nlmsg_seq != request.header.nlmsg_seq)
                continue;
            if (header.nlmsg_type != NLMSG_ERROR || header.nlmsg_len > size_t(received))
                return EPROTO;
            // An acknowledgement is an error message with error 0.
            nlmsgerr error;
            if (header.nlmsg_len < NLMSG_LENGTH(sizeof error))
                return EPROTO;
            std::memcpy(&error, m_buffer + NLMSG_HDRLEN, sizeof error);
            return -error.error;
        }
        return ETIMEDOUT;
    }

private:
    static constexpr int MaximumReads = 4096;
    static constexpr int MaximumAckReads = 4;

    NeighbourRequest makeRequest(unsigned short type, unsigned short flags)
    {
        NeighbourRequest request;
        std::memset(&request, 0, sizeof request);
        request.header.nlmsg_type = type;
        request.header.nlmsg_flags = flags;
        request.header.nlmsg_seq = ++m_sequence;
        request.body.ndm_family = AF_INET;
        return request;
    }

    bool sendRequest(const NeighbourRequest& request)
    {
        sockaddr_nl kernel;
        std::memset(&kernel, 0, sizeof kernel);
        kernel.nl_family = AF_NETLINK;
        return ::sendto(m_descriptor, &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
                        sizeof kernel)
            == ssize_t(request.header.nlmsg_len);
    }

    int errorOf(size_t offset, const nlmsghdr& header) const
    {
        nlmsgerr error;
        if (header.nlmsg_len < NLMSG_LENGTH(sizeof error))
            return EPROTO;
        std::memcpy(&error, m_buffer + offset + NLMSG_HDRLEN, sizeof error);
        return error.error < 0 ? -error.error : EPROTO;
    }

    void collect(size_t offset, const nlmsghdr& header, std::vector<Neighbour>& out) const
    {
        if (header.nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
            return;
        ndmsg body;
        std::memcpy(&body, m_buffer + offset + NLMSG_HDRLEN, sizeof body);
        if (body.ndm_family != AF_INET)
            return;
        size_t attribute = offset + NLMSG_HDRLEN + align4(sizeof(ndmsg));
        const size_t end = offset + header.nlmsg_len;
        while (attribute + sizeof(rtattr) <= end) {
            rtattr head;
            std::memcpy(&head, m_buffer + attribute, sizeof head);
            if (head.rta_len < sizeof(rtattr) || attribute + head.rta_len > end)
                return;
            if (head.rta_type == NDA_DST && head.rta_len == RTA_LENGTH(4)) {
                Neighbour neighbour;
                neighbour.interfaceIndex = body.ndm_ifindex;
                std::memcpy(neighbour.address, m_buffer + attribute + RTA_LENGTH(0), 4);
                out.push_back(neighbour);
                return;
            }
            attribute += align4(head.rta_len);
        }
    }

    int m_descriptor = -1;
    unsigned int m_sequence = 0;
    alignas(nlmsghdr) char m_buffer[32768];
};

} // namespace

namespace Platform {

std::optional<int> textScalePercent() { return std::nullopt; }

std::optional<QRect> workArea() { return std::nullopt; }

int verticalDpi() { return 0; }

bool setWindowTopmost(quintptr, bool) { return false; }

AddressCacheFlush flushAddressResolutionCache()
{
    AddressCacheFlush flush;
    NetlinkRoute route;
    if (!route.isOpen()) {
        flush.listingError = errno ? errno : EIO;
        return flush;
    }
    std::vector<Neighbour> neighbours;
    flush.listingError = route.listIpv4Neighbours(neighbours);
    if (flush.listingError != 0)
        return flush;
    // Entries may only be removed with the network-administration privilege;
    // without it every removal is refused and the cache stays as it is.
    for (const Neighbour& neighbour : neighbours)
        flush.refused = route.removeNeighbour(neighbour) == EPERM || flush.refused;
    return flush;
}

} // namespace Platform
