#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

class CDirectoryReceiver;
class CSDPObject;

// The sockets of directories announced by others, each counted for the
// source the directory was last announced from, so that at the bound the
// sources share them fairly.
class CSourceSockets {
public:
    size_t Size() const { return m_held.size(); }
    void Add(const CDirectoryReceiver* socket, uint64_t source, const std::weak_ptr<CSDPObject>& directory);
    // Nothing for a socket not held here.
    void Remove(const CDirectoryReceiver* socket);
    // The directory of a held socket was announced from another source.
    void Retarget(const CDirectoryReceiver* socket, uint64_t source);
    // The directory whose socket a directory announced from `source` may
    // take: that of the source holding the most sockets, heard least
    // recently, when `source` holds fewer than it by two or more. Null when
    // none may be taken.
    std::shared_ptr<CSDPObject> ToFreeFor(uint64_t source) const;

private:
    void Uncount(uint64_t source);

    struct CHeldSocket {
        uint64_t source = 0;
        std::weak_ptr<CSDPObject> directory;
    };
    std::unordered_map<const CDirectoryReceiver*, CHeldSocket> m_held;
    std::unordered_map<uint64_t, size_t> m_perSource;
};
