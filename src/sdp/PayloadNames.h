#pragma once
#include <string>
#include <string_view>
#include <vector>

class CShortTextList;
struct CSDPMedia;
struct CPayload;

// The static RTP/AVP payload types 0..34.
struct CPayloadType {
    const char* name;
    const char* kind;   // "A", "V" or "AV"
    int clockRate;      // -1 where not defined
    int channels;       // -1 where not defined
};

constexpr int kHighestStaticPayload = 34;
const CPayloadType& StaticPayloadType(int number); // number in 0..kHighestStaticPayload

// The encoding name of payload `number` from the first "rtpmap:" attribute
// that names it (a view into that attribute); empty when there is none.
std::string_view RtpmapEncodingName(const CShortTextList& attributes, int number);

// Marks an "RTP/AVP" media entry's formats as payloads to be named (an entry
// read from the cache keeps none).
void NamePayloads(CSDPMedia& media);
// The named payloads of an entry: numbers from its format list, names from
// the static table or its "rtpmap:" attributes.
std::vector<CPayload> PayloadsOf(const CSDPMedia& media);
