#pragma once
// The PTP Announce message (IEEE 1588-2008 and 2019, version 2): what a
// grandmaster says about itself to every port of its domain.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct CPtpAnnounce {
    int versionPtp = 2;
    int minorVersionPtp = 0;
    int domain = 0;
    uint16_t flags = 0;
    std::array<uint8_t, 8> sourceClock{};
    uint16_t sourcePort = 0;
    uint16_t sequenceId = 0;
    int logMessageInterval = 0;   // the sender's announce interval, log2 seconds
    uint64_t originSeconds = 0;   // 48 bits
    uint32_t originNanoseconds = 0;
    int currentUtcOffset = 0;
    int priority1 = 0;
    int clockClass = 0;
    int clockAccuracy = 0;
    int offsetScaledLogVariance = 0;
    int priority2 = 0;
    std::array<uint8_t, 8> grandmaster{};
    int stepsRemoved = 0;
    int timeSource = 0;
};

// Why a datagram is not an Announce we read.
enum class EPtpReadError { None, Truncated, NotAnnounce, WrongVersion, BadLength };

// Reads an Announce from the bytes of one datagram sent to the general port
// (320). Everything is checked against `size`: the bytes come from anyone.
std::optional<CPtpAnnounce> ReadPtpAnnounce(const uint8_t* data, size_t size, EPtpReadError* error = nullptr);

// A clock identity as SDP writes it: "00-1D-C1-FF-FE-12-34-56".
std::string ClockIdentityText(const std::array<uint8_t, 8>& identity);
