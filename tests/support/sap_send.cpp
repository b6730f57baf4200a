// sap-send GROUP PORT FILE... : sends each file's bytes as one UDP datagram
// to GROUP:PORT (multicast TTL 15), a tenth of a second apart
// ($SAP_SEND_GAP_US sets another gap; 0 sends a burst).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: sap-send GROUP PORT FILE...\n");
        return 2;
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    unsigned char ttl = 15;
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &to.sin_addr) != 1) {
        std::fprintf(stderr, "sap-send: bad group %s\n", argv[1]);
        return 2;
    }
    const char* gapText = std::getenv("SAP_SEND_GAP_US");
    const useconds_t gap = gapText ? static_cast<useconds_t>(std::atoi(gapText)) : 100000;
    for (int i = 3; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "sap-send: cannot read %s\n", argv[i]);
            return 1;
        }
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
            std::perror("sap-send: sendto");
            return 1;
        }
        if (gap)
            usleep(gap);
    }
    close(fd);
    return 0;
}
