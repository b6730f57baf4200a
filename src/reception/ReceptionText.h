#pragma once
#include <string>

#include "reception/ReceptionFigures.h"

// How the windows put reception figures into words.

// "0 bit/s", "950 bit/s", "64.0 kbit/s", "1.23 Mbit/s", "2.50 Gbit/s".
std::string BitRateText(double bitsPerSecond);
// "12", "1,234,567": thousands grouped for reading.
std::string CountText(uint64_t n);
// One line for a whole session, worst state first: "receiving, 1.23 Mbit/s"
// for one media entry; "impaired: 1 of 2, 3.10 Mbit/s" when the entries differ.
// A redundant pair counts as one stream, in the state of its better leg, and
// a worse leg is named: "receiving, 1.00 Mbit/s; leg B silent".
std::string ReceptionSummary(const CSessionFigures& figures);
