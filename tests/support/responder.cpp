// A scripted controller for the LAN search tests, run inside a device-side
// network namespace: it binds 0.0.0.0:1339, and answers every "ver" datagram
// (broadcast or not) with each of its reply texts, in order, to the sender.
// It prints "ready" once bound and ends by itself after its lifetime.
//
//   discovery_responder LIFETIME_SECONDS REPLY...
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIFETIME_SECONDS REPLY...\n", argv[0]);
        return 2;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[1]));

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(1339);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bind");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    static char buffer[65536];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        sockaddr_in sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t size = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (size != 3 || std::memcmp(buffer, "ver", 3) != 0)
            continue;
        for (int i = 2; i < argc; ++i)
            sendto(fd, argv[i], std::strlen(argv[i]), 0, reinterpret_cast<sockaddr*>(&sender), senderSize);
        std::printf("answered %s\n", inet_ntoa(sender.sin_addr));
        std::fflush(stdout);
    }
    close(fd);
    return 0;
}
