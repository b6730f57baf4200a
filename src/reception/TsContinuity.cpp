#include "reception/TsContinuity.h"

bool CTsContinuity::Feed(const uint8_t* data, size_t size)
{
    if (size % kPacketSize != 0) {
        ++m_syncErrors;
        return false;
    }
    for (size_t at = 0; at < size; at += kPacketSize) {
        if (data[at] != 0x47) {
            ++m_syncErrors;
            return false;
        }
        FeedPacket(data + at);
    }
    return true;
}

void CTsContinuity::FeedPacket(const uint8_t* p)
{
    ++m_packets;
    const uint16_t pid = uint16_t((p[1] & 0x1F) << 8 | p[2]);
    if (!m_slotOfPid) {
        m_slotOfPid = std::make_unique<uint16_t[]>(8192);
    }
    uint16_t& slot = m_slotOfPid[pid];
    if (slot == 0) {
        m_pids.push_back(CPidFigures{pid, 0, 0});
        m_states.emplace_back();
        slot = uint16_t(m_pids.size());
    }
    CPidFigures& figures = m_pids[slot - 1];
    CPidState& state = m_states[slot - 1];
    ++figures.packets;
    if (pid == kNullPid)
        return;
    const bool transportError = p[1] & 0x80;
    const uint8_t control = (p[3] >> 4) & 0x3;
    const uint8_t counter = p[3] & 0x0F;
    if (transportError || control == 0)
        return; // nothing in it can be believed, or reserved: to be discarded
    const bool hasPayload = control & 0x1;
    const bool discontinuity = (control & 0x2) && p[4] > 0 && (p[5] & 0x80);
    if (!state.haveCounter || discontinuity) {
        state.haveCounter = true;
        state.lastCounter = counter;
        state.repeated = false;
        return;
    }
    if (!hasPayload) {
        // An adaptation field alone does not step the counter, and a wrong
        // one is this packet's fault: the next is judged by the last with payload.
        if (counter != state.lastCounter) {
            ++m_errors;
            ++figures.continuityErrors;
        }
        return;
    }
    bool ok;
    if (counter == state.lastCounter) {
        // One repeat of a packet is allowed, not two.
        ok = !state.repeated;
        state.repeated = true;
    } else {
        ok = counter == ((state.lastCounter + 1) & 0x0F);
        state.repeated = false;
    }
    if (!ok) {
        ++m_errors;
        ++figures.continuityErrors;
        state.repeated = false;
    }
    state.lastCounter = counter;
}
