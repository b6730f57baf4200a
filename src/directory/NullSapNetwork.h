#pragma once
#include "base/SapNetwork.h"
#include "sdp/SDPObject.h"

// Sockets that hear nothing and send nothing: for looking at a store
// offline (cache inspection, benchmarks).
class CNullSapNetwork final : public SapNetwork {
public:
    std::shared_ptr<CDirectoryReceiver> OpenSAPSocket(uint32_t, uint16_t, int, const std::shared_ptr<CSDPObject>&,
                                                      uint32_t) override
    {
        return std::make_shared<CDirectoryReceiver>();
    }
    void CloseSocket(CDirectoryReceiver&) override {}
    bool SetMulticastTtl(CDirectoryReceiver&, int) override { return true; }
    bool SendDatagram(CDirectoryReceiver&, std::string_view) override { return false; }
    uint32_t OriginatingSource(CDirectoryReceiver&) override { return 0; }
};
